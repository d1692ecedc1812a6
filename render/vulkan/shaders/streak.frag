#version 450
layout(location = 0) in vec3 lineColour;
layout(location = 0) out vec4 fragment;

void main() { fragment = vec4(lineColour, 1.0); }

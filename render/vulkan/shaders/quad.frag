#version 450
layout(set = 0, binding = 0) uniform sampler2D image;
layout(push_constant) uniform Draw {
    mat4 projection;
    vec4 colour;
    vec4 emission;
} draw;
layout(location = 0) in vec2 texCoord;
layout(location = 0) out vec4 fragment;

void main() { fragment = draw.colour * texture(image, texCoord); }

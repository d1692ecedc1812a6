#version 450
// The benchmark's streaks: unlit lines coloured from end to end.
layout(location = 0) in vec3 position;
layout(location = 1) in vec3 colour;
layout(location = 2) in mat4 modelView;  // per instance
layout(push_constant) uniform Draw {
    mat4 projection;
    vec4 colour;
    vec4 emission;
} draw;
layout(location = 0) out vec3 lineColour;

void main() {
    gl_Position = draw.projection * modelView * vec4(position, 1.0);
    lineColour = colour;
}

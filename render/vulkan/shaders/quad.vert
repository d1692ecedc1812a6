#version 450
// Background, overlays and text: positions already in the projection's space.
layout(location = 0) in vec3 position;
layout(location = 1) in vec2 uv;
layout(push_constant) uniform Draw {
    mat4 projection;
    vec4 colour;
    vec4 emission;
} draw;
layout(location = 0) out vec2 texCoord;

void main() {
    gl_Position = draw.projection * vec4(position, 1.0);
    texCoord = uv;
}

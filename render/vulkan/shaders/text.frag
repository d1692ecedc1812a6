#version 450
// Bitmap glyphs: a pixel is set or not, as with glBitmap.
layout(set = 0, binding = 0) uniform sampler2D glyphs;
layout(push_constant) uniform Draw {
    mat4 projection;
    vec4 colour;
    vec4 emission;
} draw;
layout(location = 0) in vec2 texCoord;
layout(location = 0) out vec4 fragment;

void main() {
    if (texelFetch(glyphs, ivec2(texCoord), 0).r < 0.5) discard;
    fragment = draw.colour;
}

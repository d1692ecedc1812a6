#version 450
// OpenGL's texture environments: the sphere map blends the lit colour toward a
// deep blue by the image's brightness (GL_BLEND), the object-linear image
// modulates it (GL_MODULATE).
layout(set = 0, binding = 0) uniform sampler2D image;
layout(push_constant) uniform Draw {
    mat4 projection;
    vec4 colour;
    vec4 emission;
} draw;

layout(constant_id = 0) const int placement = 0;  // as in mesh.vert

layout(location = 0) in vec4 litColour;
layout(location = 1) in vec2 texCoord;
layout(location = 0) out vec4 fragment;

void main() {
    // An untextured mesh samples nothing.
    if (placement == 1) {
        vec4 texel = texture(image, texCoord);
        fragment = vec4(mix(litColour.rgb, vec3(0.0, 0.1, 0.5), texel.rgb), litColour.a * texel.a);
    } else if (placement == 2) {
        fragment = litColour * texture(image, texCoord);
    } else {
        fragment = litColour;
    }
}

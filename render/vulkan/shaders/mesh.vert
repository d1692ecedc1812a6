#version 450
// A lit mesh in OpenGL's fixed-function way: per-vertex lighting by light 0
// (white, directional along +z in eye space, infinite viewer), the global
// ambient 0.2, colour tracking the material's ambient and diffuse, specular
// 0.3 with shininess 3; texture coordinates generated per vertex.
layout(location = 0) in vec3 position;
layout(location = 1) in vec3 normal;
layout(location = 2) in mat4 modelView;     // per instance, locations 2 to 5
layout(location = 6) in mat3 normalMatrix;  // per instance, locations 6 to 8: the inverse transpose

layout(push_constant) uniform Draw {
    mat4 projection;
    vec4 colour;
    vec4 emission;
} draw;
// The texture placement, 0 none, 1 sphere map, 2 object-linear: one pipeline
// each, so that a draw runs only its own branch.
layout(constant_id = 0) const int placement = 0;

layout(location = 0) out vec4 litColour;
layout(location = 1) out vec2 texCoord;

void main() {
    vec4 eye = modelView * vec4(position, 1.0);
    gl_Position = draw.projection * eye;
    // Not renormalised, as OpenGL leaves normals without GL_NORMALIZE.
    vec3 n = normalMatrix * normal;
    float diffuse = max(n.z, 0.0);
    float specular = diffuse * diffuse * diffuse * 0.3;
    litColour = vec4(clamp(draw.emission.rgb + draw.colour.rgb * (0.2 + diffuse) + vec3(specular), 0.0, 1.0),
                     draw.colour.a);
    if (placement == 1) {
        vec3 r = reflect(normalize(eye.xyz), n);
        float m = 2.0 * sqrt(r.x * r.x + r.y * r.y + (r.z + 1.0) * (r.z + 1.0));
        texCoord = vec2(r.x / m + 0.5, r.y / m + 0.5);
    } else {
        texCoord = vec2(-0.5 * position.z, position.x);
    }
}

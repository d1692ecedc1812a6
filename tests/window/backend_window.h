// What the back-end and scene tests share: a window procedure that leaves
// every event to the default, and textures and meshes built in memory.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/native_window.h"
#include "scene/object3d.h"
#include "scene/texture.h"

namespace vyr::testing {

inline platform::EventDisposition ignoreEvents(vyr::test::NativeWindow*, const platform::WindowEvent&) {
    return platform::EventDisposition::DefaultHandling;
}

// Width x height pixels whose rows are pitch bytes apart: the bytes given, then
// 0xEE to the end (padding that must not be read as pixels).
inline vyr::test::Texture* makeTexture(uint32_t format, uint32_t width, uint32_t height, uint32_t pitch,
                                       const std::vector<uint8_t>& bytes) {
    auto* texture = new vyr::test::Texture();
    texture->format = format;
    texture->width = width;
    texture->height = height;
    texture->pitch = pitch;
    texture->pixels = static_cast<uint8_t*>(malloc(size_t(pitch) * height));
    memset(texture->pixels, 0xEE, size_t(pitch) * height);
    memcpy(texture->pixels, bytes.data(), bytes.size());
    return texture;
}

// 4 x 4 opaque RGBA pixels of the colour.
inline vyr::test::Texture* solidTexture(uint8_t r, uint8_t g, uint8_t b) {
    std::vector<uint8_t> pixels;
    for (int i = 0; i < 16; i++) pixels.insert(pixels.end(), {r, g, b, 255});
    return makeTexture(vyr::test::RGBA8, 4, 4, 16, pixels);
}

// A mesh of the vertices and normals given, nine floats of each a triangle.
inline vyr::test::Mesh3D* makeMesh(const char* name, const std::vector<float>& vertices,
                                   const std::vector<float>& normals) {
    auto* mesh = new vyr::test::Mesh3D;
    mesh->name = name;
    mesh->triangleCount = uint32_t(vertices.size() / 9);
    mesh->vertices = static_cast<float*>(malloc(vertices.size() * 4 + 1));
    mesh->normals = static_cast<float*>(malloc(normals.size() * 4 + 1));
    memcpy(mesh->vertices, vertices.data(), vertices.size() * 4);
    memcpy(mesh->normals, normals.data(), normals.size() * 4);
    return mesh;
}

}  // namespace vyr::testing

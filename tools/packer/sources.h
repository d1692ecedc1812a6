// Reading the pack's sources: PNG pictures and Wavefront OBJ meshes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace packer {

struct Picture {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> rgba;  // rows bottom of the picture first, as the pack keeps them
};

// False with `error` set ("format: ...") when the file is not an 8-bit RGBA PNG.
bool readPng(const std::string& path, Picture& picture, std::string& error);

struct ObjMesh {
    std::string name;
    std::vector<float> vertices;  // 9 per triangle
    std::vector<float> normals;   // 9 per triangle
};

// Every `o` section of the file, in file order. Faces must be triangles and
// every corner must name a normal.
bool readObj(const std::string& path, std::vector<ObjMesh>& meshes, std::string& error);

}  // namespace packer

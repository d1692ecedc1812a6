// A named collection of materials, textures and top-level scene objects.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "scene/data_stream.h"

namespace vyr::test {

class Object3D;
class Texture;

struct MaterialChannel {
    uint32_t words[4] = {};
    std::string textureName = "NOTHING";
    bool textured = false;
};

struct Material {
    std::string name = "NOTHING";
    MaterialChannel channels[3];
    float value1 = 0.3f;
    float value2 = 0.3f;

    // False when the record ran out before its end.
    bool load(DataStream& stream);
    void save(DataStream& stream) const;
};

class Project3D {
public:
    Project3D() = default;
    virtual ~Project3D();
    Project3D(const Project3D&) = delete;
    Project3D& operator=(const Project3D&) = delete;

    void clear();
    // False when a record in it could not be read whole; what was read before
    // that stays, and nothing after it is read.
    bool load(DataStream& stream);
    void save(DataStream& stream) const;
    // Looked up every frame with literals: a view, so that no string is built.
    Texture* findTexture(std::string_view name) const;
    Object3D* findObject(std::string_view name) const;

    // std::string orders its keys byte-wise as unsigned bytes, a prefix first;
    // std::less<> lets a view be looked up without a temporary key.
    std::map<std::string, Object3D*, std::less<>> objects;
    std::map<std::string, Material*, std::less<>> materials;
    std::map<std::string, Texture*, std::less<>> textures;
};

}  // namespace vyr::test

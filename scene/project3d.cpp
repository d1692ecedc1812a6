#include "scene/project3d.h"

#include "scene/object3d.h"
#include "scene/texture.h"

namespace vyr::test {

namespace {

bool loadChannelTail(DataStream& stream, MaterialChannel& channel) {
    return stream.readString(channel.textureName) && stream.readFlag(channel.textured);
}

bool loadWords(DataStream& stream, MaterialChannel& channel) {
    for (uint32_t& w : channel.words)
        if (!stream.readU32(w)) return false;
    return true;
}

// Stores `item` under its name; an earlier, different entry of that name is destroyed.
template <typename T>
void store(std::map<std::string, T*, std::less<>>& map, const std::string& name, T* item) {
    auto found = map.find(name);
    if (found != map.end()) {
        if (found->second != item) delete found->second;
        found->second = item;
    } else {
        map.emplace(name, item);
    }
}

}  // namespace

bool Material::load(DataStream& stream) {
    return stream.readString(name) && loadWords(stream, channels[0]) && loadChannelTail(stream, channels[0]) &&
           loadWords(stream, channels[1]) && loadChannelTail(stream, channels[1]) &&
           loadWords(stream, channels[2]) && stream.readF32(value1) && stream.readF32(value2) &&
           loadChannelTail(stream, channels[2]);
}

void Material::save(DataStream& stream) const {
    stream.writeString(name);
    for (int c = 0; c < 3; ++c) {
        for (uint32_t w : channels[c].words) stream.writeU32(w);
        if (c == 2) {
            stream.writeF32(value1);
            stream.writeF32(value2);
        }
        stream.writeString(channels[c].textureName);
        stream.writeFlag(channels[c].textured);
    }
}

Project3D::~Project3D() { clear(); }

void Project3D::clear() {
    for (auto& e : materials) delete e.second;
    for (auto& e : textures) delete e.second;
    for (auto& e : objects) delete e.second;
    materials.clear();
    textures.clear();
    objects.clear();
}

bool Project3D::load(DataStream& stream) {
    clear();
    // A record not read whole stops everything: the stream's position is then
    // no record's start, and a stored count beyond the end of the data would
    // otherwise spin for ages. The record itself is not kept.
    uint32_t count = 0;
    if (!stream.readU32(count)) return false;
    for (uint32_t i = 0; i < count; ++i) {
        Material* material = new Material;
        if (!material->load(stream)) {
            delete material;
            return false;
        }
        store(materials, material->name, material);
    }
    if (!stream.readU32(count)) return false;
    for (uint32_t i = 0; i < count; ++i) {
        Texture* texture = new Texture;
        if (!texture->load(stream)) {
            delete texture;
            return false;
        }
        store(textures, texture->name, texture);
    }
    if (!stream.readU32(count)) return false;
    for (uint32_t i = 0; i < count; ++i) {
        Object3D* object = Object3D::createForNextRecord(stream);  // none for an unknown kind
        if (!object || !object->load(stream)) {
            delete object;
            return false;
        }
        store(objects, object->name, object);
    }
    return true;
}

void Project3D::save(DataStream& stream) const {
    stream.writeU32(uint32_t(materials.size()));
    for (auto& e : materials) e.second->save(stream);
    stream.writeU32(uint32_t(textures.size()));
    for (auto& e : textures) e.second->save(stream);
    stream.writeU32(uint32_t(objects.size()));
    for (auto& e : objects) e.second->save(stream);
}

Texture* Project3D::findTexture(std::string_view name) const {
    auto found = textures.find(name);
    return found == textures.end() ? nullptr : found->second;
}

Object3D* Project3D::findObject(std::string_view name) const {
    auto found = objects.find(name);
    return found == objects.end() ? nullptr : found->second;
}

}  // namespace vyr::test

#include "scene/project3d.h"

#include "scene/object3d.h"
#include "scene/texture.h"

namespace vyr::test {

namespace {

void loadChannelTail(DataStream& stream, MaterialChannel& channel) {
    stream.readString(channel.textureName);
    stream.readFlag(channel.textured);
}

void loadWords(DataStream& stream, MaterialChannel& channel) {
    for (uint32_t& w : channel.words) stream.readU32(w);
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

void Material::load(DataStream& stream) {
    stream.readString(name);
    loadWords(stream, channels[0]);
    loadChannelTail(stream, channels[0]);
    loadWords(stream, channels[1]);
    loadChannelTail(stream, channels[1]);
    loadWords(stream, channels[2]);
    stream.readF32(value1);
    stream.readF32(value2);
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

void Project3D::load(DataStream& stream) {
    clear();
    uint32_t count = 0;
    if (!stream.readU32(count)) return;
    // A record that moves the stream not at all ran into the end of a memory
    // block: a stored count beyond it would otherwise spin for ages.
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t start = stream.streamPosition();
        Material* material = new Material;
        material->load(stream);
        if (stream.streamPosition() == start) {
            delete material;
            return;
        }
        store(materials, material->name, material);
    }
    if (!stream.readU32(count)) return;
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t start = stream.streamPosition();
        Texture* texture = new Texture;
        texture->load(stream);
        if (stream.streamPosition() == start) {
            delete texture;
            return;
        }
        store(textures, texture->name, texture);
    }
    if (!stream.readU32(count)) return;
    for (uint32_t i = 0; i < count; ++i) {
        Object3D* object = Object3D::createForNextRecord(stream);
        if (!object) return;  // unreadable kind: stop here
        object->load(stream);
        store(objects, object->name, object);
    }
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

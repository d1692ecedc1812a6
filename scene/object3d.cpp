#include "scene/object3d.h"

#include <cstdlib>

namespace vyr::test {

Object3D::~Object3D() { destroyChildren(); }

void Object3D::destroyChildren() {
    for (Object3D* child : children) delete child;
    children.clear();
}

void Object3D::clear() { destroyChildren(); }

void Object3D::reset() {
    name = "NOTHING";
    for (float& v : vectors) v = 0.0f;
}

Object3D* Object3D::createForNextRecord(DataStream& stream) {
    uint32_t kind = 0;
    if (!stream.readU32(kind)) return nullptr;
    stream.stepBack(4);
    if (kind == KindObject) return new Object3D;
    if (kind == KindMesh) return new Mesh3D;
    return nullptr;  // no sound way to know the record's length
}

bool Object3D::loadObjectPart(DataStream& stream) {
    uint32_t kind = 0;
    stream.readU32(kind);
    destroyChildren();
    name = "NOTHING";
    for (float& v : vectors) v = 0.0f;
    if (!stream.readString(name)) return false;
    for (float& v : vectors)
        if (!stream.readF32(v)) return false;
    uint32_t count = 0;
    if (!stream.readU32(count)) return false;
    for (uint32_t i = 0; i < count; ++i) {
        Object3D* child = createForNextRecord(stream);
        if (!child) return false;
        child->load(stream);
        children.push_back(child);
    }
    return true;
}

void Object3D::load(DataStream& stream) { loadObjectPart(stream); }

void Object3D::saveObjectPart(DataStream& stream, uint32_t kind) const {
    stream.writeU32(kind);
    stream.writeString(name);
    for (float v : vectors) stream.writeF32(v);
    stream.writeU32(uint32_t(children.size()));
    for (const Object3D* child : children) child->save(stream);
}

void Object3D::save(DataStream& stream) const { saveObjectPart(stream, KindObject); }

Mesh3D::~Mesh3D() { releaseArrays(); }

void Mesh3D::releaseArrays() {
    free(vertices);
    free(normals);
    vertices = normals = nullptr;
}

void Mesh3D::clear() {
    releaseArrays();
    triangleCount = 0;
    Object3D::clear();
}

void Mesh3D::reset() {
    Object3D::reset();
    releaseArrays();
    triangleCount = 0;
    texture = nullptr;
}

void Mesh3D::load(DataStream& stream) {
    bool complete = loadObjectPart(stream);
    releaseArrays();
    triangleCount = 0;
    texture = nullptr;
    if (!complete) return;
    uint32_t count = 0;
    if (!stream.readU32(count)) return;
    size_t bytes = size_t(count) * 36;
    vertices = static_cast<float*>(malloc(bytes ? bytes : 1));
    normals = static_cast<float*>(malloc(bytes ? bytes : 1));
    if (!vertices || !normals || !stream.readBlock(vertices, uint32_t(bytes)) ||
        !stream.readBlock(normals, uint32_t(bytes))) {
        releaseArrays();
        return;
    }
    triangleCount = count;
}

void Mesh3D::save(DataStream& stream) const {
    saveObjectPart(stream, KindMesh);
    stream.writeU32(triangleCount);
    for (uint32_t i = 0; i < triangleCount * 9; ++i) stream.writeF32(vertices[i]);
    for (uint32_t i = 0; i < triangleCount * 9; ++i) stream.writeF32(normals[i]);
}

}  // namespace vyr::test

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

bool Object3D::loadObjectPart(DataStream& stream, uint32_t depth) {
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
        Object3D* child = depth < maxNestingDepth ? createForNextRecord(stream) : nullptr;
        if (!child) return false;
        children.push_back(child);
        if (!child->loadAtDepth(stream, depth + 1)) return false;
    }
    return true;
}

bool Object3D::load(DataStream& stream) { return loadAtDepth(stream, 1); }

bool Object3D::loadAtDepth(DataStream& stream, uint32_t depth) { return loadObjectPart(stream, depth); }

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

bool Mesh3D::loadAtDepth(DataStream& stream, uint32_t depth) {
    bool complete = loadObjectPart(stream, depth);
    releaseArrays();
    triangleCount = 0;
    texture = nullptr;
    uint32_t count = 0, bytes = 0, both = 0;
    // Both arrays must be in the stream before anything is allocated for them.
    if (!complete || !stream.readU32(count) || !byteCount(count, 36, bytes) || !byteCount(bytes, 2, both) ||
        !stream.canRead(both))
        return false;
    vertices = static_cast<float*>(malloc(bytes ? bytes : 1));
    normals = static_cast<float*>(malloc(bytes ? bytes : 1));
    if (!vertices || !normals || !stream.readBlock(vertices, bytes) || !stream.readBlock(normals, bytes)) {
        releaseArrays();
        return false;
    }
    triangleCount = count;
    return true;
}

void Mesh3D::save(DataStream& stream) const {
    saveObjectPart(stream, KindMesh);
    stream.writeU32(triangleCount);
    for (size_t i = 0; i < size_t(triangleCount) * 9; ++i) stream.writeF32(vertices[i]);
    for (size_t i = 0; i < size_t(triangleCount) * 9; ++i) stream.writeF32(normals[i]);
}

}  // namespace vyr::test

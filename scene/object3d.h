// Scene nodes: Object3D (a named node owning its children) and Mesh3D (a node
// with a non-indexed triangle list and per-vertex normals).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "scene/data_stream.h"

namespace vyr::test {

class Texture;

enum ObjectKind : uint32_t { KindObject = 0, KindMesh = 1 };

// Records nested deeper than this stop loading as an unknown kind does: a
// crafted stream must not lead the recursion off the end of the stack.
constexpr uint32_t maxNestingDepth = 64;

class Object3D {
public:
    Object3D() = default;
    virtual ~Object3D();
    Object3D(const Object3D&) = delete;
    Object3D& operator=(const Object3D&) = delete;

    virtual void clear();
    virtual void reset();
    // Consumes one record. False when it could not be read whole (an unknown
    // kind, nesting too deep, a size that does not fit, the end of the data):
    // the stream's position is then meaningless and loading must stop.
    virtual bool load(DataStream& stream);
    virtual void save(DataStream& stream) const;

    // Reads the next kind tag, steps back over it and makes the matching node;
    // null for a kind that is neither 0 nor 1 (the record cannot be read).
    static Object3D* createForNextRecord(DataStream& stream);

    std::string name = "NOTHING";
    float vectors[9] = {};
    std::vector<Object3D*> children;

protected:
    void destroyChildren();
    // load for a record at the given nesting level (1 at the top).
    virtual bool loadAtDepth(DataStream& stream, uint32_t depth);
    // False when the node or one of its children could not be read whole.
    bool loadObjectPart(DataStream& stream, uint32_t depth);
    void saveObjectPart(DataStream& stream, uint32_t kind) const;
};

class Mesh3D : public Object3D {
public:
    Mesh3D() = default;
    ~Mesh3D() override;

    void clear() override;
    void reset() override;
    void save(DataStream& stream) const override;

    float* normals = nullptr;   // 9 * triangleCount, malloc'd
    float* vertices = nullptr;  // 9 * triangleCount, malloc'd
    uint32_t triangleCount = 0;
    Texture* texture = nullptr;  // not owned; resolved by the drawing code

protected:
    bool loadAtDepth(DataStream& stream, uint32_t depth) override;

private:
    void releaseArrays();
};

}  // namespace vyr::test

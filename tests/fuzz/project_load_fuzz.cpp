// libFuzzer target: arbitrary bytes as a project record read from memory; what
// loads must hold the sizes it claims, and a record read whole must save and
// load back to the same bytes.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "scene/data_stream.h"
#include "scene/object3d.h"
#include "scene/project3d.h"
#include "scene/texture.h"

using namespace vyr::test;

namespace {

// Touches the last byte of a block that must be there (the sanitizer checks it).
void touchLast(const void* block, uint32_t bytes) {
    if (!bytes) return;
    if (!block) abort();
    volatile uint8_t last = static_cast<const uint8_t*>(block)[bytes - 1];
    (void)last;
}

void checkObject(const Object3D& object, uint32_t depth) {
    if (depth > maxNestingDepth) abort();
    if (const auto* mesh = dynamic_cast<const Mesh3D*>(&object)) {
        uint32_t bytes = 0;
        if (!byteCount(mesh->triangleCount, 36, bytes)) abort();
        touchLast(mesh->vertices, bytes);
        touchLast(mesh->normals, bytes);
    }
    for (const Object3D* child : object.children) checkObject(*child, depth + 1);
}

void check(const Project3D& project) {
    for (auto& e : project.textures) {
        const Texture& t = *e.second;
        uint32_t bytes = 0, row = 0, image = 0;
        const uint32_t pixelBytes = t.format == Index8 || t.format == RGB8 ? 3 : 4;  // as uploaded
        if (!byteCount(t.height, t.pitch, bytes) || !byteCount(t.width, pixelBytes, row) ||
            !byteCount(t.height, row, image))
            abort();
        touchLast(t.pixels, bytes);
    }
    for (auto& e : project.objects) checkObject(*e.second, 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    DataStream in;
    in.openMemoryRead(data, size);
    Project3D project;
    const bool whole = project.load(in);
    if (in.streamPosition() > size) abort();
    check(project);
    if (!whole) return 0;

    DataStream saved;
    saved.openMemoryWrite();
    project.save(saved);
    DataStream again;
    again.openMemoryRead(saved.data(), saved.streamPosition());
    Project3D copy;
    if (!copy.load(again) || again.streamPosition() != saved.streamPosition()) abort();
    DataStream resaved;
    resaved.openMemoryWrite();
    copy.save(resaved);
    if (resaved.streamPosition() != saved.streamPosition() ||
        memcmp(resaved.data(), saved.data(), saved.streamPosition()) != 0)
        abort();
    return 0;
}

// Usage: vyr-packdump [pack file]
// Prints every entry of an asset pack in stored order: the embedded pack of
// this build when no file is given.
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "scene/asset_pack.h"
#include "scene/data_stream.h"
#include "scene/object3d.h"
#include "scene/project3d.h"
#include "scene/texture.h"

using namespace vyr::test;

namespace {

const char* formatName(uint32_t format) {
    switch (format) {
        case Index8: return "Index8";
        case RGB8: return "RGB8";
        case RGBA8: return "RGBA8";
        default: return "unknown format";
    }
}

void printTexture(const char* kind, const Texture& t, uint32_t offset) {
    printf("%8u  %s \"%s\": %u x %u, pitch %u, %s, %u pixel bytes\n", offset, kind, t.name.c_str(), t.width,
           t.height, t.pitch, formatName(t.format), t.pixels ? t.height * t.pitch : 0);
}

void printObject(const Object3D& o, int depth, uint32_t offset = 0) {
    std::string indent(size_t(depth) * 2, ' ');
    const auto* mesh = dynamic_cast<const Mesh3D*>(&o);
    bool vectorsZero = true;
    for (float v : o.vectors) vectorsZero = vectorsZero && v == 0.0f;
    if (depth == 0)
        printf("%8u  ", offset);
    else
        printf("          ");
    printf("%s%s \"%s\": %zu %s", indent.c_str(), mesh ? "mesh" : "object", o.name.c_str(),
           o.children.size(), o.children.size() == 1 ? "child" : "children");
    if (!vectorsZero) {
        printf(", vectors");
        for (float v : o.vectors) printf(" %g", v);
    }
    if (mesh) {
        float lo[3] = {INFINITY, INFINITY, INFINITY}, hi[3] = {-INFINITY, -INFINITY, -INFINITY};
        for (uint32_t i = 0; mesh->vertices && i < mesh->triangleCount * 9; ++i) {
            lo[i % 3] = std::fmin(lo[i % 3], mesh->vertices[i]);
            hi[i % 3] = std::fmax(hi[i % 3], mesh->vertices[i]);
        }
        printf(", %u triangles", mesh->triangleCount);
        if (mesh->triangleCount)
            printf(", x %.4f .. %.4f, y %.4f .. %.4f, z %.4f .. %.4f", lo[0], hi[0], lo[1], hi[1], lo[2], hi[2]);
    }
    printf("\n");
    for (const Object3D* child : o.children) printObject(*child, depth + 1);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 2) {
        fprintf(stderr, "usage: %s [pack file]\n", argv[0]);
        return 2;
    }
    std::vector<uint8_t> file;
    const uint8_t* pack = assetPackData();
    size_t size = assetPackSize();
    if (argc == 2) {
        FILE* f = fopen(argv[1], "rb");
        if (!f) {
            fprintf(stderr, "%s: cannot be opened\n", argv[1]);
            return 1;
        }
        uint8_t buffer[65536];
        for (size_t n; (n = fread(buffer, 1, sizeof buffer, f)) > 0;) file.insert(file.end(), buffer, buffer + n);
        fclose(f);
        pack = file.data();
        size = file.size();
    }
    printf("%s: %zu bytes\n", argc == 2 ? argv[1] : "embedded pack", size);

    // The same sequence of reads as loading at start-up, stopping where it stops.
    DataStream s;
    s.openMemoryRead(pack, size);
    bool complete = true;
    for (int i = 0; complete && i < 3; ++i) {
        uint32_t at = s.streamPosition();
        Texture t;
        complete = t.load(s);
        printTexture("texture", t, at);
    }
    uint32_t count = 0;
    if (complete) {
        printf("%8u  project\n", s.streamPosition());
        complete = s.readU32(count);
        printf("          %u materials\n", count);
    }
    for (uint32_t i = 0; complete && i < count; ++i) {
        Material m;
        if ((complete = m.load(s))) printf("          material \"%s\"\n", m.name.c_str());
    }
    count = 0;
    if (complete && (complete = s.readU32(count))) printf("          %u textures\n", count);
    for (uint32_t i = 0; complete && i < count; ++i) {
        uint32_t at = s.streamPosition();
        Texture t;
        complete = t.load(s);
        printTexture("project texture", t, at);
    }
    count = 0;
    if (complete && (complete = s.readU32(count))) printf("          %u objects\n", count);
    for (uint32_t i = 0; complete && i < count; ++i) {
        uint32_t at = s.streamPosition();
        Object3D* o = Object3D::createForNextRecord(s);
        complete = o && o->load(s);
        if (o) printObject(*o, 0, at);  // as far as it was read
        delete o;
    }
    const bool whole = complete && s.streamPosition() == size;
    if (!complete) printf("%8u  a record cannot be read whole (unknown kind, nesting or size): reading stops\n",
                          s.streamPosition());
    printf("%8u  end%s\n", s.streamPosition(), whole ? "" : " (not where the data ends: damaged or not a pack)");
    return whole ? 0 : 1;
}

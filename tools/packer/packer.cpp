// Usage: vyr-packer <assets folder> <output pack>
// Checks the pictures and meshes of the assets folder against the pack's
// fixed layout and writes the pack. Any broken rule names the file and the
// rule and fails the build; no pack is written then.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "scene/data_stream.h"
#include "scene/object3d.h"
#include "scene/texture.h"
#include "sources.h"

using namespace vyr::test;

namespace {

// Total of the pack with the names and sizes below.
const uint32_t kPackSize = 2089095;

struct TextureEntry {
    const char* name;
    const char* file;
    uint32_t width, height;
    bool opaque;
    bool sameRows;  // every row identical
};

const TextureEntry kOverlays[] = {
    {"gfx/stars.jpg", "images/stars.png", 512, 512, true, false},
    {"gfx/pause.png", "images/pause.png", 128, 41, false, false},
    {"gfx/vyroff.png", "images/vyroff.png", 128, 41, false, false},
};

const TextureEntry kProjectTextures[] = {
    {"gfx/smap.jpg", "images/smap.png", 256, 256, true, false},
    {"gfx/gradient.jpg", "images/gradient.png", 128, 128, true, true},
};

struct MeshEntry {
    const char* name;
    uint32_t triangles;
    float min[3], max[3];
    bool slab;  // front and back faces at normals (0,0,1) and (0,0,-1)
};

struct ObjectEntry {
    const char* name;
    const char* file;
    std::vector<MeshEntry> meshes;
};

const ObjectEntry kObjects[] = {
    {"gfx/Tarsel Logo.dae",
     "meshes/tarsel_logo.obj",
     {{"Cap_21_1", 2390, {-1.781f, -0.392f, -0.113f}, {1.850f, 0.322f, -0.028f}, true},
      {"Cap_2_1", 3202, {-1.782f, -0.496f, -0.098f}, {-0.153f, 0.927f, -0.010f}, true}}},
    {"gfx/VYR Logo.dae",
     "meshes/vyr_logo.obj",
     {{"Cap_12_1", 1828, {-1.493f, -1.371f, -0.028f}, {1.451f, 1.516f, 0.059f}, true},
      {"Cap_23_1", 1828, {-1.308f, -1.409f, -0.028f}, {1.636f, 1.479f, 0.051f}, true}}},
    {"gfx/star.dae", "meshes/star.obj", {{"Cone", 60, {-0.0054f, -0.0054f, -1.0f}, {0.0054f, 0.0054f, 1.0f}, false}}},
};

// Extents are given to three decimals; the Cone's width to four.
const float kExtentTolerance = 0.0005f;
const float kUnitTolerance = 1e-4f;

bool failed = false;

void fail(const std::string& file, const std::string& message) {
    fprintf(stderr, "%s: %s\n", file.c_str(), message.c_str());
    failed = true;
}

std::string num(double v) {
    char b[32];
    snprintf(b, sizeof b, "%.4f", v);
    return b;
}

Texture* makeTexture(const std::string& dir, const TextureEntry& e) {
    std::string path = dir + "/" + e.file;
    packer::Picture picture;
    std::string error;
    if (!packer::readPng(path, picture, error)) {
        fail(path, error);
        return nullptr;
    }
    if (picture.width != e.width || picture.height != e.height) {
        fail(path, "size: " + std::to_string(picture.width) + " x " + std::to_string(picture.height) + ", must be " +
                       std::to_string(e.width) + " x " + std::to_string(e.height));
        return nullptr;
    }
    const size_t pitch = size_t(e.width) * 4;
    for (size_t i = 0; e.opaque && i < picture.rgba.size(); i += 4)
        if (picture.rgba[i + 3] != 255) {
            size_t pixel = i / 4;
            fail(path, "opacity: pixel (" + std::to_string(pixel % e.width) + ", " +
                           std::to_string(e.height - 1 - pixel / e.width) + ") has alpha " +
                           std::to_string(picture.rgba[i + 3]) + ", the image must be fully opaque");
            return nullptr;
        }
    for (uint32_t y = 1; e.sameRows && y < e.height; ++y)
        if (memcmp(&picture.rgba[y * pitch], &picture.rgba[0], pitch) != 0) {
            fail(path, "rows: row " + std::to_string(e.height - 1 - y) + " differs from the others, all rows must be identical");
            return nullptr;
        }
    Texture* t = new Texture;
    t->name = e.name;
    t->width = e.width;
    t->height = e.height;
    t->pitch = uint32_t(pitch);
    t->format = RGBA8;
    t->pixels = static_cast<uint8_t*>(malloc(picture.rgba.size()));
    memcpy(t->pixels, picture.rgba.data(), picture.rgba.size());
    return t;
}

bool checkMesh(const std::string& path, const MeshEntry& e, const packer::ObjMesh& m) {
    const std::string where = path + ": " + e.name;
    size_t count = m.vertices.size() / 9;
    if (count != e.triangles) {
        fail(path, std::string(e.name) + ": triangle count: " + std::to_string(count) + ", must be " +
                       std::to_string(e.triangles));
        return false;
    }
    float lo[3] = {INFINITY, INFINITY, INFINITY}, hi[3] = {-INFINITY, -INFINITY, -INFINITY};
    for (size_t i = 0; i < m.vertices.size(); ++i) {
        lo[i % 3] = std::fmin(lo[i % 3], m.vertices[i]);
        hi[i % 3] = std::fmax(hi[i % 3], m.vertices[i]);
    }
    const char* axis = "xyz";
    for (int a = 0; a < 3; ++a)
        if (std::fabs(lo[a] - e.min[a]) > kExtentTolerance || std::fabs(hi[a] - e.max[a]) > kExtentTolerance) {
            fail(path, std::string(e.name) + ": extent: " + axis[a] + " from " + num(lo[a]) + " to " + num(hi[a]) +
                           ", must be from " + num(e.min[a]) + " to " + num(e.max[a]));
            return false;
        }
    for (size_t t = 0; t < count; ++t) {
        const float* p = &m.vertices[t * 9];
        const float* n = &m.normals[t * 9];
        std::string tri = std::string(e.name) + ": triangle " + std::to_string(t + 1);
        for (int k = 0; k < 3; ++k) {
            double len = std::sqrt(double(n[k * 3]) * n[k * 3] + double(n[k * 3 + 1]) * n[k * 3 + 1] +
                                   double(n[k * 3 + 2]) * n[k * 3 + 2]);
            if (std::fabs(len - 1) > kUnitTolerance) {
                fail(path, tri + ": unit normals: corner " + std::to_string(k + 1) + " has a normal of length " +
                               num(len));
                return false;
            }
        }
        double u[3], w[3];
        for (int a = 0; a < 3; ++a) u[a] = p[3 + a] - p[a], w[a] = p[6 + a] - p[a];
        double f[3] = {u[1] * w[2] - u[2] * w[1], u[2] * w[0] - u[0] * w[2], u[0] * w[1] - u[1] * w[0]};
        for (int k = 0; k < 3; ++k)
            if (f[0] * n[k * 3] + f[1] * n[k * 3 + 1] + f[2] * n[k * 3 + 2] <= 0) {
                fail(path, tri + ": winding: not counter-clockwise seen from the side its normals point to");
                return false;
            }
        if (e.slab) {
            // A triangle lying in the front or back plane is part of that face.
            for (int side = 0; side < 2; ++side) {
                float z = side ? lo[2] : hi[2];
                if (p[2] != z || p[5] != z || p[8] != z) continue;
                for (int k = 0; k < 3; ++k)
                    if (n[k * 3] != 0 || n[k * 3 + 1] != 0 || n[k * 3 + 2] != (side ? -1.0f : 1.0f)) {
                        fail(path, tri + std::string(": faces: a triangle of the ") + (side ? "back" : "front") +
                                       " face must have normals (0, 0, " + (side ? "-1" : "1") + ")");
                        return false;
                    }
            }
        }
    }
    return true;
}

Object3D* makeObject(const std::string& dir, const ObjectEntry& e) {
    std::string path = dir + "/" + e.file;
    std::vector<packer::ObjMesh> meshes;
    std::string error;
    if (!packer::readObj(path, meshes, error)) {
        fail(path, error);
        return nullptr;
    }
    std::string expected, found;
    for (const MeshEntry& m : e.meshes) expected += std::string(expected.empty() ? "" : ", ") + m.name;
    for (const packer::ObjMesh& m : meshes) found += (found.empty() ? "" : ", ") + m.name;
    if (expected != found) {
        fail(path, "objects: \"" + found + "\", must be \"" + expected + "\" in this order");
        return nullptr;
    }
    Object3D* object = new Object3D;
    object->name = e.name;
    bool ok = true;
    for (size_t i = 0; i < meshes.size(); ++i) {
        if (!checkMesh(path, e.meshes[i], meshes[i])) {
            ok = false;
            continue;
        }
        Mesh3D* mesh = new Mesh3D;
        mesh->name = meshes[i].name;
        mesh->triangleCount = uint32_t(meshes[i].vertices.size() / 9);
        size_t bytes = meshes[i].vertices.size() * sizeof(float);
        mesh->vertices = static_cast<float*>(malloc(bytes ? bytes : 1));
        mesh->normals = static_cast<float*>(malloc(bytes ? bytes : 1));
        memcpy(mesh->vertices, meshes[i].vertices.data(), bytes);
        memcpy(mesh->normals, meshes[i].normals.data(), bytes);
        object->children.push_back(mesh);
    }
    if (!ok) {
        delete object;
        return nullptr;
    }
    return object;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: %s <assets folder> <output pack>\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1], output = argv[2];

    // Every source is checked before anything is written, so one run lists
    // every broken rule.
    std::vector<Texture*> overlays, textures;
    std::vector<Object3D*> objects;
    for (const TextureEntry& e : kOverlays) overlays.push_back(makeTexture(dir, e));
    for (const TextureEntry& e : kProjectTextures) textures.push_back(makeTexture(dir, e));
    for (const ObjectEntry& e : kObjects) objects.push_back(makeObject(dir, e));

    DataStream stream;
    stream.openMemoryWrite();
    if (!failed) {
        for (Texture* t : overlays) t->save(stream);
        stream.writeU32(0);  // the project has no materials
        stream.writeU32(uint32_t(textures.size()));
        for (Texture* t : textures) t->save(stream);
        stream.writeU32(uint32_t(objects.size()));
        for (Object3D* o : objects) o->save(stream);
        if (stream.streamPosition() != kPackSize)
            fail(output, "pack size: " + std::to_string(stream.streamPosition()) + " bytes, must be " +
                             std::to_string(kPackSize));
    }
    for (Texture* t : overlays) delete t;
    for (Texture* t : textures) delete t;
    for (Object3D* o : objects) delete o;
    if (failed) return 1;

    // Written beside the target and renamed, so a failed run leaves no half pack.
    std::string temporary = output + ".part";
    FILE* f = fopen(temporary.c_str(), "wb");
    bool written = f && fwrite(stream.data(), 1, stream.streamPosition(), f) == stream.streamPosition();
    if (f && fclose(f) != 0) written = false;
    if (!written || rename(temporary.c_str(), output.c_str()) != 0) {
        remove(temporary.c_str());
        fail(output, "cannot be written");
        return 1;
    }
    return 0;
}

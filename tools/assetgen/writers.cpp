// PNG through libpng; Wavefront OBJ with shared positions and normals.
#include <png.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <tuple>

#include "assetgen.h"

namespace assetgen {

bool writePng(const std::string& path, const Image& image) {
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        fclose(f);
        return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, png_uint_32(image.width), png_uint_32(image.height), 8, PNG_COLOR_TYPE_RGBA,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < image.height; ++y)
        png_write_row(png, const_cast<png_bytep>(&image.rgba[size_t(y) * image.width * 4]));
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return fclose(f) == 0;
}

namespace {

using Key = std::tuple<uint32_t, uint32_t, uint32_t>;

Key key(const Vec3& v) {
    uint32_t b[3];
    memcpy(&b[0], &v.x, 4);
    memcpy(&b[1], &v.y, 4);
    memcpy(&b[2], &v.z, 4);
    return {b[0], b[1], b[2]};
}

}  // namespace

bool writeObj(const std::string& path, const std::string& comment, const std::vector<NamedMesh>& meshes) {
    FILE* f = fopen(path.c_str(), "w");
    if (!f) return false;
    fprintf(f, "# %s\n", comment.c_str());
    std::map<Key, size_t> positions, normals;
    for (const NamedMesh& mesh : meshes) {
        fprintf(f, "o %s\n", mesh.name.c_str());
        std::vector<size_t> face;
        for (const Triangle& t : mesh.triangles)
            for (int k = 0; k < 3; ++k) {
                auto p = positions.emplace(key(t.p[k]), positions.size() + 1);
                if (p.second) fprintf(f, "v %.9g %.9g %.9g\n", t.p[k].x, t.p[k].y, t.p[k].z);
                auto n = normals.emplace(key(t.n[k]), normals.size() + 1);
                if (n.second) fprintf(f, "vn %.9g %.9g %.9g\n", t.n[k].x, t.n[k].y, t.n[k].z);
                face.push_back(p.first->second);
                face.push_back(n.first->second);
            }
        for (size_t i = 0; i < face.size(); i += 6)
            fprintf(f, "f %zu//%zu %zu//%zu %zu//%zu\n", face[i], face[i + 1], face[i + 2], face[i + 3], face[i + 4],
                    face[i + 5]);
    }
    return fclose(f) == 0;
}

}  // namespace assetgen

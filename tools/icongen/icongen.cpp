// Writes the program's icon images as a Windows .ico file (32 bits per pixel,
// every size in one file) for the Windows build's icon resource, or as one PNG
// per size in the icon theme's layout (<folder>/<N>x<N>/apps/vyrtest.png) for
// the Linux desktop.
// Usage: vyr-icongen <output.ico> | vyr-icongen -hicolor <folder>
#include <png.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/icon_images.h"

namespace {

void put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

void put32(std::vector<uint8_t>& out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

// One image entry: a BITMAPINFOHEADER whose height counts the colour rows and
// the mask rows, the BGRA rows bottom-up, then the 1-bit AND mask (all zero:
// the alpha channel decides).
std::vector<uint8_t> iconBitmap(const vyr::platform::IconImage& image) {
    const uint32_t size = uint32_t(image.size);
    const uint32_t maskStride = ((size + 31) / 32) * 4;
    std::vector<uint8_t> out;
    put32(out, 40);
    put32(out, size);
    put32(out, size * 2);
    put16(out, 1);
    put16(out, 32);
    put32(out, 0);
    put32(out, size * size * 4 + maskStride * size);
    put32(out, 0);
    put32(out, 0);
    put32(out, 0);
    put32(out, 0);
    for (uint32_t row = size; row-- > 0;)
        for (uint32_t x = 0; x < size; ++x) put32(out, image.argb[row * size + x]);
    out.insert(out.end(), size_t(maskStride) * size, 0);
    return out;
}

bool writePng(const vyr::platform::IconImage& image, const std::string& path) {
    std::vector<uint8_t> rgba;
    for (int i = 0; i < image.size * image.size; ++i) {
        uint32_t p = image.argb[i];
        rgba.insert(rgba.end(), {uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p), uint8_t(p >> 24)});
    }
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = png.height = uint32_t(image.size);
    png.format = PNG_FORMAT_RGBA;
    return png_image_write_to_file(&png, path.c_str(), 0, rgba.data(), 0, nullptr) != 0;
}

int writeThemeIcons(const std::string& folder) {
    for (int i = 0; i < vyr::platform::iconImageCount(); ++i) {
        const auto& image = vyr::platform::iconImage(i);
        std::string dir = folder + "/" + std::to_string(image.size) + "x" + std::to_string(image.size);
        mkdir(folder.c_str(), 0755);
        mkdir(dir.c_str(), 0755);
        mkdir((dir + "/apps").c_str(), 0755);
        if (!writePng(image, dir + "/apps/vyrtest.png")) {
            fprintf(stderr, "vyr-icongen: cannot write %s/apps/vyrtest.png\n", dir.c_str());
            return 1;
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "-hicolor") return writeThemeIcons(argv[2]);
    if (argc != 2) {
        fputs("usage: vyr-icongen <output.ico> | vyr-icongen -hicolor <folder>\n", stderr);
        return 2;
    }
    const int count = vyr::platform::iconImageCount();
    std::vector<std::vector<uint8_t>> bitmaps;
    for (int i = 0; i < count; ++i) bitmaps.push_back(iconBitmap(vyr::platform::iconImage(i)));

    std::vector<uint8_t> file;
    put16(file, 0);
    put16(file, 1);  // icon, not cursor
    put16(file, uint32_t(count));
    uint32_t offset = 6 + 16 * uint32_t(count);
    for (int i = 0; i < count; ++i) {
        int size = vyr::platform::iconImage(i).size;
        file.push_back(uint8_t(size >= 256 ? 0 : size));
        file.push_back(uint8_t(size >= 256 ? 0 : size));
        file.push_back(0);
        file.push_back(0);
        put16(file, 1);
        put16(file, 32);
        put32(file, uint32_t(bitmaps[i].size()));
        put32(file, offset);
        offset += uint32_t(bitmaps[i].size());
    }
    for (const auto& b : bitmaps) file.insert(file.end(), b.begin(), b.end());

    FILE* f = fopen(argv[1], "wb");
    if (!f) {
        fprintf(stderr, "vyr-icongen: cannot write %s\n", argv[1]);
        return 1;
    }
    bool ok = fwrite(file.data(), 1, file.size(), f) == file.size();
    ok = fclose(f) == 0 && ok;
    if (!ok) fprintf(stderr, "vyr-icongen: cannot write %s\n", argv[1]);
    return ok ? 0 : 1;
}

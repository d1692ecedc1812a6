// Writes the program's icon images as a Windows .ico file (32 bits per pixel,
// every size in one file) for the Windows build's icon resource.
// Usage: vyr-icongen <output.ico>
#include <cstdint>
#include <cstdio>
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

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        fputs("usage: vyr-icongen <output.ico>\n", stderr);
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

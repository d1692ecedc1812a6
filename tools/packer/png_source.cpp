#include <png.h>

#include <cstdio>

#include "sources.h"

namespace packer {

bool readPng(const std::string& path, Picture& picture, std::string& error) {
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) {
        error = "cannot be opened";
        return false;
    }
    uint8_t signature[8] = {};
    if (fread(signature, 1, 8, f) != 8 || png_sig_cmp(signature, 0, 8)) {
        fclose(f);
        error = "format: not a PNG file";
        return false;
    }
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    std::vector<png_bytep> rows;
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        fclose(f);
        error = "format: the PNG data is damaged";
        return false;
    }
    png_init_io(png, f);
    png_set_sig_bytes(png, 8);
    png_read_info(png, info);
    int depth = png_get_bit_depth(png, info), type = png_get_color_type(png, info);
    if (depth != 8 || type != PNG_COLOR_TYPE_RGBA) {
        png_destroy_read_struct(&png, &info, nullptr);
        fclose(f);
        error = "format: must be 8-bit RGBA (bit depth " + std::to_string(depth) + ", colour type " +
                std::to_string(type) + ")";
        return false;
    }
    picture.width = png_get_image_width(png, info);
    picture.height = png_get_image_height(png, info);
    picture.rgba.assign(size_t(picture.width) * picture.height * 4, 0);
    // The pack stores the bottom row first; the PNG has the top row first.
    rows.resize(picture.height);
    for (uint32_t y = 0; y < picture.height; ++y)
        rows[y] = &picture.rgba[size_t(picture.height - 1 - y) * picture.width * 4];
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    fclose(f);
    return true;
}

}  // namespace packer

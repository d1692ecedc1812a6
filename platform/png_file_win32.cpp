// Pairs with platform/png_file.h on Windows: Debian's stb headers, compiled in.
#include "platform/png_file.h"

#include <vector>

#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#define STBI_ONLY_PNG
#define STBI_NO_STDIO
#include <stb/stb_image.h>
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#define STBI_WRITE_NO_STDIO
#include <stb/stb_image_write.h>

namespace vyr::platform {

bool decodePng(const uint8_t* data, size_t size, vyr::test::FrameImage& image) {
    int width = 0, height = 0, channels = 0;
    stbi_uc* pixels = stbi_load_from_memory(data, int(size), &width, &height, &channels, 4);
    if (!pixels) return false;
    image.width = uint32_t(width);
    image.height = uint32_t(height);
    image.rgba.assign(pixels, pixels + size_t(width) * height * 4);
    stbi_image_free(pixels);
    return true;
}

namespace {

void append(void* context, void* data, int size) {
    static_cast<std::string*>(context)->append(static_cast<const char*>(data), size_t(size));
}

}  // namespace

bool encodePng(const vyr::test::FrameImage& image, std::string& png) {
    if (image.width == 0 || image.height == 0 || image.rgba.size() != size_t(image.width) * image.height * 4)
        return false;
    std::vector<uint8_t> rgb(size_t(image.width) * image.height * 3);
    for (size_t i = 0, j = 0; i < image.rgba.size(); i += 4, j += 3) {
        rgb[j] = image.rgba[i];
        rgb[j + 1] = image.rgba[i + 1];
        rgb[j + 2] = image.rgba[i + 2];
    }
    png.clear();
    return stbi_write_png_to_func(append, &png, int(image.width), int(image.height), 3, rgb.data(),
                                  int(image.width) * 3) != 0 &&
           !png.empty();
}

}  // namespace vyr::platform

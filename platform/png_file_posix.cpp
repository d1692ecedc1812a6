// Pairs with platform/png_file.h on Linux: libpng's simplified interface.
#include "platform/png_file.h"

#include <png.h>

#include <cstring>
#include <vector>

namespace vyr::platform {

bool decodePng(const uint8_t* data, size_t size, vyr::test::FrameImage& image) {
    png_image png;
    memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&png, data, size)) return false;
    png.format = PNG_FORMAT_RGBA;
    image.rgba.resize(PNG_IMAGE_SIZE(png));
    if (!png_image_finish_read(&png, nullptr, image.rgba.data(), 0, nullptr)) {
        png_image_free(&png);
        image.rgba.clear();
        return false;
    }
    image.width = png.width;
    image.height = png.height;
    return true;
}

bool encodePng(const vyr::test::FrameImage& image, std::string& png) {
    if (image.width == 0 || image.height == 0 || image.rgba.size() != size_t(image.width) * image.height * 4)
        return false;
    png_image description;
    memset(&description, 0, sizeof description);
    description.version = PNG_IMAGE_VERSION;
    description.width = image.width;
    description.height = image.height;
    description.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> rgb(size_t(image.width) * image.height * 3);
    for (size_t i = 0, j = 0; i < image.rgba.size(); i += 4, j += 3) memcpy(&rgb[j], &image.rgba[i], 3);
    // Asked once for the size, then written into a buffer of that size.
    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&description, nullptr, &size, 0, rgb.data(), 0, nullptr)) return false;
    png.resize(size);
    bool written = png_image_write_to_memory(&description, &png[0], &size, 0, rgb.data(), 0, nullptr) != 0;
    png.resize(written ? size : 0);
    png_image_free(&description);
    return written;
}

}  // namespace vyr::platform

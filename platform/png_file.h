// PNG images: the picture check's reference is carried in the program as a PNG,
// and the frames it looked at are written as PNG files. Linux uses libpng
// (platform/png_file_posix.cpp); Windows the stb headers compiled in
// (platform/png_file_win32.cpp), so no DLL has to travel with the program.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "render/frame_image.h"

namespace vyr::platform {

// Decodes a PNG held in memory into RGBA; false when it is not a PNG it can read.
bool decodePng(const uint8_t* data, size_t size, vyr::test::FrameImage& image);

// The image's colour (alpha is always opaque) as an 8-bit RGB PNG.
bool encodePng(const vyr::test::FrameImage& image, std::string& png);

// Writes the image as a PNG file whole, the way the results file is written
// (platform/files.h: no link followed); false with a line on standard error.
bool writePngFile(const char* path, const vyr::test::FrameImage& image);

}  // namespace vyr::platform

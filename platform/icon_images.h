// The program's icon at 16, 32, 48 and 64 pixels, 32 bits per pixel, drawn by
// code (icon_images.cpp). X11 sets them as _NET_WM_ICON; the Windows build
// takes the same images from icon resource 109, which tools/icongen writes.
#pragma once

#include <cstdint>

namespace vyr::platform {

struct IconImage {
    int size;              // width and height in pixels
    const uint32_t* argb;  // size * size pixels, 0xAARRGGBB, top row first
};

int iconImageCount();
const IconImage& iconImage(int index);

}  // namespace vyr::platform

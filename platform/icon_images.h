// The program's icon at 16, 32, 48 and 64 pixels, 32 bits per pixel, made at
// build time from the PNG sources in assets/icon/ (tools/icongen). Windows
// takes the same images from icon resource 109; X11 sets them as _NET_WM_ICON.
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

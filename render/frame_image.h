// A frame's pixels as the picture check and the screenshot need them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vyr::test {

struct FrameImage {
    uint32_t width = 0;
    uint32_t height = 0;
    // Where the pixels sit in the window's client area (origin top-left).
    int32_t left = 0;
    int32_t top = 0;
    // OpenGL reads from the bottom-left corner of the drawable: `top` then
    // counts from the drawable's bottom edge to the frame's bottom row.
    bool fromBottom = false;
    // RGBA, 8 bits a channel, top row first; alpha is 255 where the source has none.
    std::vector<uint8_t> rgba;

    // Sized for `w` x `h` pixels read from (x, y) of the client area.
    void place(uint32_t w, uint32_t h, int32_t x, int32_t y) {
        width = w;
        height = h;
        left = x;
        top = y;
        fromBottom = false;
        rgba.resize(size_t(w) * h * 4);
    }
};

}  // namespace vyr::test

// The arithmetic of reading an X window through a Wayland compositor, kept
// apart from the connection so that it can be tested on its own: which output
// holds the window, where the window lies in that output's buffer (outputs may
// be scaled), whether a change the compositor reports lies over it, how the
// copied buffer becomes the window's RGBA pixels, and what the compositor is.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "render/frame_image.h"

namespace vyr::platform {

// A rectangle in the compositor's layout, which is what Xwayland's root
// window coordinates are.
struct LayoutArea {
    int32_t left = 0, top = 0;
    uint32_t width = 0, height = 0;
};

// An output's place in the layout (logical pixels) and the size of what it
// shows in real pixels: larger where the output is scaled.
struct OutputPlace {
    int32_t left = 0, top = 0, width = 0, height = 0;
    int32_t pixelWidth = 0, pixelHeight = 0;
};

// A rectangle of an output's buffer, in its real pixels.
struct PixelArea {
    int64_t left = 0, top = 0, width = 0, height = 0;
};

// The first output that holds all of `area`; -1 when none does (the area
// spans two outputs or lies off every one).
int outputHolding(const std::vector<OutputPlace>& outputs, const LayoutArea& area);

// Where `area` lies in the output's buffer: scaled by the output's real pixels
// over its logical ones, each edge rounded to the nearest pixel, as a
// compositor places a window on a scaled output.
PixelArea areaInOutput(const OutputPlace& output, const LayoutArea& area);

// Whether the output is scaled (real pixels differ from logical ones).
bool outputScaled(const OutputPlace& output);

// Whether the output is scaled by a fraction: its pixels are then the
// window's resampled, never the same one for one.
bool outputResamples(const OutputPlace& output);

// Whether the output that holds `area` scales it by a fraction; true with the
// reason in words (the scale), as the check reports it.
bool areaResampledOn(const std::vector<OutputPlace>& outputs, const LayoutArea& area, std::string& why);

// Whether a change the compositor reported (in the output's real pixels)
// touches the window's rectangle.
bool changeTouches(const PixelArea& window, uint32_t x, uint32_t y, uint32_t width, uint32_t height);

// The rectangle `from` of a copied output (a wl_shm format, `stride` bytes a
// row, rows bottom first when `yInvert`) as `width` x `height` RGBA pixels,
// scaled down by averaging where it holds more pixels than the window has (a
// scaled output). False for a pixel format the program does not read, or a
// rectangle not inside the buffer or smaller than the window.
bool bufferToImage(const uint8_t* data, uint32_t format, uint32_t bufferWidth, uint32_t bufferHeight,
                   uint32_t stride, bool yInvert, const PixelArea& from, uint32_t width, uint32_t height,
                   vyr::test::FrameImage& image);

// The compositor's name from the globals it offers (the interfaces' names), or
// empty when they do not tell.
std::string compositorFromGlobals(const std::vector<std::string>& globals);

}  // namespace vyr::platform

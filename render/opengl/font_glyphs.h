// The frame-rate text's font: 19-pixel "Times New Roman" (fontconfig's
// metric-compatible serif where the face is missing) as one-bit glyphs, for
// OpenGL's display lists on X11 and for the glyphs baked into the Vulkan
// back-end at build time (tools/glyphgen).
#pragma once

#include <cstdint>
#include <vector>

namespace vyr::test {

struct BitmapGlyph {
    bool present = false;
    int width = 0, rows = 0;
    int left = 0, top = 0;  // from the pen position to the top-left pixel, y up
    float advanceX = 0, advanceY = 0;
    std::vector<uint8_t> pixels;  // rows x width, top row first, 1 where set
};

// Characters 0 to 127; false when no font could be loaded.
bool renderBitmapFont(std::vector<BitmapGlyph>& glyphs);

}  // namespace vyr::test

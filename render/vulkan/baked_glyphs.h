// The frame-rate text's glyphs, baked at build time by tools/glyphgen from the
// font the OpenGL back-end uses.
#pragma once

#include <cstdint>

namespace vyr::test {

struct BakedGlyph {
    int16_t width, rows;
    int16_t left, top;  // from the pen position to the top-left pixel, y up
    float advance;
    uint32_t offset;  // of its rows x width pixels (top row first, 1 where set)
};

extern const BakedGlyph bakedGlyphs[128];
extern const unsigned char bakedGlyphPixels[];

}  // namespace vyr::test

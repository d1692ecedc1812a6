#include "render/opengl/font_glyphs.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <string>

namespace vyr::test {

namespace {

// The file fontconfig picks for "Times New Roman" (a metric-compatible serif
// where the face itself is not installed).
std::string fontFile() {
    std::string path;
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>("Times New Roman:pixelsize=19"));
    if (!pattern) return path;
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    if (FcPattern* match = FcFontMatch(nullptr, pattern, &result)) {
        FcChar8* file = nullptr;
        if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file)
            path = reinterpret_cast<const char*>(file);
        FcPatternDestroy(match);
    }
    FcPatternDestroy(pattern);
    return path;
}

}  // namespace

bool renderBitmapFont(std::vector<BitmapGlyph>& glyphs) {
    glyphs.assign(128, BitmapGlyph());
    std::string path = fontFile();
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    bool ready = !path.empty() && FT_Init_FreeType(&library) == 0 &&
                 FT_New_Face(library, path.c_str(), 0, &face) == 0 && FT_Set_Pixel_Sizes(face, 0, 19) == 0;
    for (uint32_t c = 0; ready && c < 128; c++) {
        if (FT_Load_Char(face, c, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO | FT_LOAD_MONOCHROME) != 0) continue;
        FT_GlyphSlot slot = face->glyph;
        const FT_Bitmap& bitmap = slot->bitmap;
        BitmapGlyph& glyph = glyphs[c];
        glyph.present = true;
        glyph.width = int(bitmap.width);
        glyph.rows = int(bitmap.rows);
        glyph.left = slot->bitmap_left;
        glyph.top = slot->bitmap_top;
        glyph.advanceX = float(slot->advance.x) / 64.0f;
        glyph.advanceY = float(slot->advance.y) / 64.0f;
        glyph.pixels.assign(size_t(glyph.width) * glyph.rows, 0);
        for (int y = 0; y < glyph.rows; y++) {
            const unsigned char* source = bitmap.buffer + ptrdiff_t(y) * bitmap.pitch;
            for (int x = 0; x < glyph.width; x++) {
                bool set = bitmap.pixel_mode == FT_PIXEL_MODE_MONO ? (source[x / 8] & (0x80 >> (x % 8))) != 0
                                                                   : source[x] >= 128;
                glyph.pixels[size_t(y) * glyph.width + x] = set ? 1 : 0;
            }
        }
    }
    if (face) FT_Done_Face(face);
    if (library) FT_Done_FreeType(library);
    return ready;
}

}  // namespace vyr::test

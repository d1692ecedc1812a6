// Bakes the frame-rate text's glyphs into a C++ source for the Vulkan
// back-end, from the font the OpenGL back-end renders at run time on X11.
// Usage: vyr-glyphgen <output .cpp>
#include <fontconfig/fontconfig.h>

#include <cstdio>
#include <vector>

#include "render/opengl/font_glyphs.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: vyr-glyphgen <output .cpp>\n");
        return 2;
    }
    std::vector<vyr::test::BitmapGlyph> glyphs;
    bool rendered = vyr::test::renderBitmapFont(glyphs);
    FcFini();  // fontconfig's own configuration, which a leak checker would report
    if (!rendered) {
        fprintf(stderr, "vyr-glyphgen: no font for \"Times New Roman\" (install fonts-liberation)\n");
        return 1;
    }
    FILE* out = fopen(argv[1], "w");
    if (!out) {
        perror(argv[1]);
        return 1;
    }
    fprintf(out, "// Written by tools/glyphgen at build time.\n#include \"render/vulkan/baked_glyphs.h\"\n\n");
    fprintf(out, "namespace vyr::test {\n\nconst BakedGlyph bakedGlyphs[128] = {\n");
    size_t offset = 0;
    for (const auto& g : glyphs) {
        fprintf(out, "    {%d, %d, %d, %d, %.6ff, %zu},\n", g.width, g.rows, g.left, g.top, g.advanceX, offset);
        offset += g.pixels.size();
    }
    fprintf(out, "};\n\nconst unsigned char bakedGlyphPixels[%zu] = {", offset + 1);
    size_t n = 0;
    for (const auto& g : glyphs)
        for (unsigned char p : g.pixels) fprintf(out, "%s%u,", n++ % 32 == 0 ? "\n    " : "", p);
    fprintf(out, "0};\n\n}  // namespace vyr::test\n");
    return fclose(out) == 0 ? 0 : 1;
}

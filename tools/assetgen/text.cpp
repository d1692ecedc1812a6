// Glyphs through fontconfig and FreeType: outlines for the lettering meshes,
// antialiased coverage for the labels.
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <algorithm>
#include <cstdio>
#include <string>

#include "assetgen.h"

namespace assetgen {

namespace {

std::string fontFile(const char* pattern) {
    std::string path;
    FcInit();
    FcPattern* p = FcNameParse(reinterpret_cast<const FcChar8*>(pattern));
    FcConfigSubstitute(nullptr, p, FcMatchPattern);
    FcDefaultSubstitute(p);
    FcResult result;
    FcPattern* match = FcFontMatch(nullptr, p, &result);
    FcChar8* file = nullptr;
    if (match && FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch) path = reinterpret_cast<char*>(file);
    if (match) FcPatternDestroy(match);
    FcPatternDestroy(p);
    return path;
}

struct Face {
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    explicit Face(const char* pattern) {
        std::string path = fontFile(pattern);
        if (FT_Init_FreeType(&library) || path.empty() || FT_New_Face(library, path.c_str(), 0, &face)) {
            fprintf(stderr, "assetgen: no font for \"%s\"\n", pattern);
            face = nullptr;
        }
    }
    ~Face() {
        if (face) FT_Done_Face(face);
        if (library) FT_Done_FreeType(library);
    }
};

struct OutlineSink {
    std::vector<Contour>* contours;
    Point2 pen;
    Point2 last;
    int steps;
    void add(Point2 p) {
        contours->back().push_back({p.x + pen.x, p.y + pen.y});
        last = p;
    }
};

Point2 pt(const FT_Vector* v) { return {double(v->x), double(v->y)}; }

int moveTo(const FT_Vector* to, void* user) {
    auto* s = static_cast<OutlineSink*>(user);
    s->contours->emplace_back();
    s->add(pt(to));
    return 0;
}

int lineTo(const FT_Vector* to, void* user) {
    static_cast<OutlineSink*>(user)->add(pt(to));
    return 0;
}

int conicTo(const FT_Vector* control, const FT_Vector* to, void* user) {
    auto* s = static_cast<OutlineSink*>(user);
    Point2 a = s->last, c = pt(control), b = pt(to);
    for (int i = 1; i <= s->steps; ++i) {
        double t = double(i) / s->steps, u = 1 - t;
        s->add({u * u * a.x + 2 * u * t * c.x + t * t * b.x, u * u * a.y + 2 * u * t * c.y + t * t * b.y});
    }
    return 0;
}

int cubicTo(const FT_Vector* c1, const FT_Vector* c2, const FT_Vector* to, void* user) {
    auto* s = static_cast<OutlineSink*>(user);
    Point2 a = s->last, p = pt(c1), q = pt(c2), b = pt(to);
    for (int i = 1; i <= s->steps; ++i) {
        double t = double(i) / s->steps, u = 1 - t;
        s->add({u * u * u * a.x + 3 * u * u * t * p.x + 3 * u * t * t * q.x + t * t * t * b.x,
                u * u * u * a.y + 3 * u * u * t * p.y + 3 * u * t * t * q.y + t * t * t * b.y});
    }
    return 0;
}

}  // namespace

std::vector<Contour> textOutline(const char* fontPattern, const char* text, int curveSteps) {
    std::vector<Contour> contours;
    Face f(fontPattern);
    if (!f.face) return contours;
    FT_Outline_Funcs funcs = {moveTo, lineTo, conicTo, cubicTo, 0, 0};
    OutlineSink sink{&contours, {0, 0}, {0, 0}, curveSteps};
    for (const char* c = text; *c; ++c) {
        if (FT_Load_Char(f.face, FT_ULong(*c), FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING)) continue;
        FT_Outline_Decompose(&f.face->glyph->outline, &funcs, &sink);
        sink.pen.x += double(f.face->glyph->advance.x);
    }
    // The decomposer closes each contour by returning to its first point.
    for (Contour& contour : contours) {
        Contour clean;
        for (const Point2& p : contour)
            if (clean.empty() || p.x != clean.back().x || p.y != clean.back().y) clean.push_back(p);
        while (clean.size() > 1 && clean.back().x == clean.front().x && clean.back().y == clean.front().y)
            clean.pop_back();
        contour = clean;
    }
    contours.erase(std::remove_if(contours.begin(), contours.end(), [](const Contour& c) { return c.size() < 3; }),
                   contours.end());
    return contours;
}

std::vector<uint8_t> textCoverage(const char* fontPattern, const char* text, int pixelSize, int w, int h) {
    std::vector<uint8_t> canvas(size_t(w) * h, 0);
    Face f(fontPattern);
    if (!f.face) return canvas;
    FT_Set_Pixel_Sizes(f.face, 0, FT_UInt(pixelSize));
    // First pass measures the ink box, the second draws it centred.
    int minX = 1 << 30, maxX = -(1 << 30), minY = 1 << 30, maxY = -(1 << 30);
    for (int pass = 0; pass < 2; ++pass) {
        int penX = 0;
        int offX = pass ? (w - (maxX - minX)) / 2 - minX : 0;
        int offY = pass ? (h - (maxY - minY)) / 2 + maxY : 0;  // baseline row
        for (const char* c = text; *c; ++c) {
            if (FT_Load_Char(f.face, FT_ULong(*c), FT_LOAD_RENDER)) continue;
            FT_GlyphSlot g = f.face->glyph;
            int left = penX + g->bitmap_left, top = g->bitmap_top;
            if (g->bitmap.width && g->bitmap.rows) {
                if (!pass) {
                    minX = std::min(minX, left);
                    maxX = std::max(maxX, left + int(g->bitmap.width));
                    minY = std::min(minY, top - int(g->bitmap.rows));
                    maxY = std::max(maxY, top);
                } else {
                    for (unsigned r = 0; r < g->bitmap.rows; ++r)
                        for (unsigned col = 0; col < g->bitmap.width; ++col) {
                            int x = offX + left + int(col), y = offY - top + int(r);
                            if (x < 0 || y < 0 || x >= w || y >= h) continue;
                            uint8_t v = g->bitmap.buffer[r * g->bitmap.pitch + col];
                            uint8_t& d = canvas[size_t(y) * w + x];
                            d = std::max(d, v);
                        }
                }
            }
            penX += int(g->advance.x >> 6);
        }
    }
    return canvas;
}

}  // namespace assetgen

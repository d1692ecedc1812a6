// The authoring program of the asset pack's sources: it draws the five images
// and builds the five meshes once; their PNG and OBJ files are kept in assets/.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace assetgen {

struct Image {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgba;  // top row first, as in the PNG
    Image(int w, int h) : width(w), height(h), rgba(size_t(w) * h * 4, 0) {}
    uint8_t* at(int x, int y) { return &rgba[(size_t(y) * width + x) * 4]; }
};

struct Vec3 {
    float x = 0, y = 0, z = 0;
};

struct Triangle {
    Vec3 p[3];
    Vec3 n[3];
};

struct NamedMesh {
    std::string name;
    std::vector<Triangle> triangles;
};

struct Point2 {
    double x = 0, y = 0;
};
using Contour = std::vector<Point2>;

// Glyph outlines of a text in a font found through fontconfig; curves are cut
// into `curveSteps` straight pieces.
std::vector<Contour> textOutline(const char* fontPattern, const char* text, int curveSteps);
// 8-bit coverage of a text rendered at `pixelSize`, centred in a w x h canvas.
std::vector<uint8_t> textCoverage(const char* fontPattern, const char* text, int pixelSize, int w, int h);

// A thin slab with the given outline: front face at z1 with normal (0,0,1),
// back face at z0 with (0,0,-1), side walls with a bevel of `bevel` at either
// face. The outline is first scaled to exactly [x0,x1] x [y0,y1]. Extra
// triangles are added by splitting face triangles until exactly `triangles`.
// Empty when the outline needs more triangles than that.
std::vector<Triangle> extrude(std::vector<Contour> contours, double x0, double x1, double y0, double y1, float z0,
                              float z1, double bevel, size_t triangles);

Image starField();
Image pauseLabel();
Image offIndicator();
Image sphereMap();
Image gradientRamp();

std::vector<NamedMesh> tarselLogo();
std::vector<NamedMesh> vyrLogo();
std::vector<NamedMesh> starRay();

bool writePng(const std::string& path, const Image& image);
bool writeObj(const std::string& path, const std::string& comment, const std::vector<NamedMesh>& meshes);

}  // namespace assetgen

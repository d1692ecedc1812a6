// The pack's meshes: two logos made of thin bevelled slabs, and the star ray.
#include <cmath>
#include <cstdio>

#include "assetgen.h"

namespace assetgen {

namespace {

const char* const kLetteringFont = "Liberation Sans:bold";

// Finest outline that still fits the triangle count.
template <typename Outline>
std::vector<Triangle> finest(const char* name, Outline outline, double x0, double x1, double y0, double y1, float z0,
                             float z1, double bevel, size_t triangles) {
    for (int steps = 64; steps >= 1; --steps) {
        std::vector<Triangle> t = extrude(outline(steps), x0, x1, y0, y1, z0, z1, bevel, triangles);
        if (!t.empty()) return t;
    }
    fprintf(stderr, "assetgen: %s does not fit %zu triangles\n", name, triangles);
    return {};
}

// Band of a ring between two angles, round at neither end: a "C".
std::vector<Contour> openRing(int steps, double from, double to, double inner) {
    Contour c;
    int n = steps * 4;
    for (int i = 0; i <= n; ++i) {
        double a = from + (to - from) * i / n;
        c.push_back({std::cos(a), std::sin(a)});
    }
    for (int i = n; i >= 0; --i) {
        double a = from + (to - from) * i / n;
        c.push_back({inner * std::cos(a), inner * std::sin(a)});
    }
    return {c};
}

// A crescent: the unit disc less a disc of radius r centred at (d, 0).
std::vector<Contour> crescent(int steps, double r, double d) {
    // Where the circles cross: x = (1 + d^2 - r^2) / 2d.
    double cx = (1 + d * d - r * r) / (2 * d);
    double outerHalf = std::acos(cx);                  // angle on the unit circle
    double innerHalf = std::atan2(std::sin(outerHalf), cx - d);  // angle on the small circle
    // The tips are cut short: a bevel cannot follow a point sharper than itself.
    const double cutOuter = 0.12, cutInner = 0.16;
    double o0 = outerHalf + cutOuter, o1 = 2 * M_PI - outerHalf - cutOuter;
    double i0 = 2 * M_PI - innerHalf - cutInner, i1 = innerHalf + cutInner;
    Contour c;
    int n = steps * 4;
    for (int i = 0; i <= n; ++i) {
        double a = o0 + (o1 - o0) * i / n;
        c.push_back({std::cos(a), std::sin(a)});
    }
    // Back along the small circle's arc inside the disc, through its leftmost point.
    for (int i = 0; i <= n; ++i) {
        double a = i0 + (i1 - i0) * i / n;
        c.push_back({d + r * std::cos(a), r * std::sin(a)});
    }
    return {c};
}

std::vector<Contour> rotated(std::vector<Contour> contours, double degrees) {
    double a = degrees * M_PI / 180, c = std::cos(a), s = std::sin(a);
    for (auto& contour : contours)
        for (auto& p : contour) p = {c * p.x - s * p.y, s * p.x + c * p.y};
    return contours;
}

}  // namespace

std::vector<NamedMesh> tarselLogo() {
    auto lettering = [](int steps) { return textOutline(kLetteringFont, "TARSEL", steps); };
    // The emblem wraps the first letters; its open side faces the lettering.
    auto emblem = [](int steps) { return openRing(steps * 4, 0.55, 2 * M_PI - 0.55, 0.72); };
    return {{"Cap_21_1", finest("Cap_21_1", lettering, -1.781, 1.850, -0.392, 0.322, -0.113f, -0.028f, 0.012, 2390)},
            {"Cap_2_1", finest("Cap_2_1", emblem, -1.782, -0.153, -0.496, 0.927, -0.098f, -0.010f, 0.012, 3202)}};
}

std::vector<NamedMesh> vyrLogo() {
    // Two crescents facing each other make the mark.
    auto left = [](int steps) { return rotated(crescent(steps * 4, 0.82, 0.42), 20); };
    auto right = [](int steps) { return rotated(crescent(steps * 4, 0.82, 0.42), 200); };
    return {{"Cap_12_1", finest("Cap_12_1", left, -1.493, 1.451, -1.371, 1.516, -0.028f, 0.059f, 0.014, 1828)},
            {"Cap_23_1", finest("Cap_23_1", right, -1.308, 1.636, -1.409, 1.479, -0.028f, 0.051f, 0.014, 1828)}};
}

std::vector<NamedMesh> starRay() {
    // A spindle: a ring of 30 around the middle, a point at either end.
    const int n = 30;
    const double r = 0.0054;
    std::vector<Triangle> t;
    for (int i = 0; i < n; ++i) {
        double a = 2 * M_PI * i / n, b = 2 * M_PI * (i + 1) / n;
        Vec3 pa{float(r * std::cos(a)), float(r * std::sin(a)), 0}, pb{float(r * std::cos(b)), float(r * std::sin(b)), 0};
        if (i == 0) pa = {float(r), 0, 0};
        for (int end = 1; end >= -1; end -= 2) {
            // The side's slope is r per unit of z, so its normal leans by r.
            auto normal = [&](double angle) {
                double l = std::sqrt(1 + r * r);
                return Vec3{float(std::cos(angle) / l), float(std::sin(angle) / l), float(end * r / l)};
            };
            double mid = (a + b) / 2;
            Vec3 tip{0, 0, float(end)};
            Triangle tri{{pa, pb, tip}, {normal(a), normal(b), normal(mid)}};
            if (end < 0) {
                std::swap(tri.p[0], tri.p[1]);
                std::swap(tri.n[0], tri.n[1]);
            }
            t.push_back(tri);
        }
    }
    return {{"Cone", t}};
}

}  // namespace assetgen

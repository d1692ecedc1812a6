// Outline -> slab: faces from GLU's tessellator, bevelled side walls.
#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <list>

#include "assetgen.h"

namespace assetgen {

namespace {

Vec3 v3(double x, double y, double z) { return {float(x), float(y), float(z)}; }

Vec3 unit(double x, double y, double z) {
    double l = std::sqrt(x * x + y * y + z * z);
    return v3(x / l, y / l, z / l);
}

// Appends a triangle wound counter-clockwise as seen from its normals' side.
void addTriangle(std::vector<Triangle>& out, Vec3 a, Vec3 b, Vec3 c, Vec3 na, Vec3 nb, Vec3 nc) {
    double ux = b.x - a.x, uy = b.y - a.y, uz = b.z - a.z;
    double wx = c.x - a.x, wy = c.y - a.y, wz = c.z - a.z;
    double fx = uy * wz - uz * wy, fy = uz * wx - ux * wz, fz = ux * wy - uy * wx;
    double area = std::sqrt(fx * fx + fy * fy + fz * fz);
    if (area < 1e-9) return;
    double d = fx * (na.x + nb.x + nc.x) + fy * (na.y + nb.y + nc.y) + fz * (na.z + nb.z + nc.z);
    if (d < 0) {
        std::swap(b, c);
        std::swap(nb, nc);
    }
    out.push_back({{a, b, c}, {na, nb, nc}});
}

double signedArea(const Contour& c) {
    double a = 0;
    for (size_t i = 0; i < c.size(); ++i) {
        const Point2 &p = c[i], &q = c[(i + 1) % c.size()];
        a += p.x * q.y - q.x * p.y;
    }
    return a / 2;
}

bool inside(const Contour& c, Point2 p) {
    bool in = false;
    for (size_t i = 0, j = c.size() - 1; i < c.size(); j = i++)
        if ((c[i].y > p.y) != (c[j].y > p.y) &&
            p.x < (c[j].x - c[i].x) * (p.y - c[i].y) / (c[j].y - c[i].y) + c[i].x)
            in = !in;
    return in;
}

struct Tess {
    std::vector<Point2> points;  // output triangle corners, three at a time
    std::list<Point2> combined;  // vertices GLU made where outlines cross
};

void GLAPIENTRY onVertex(void* data, void* user) {
    static_cast<Tess*>(user)->points.push_back(*static_cast<Point2*>(data));
}
void GLAPIENTRY onEdgeFlag(GLboolean, void*) {}  // its presence makes GLU emit plain triangles
void GLAPIENTRY onCombine(GLdouble coords[3], void*[4], GLfloat[4], void** out, void* user) {
    auto* t = static_cast<Tess*>(user);
    t->combined.push_back({coords[0], coords[1]});
    *out = &t->combined.back();
}
void GLAPIENTRY onError(GLenum error, void*) { fprintf(stderr, "assetgen: tessellation: %s\n", gluErrorString(error)); }

std::vector<Point2> tessellate(std::vector<Contour>& contours) {
    Tess t;
    GLUtesselator* tess = gluNewTess();
    gluTessCallback(tess, GLU_TESS_VERTEX_DATA, reinterpret_cast<void(GLAPIENTRY*)()>(onVertex));
    gluTessCallback(tess, GLU_TESS_EDGE_FLAG_DATA, reinterpret_cast<void(GLAPIENTRY*)()>(onEdgeFlag));
    gluTessCallback(tess, GLU_TESS_COMBINE_DATA, reinterpret_cast<void(GLAPIENTRY*)()>(onCombine));
    gluTessCallback(tess, GLU_TESS_ERROR_DATA, reinterpret_cast<void(GLAPIENTRY*)()>(onError));
    gluTessProperty(tess, GLU_TESS_WINDING_RULE, GLU_TESS_WINDING_ODD);
    gluTessNormal(tess, 0, 0, 1);
    gluTessBeginPolygon(tess, &t);
    std::vector<std::vector<GLdouble>> coords;
    for (Contour& c : contours) {
        gluTessBeginContour(tess);
        for (Point2& p : c) {
            GLdouble xyz[3] = {p.x, p.y, 0};
            gluTessVertex(tess, xyz, &p);
        }
        gluTessEndContour(tess);
    }
    gluTessEndPolygon(tess);
    gluDeleteTess(tess);
    return t.points;
}

}  // namespace

std::vector<Triangle> extrude(std::vector<Contour> contours, double x0, double x1, double y0, double y1, float z0,
                              float z1, double bevel, size_t triangles) {
    // Scale into the box.
    double minX = 1e300, maxX = -1e300, minY = 1e300, maxY = -1e300;
    for (auto& c : contours)
        for (auto& p : c) {
            minX = std::min(minX, p.x), maxX = std::max(maxX, p.x);
            minY = std::min(minY, p.y), maxY = std::max(maxY, p.y);
        }
    for (auto& c : contours)
        for (auto& p : c) {
            p.x = x0 + (p.x - minX) / (maxX - minX) * (x1 - x0);
            p.y = y0 + (p.y - minY) / (maxY - minY) * (y1 - y0);
        }
    // Outer contours counter-clockwise, holes clockwise: then the right-hand
    // normal of every edge points away from the material.
    for (size_t i = 0; i < contours.size(); ++i) {
        int depth = 0;
        for (size_t j = 0; j < contours.size(); ++j)
            if (j != i && inside(contours[j], contours[i][0])) ++depth;
        bool hole = depth % 2 == 1;
        if ((signedArea(contours[i]) > 0) == hole) std::reverse(contours[i].begin(), contours[i].end());
    }

    std::vector<Triangle> out;
    std::vector<Contour> insets;
    // The longest front bevel, where one extra corner can go (see below).
    struct {
        double length = 0;
        size_t at = 0;  // its two triangles in `out`
        Vec3 inner[2], outer[2], normal[2];
    } spare;
    const double zb0 = z0 + bevel, zb1 = z1 - bevel;
    for (const Contour& c : contours) {
        size_t n = c.size();
        std::vector<Point2> edgeNormal(n);
        for (size_t i = 0; i < n; ++i) {
            const Point2 &p = c[i], &q = c[(i + 1) % n];
            double dx = q.x - p.x, dy = q.y - p.y, l = std::sqrt(dx * dx + dy * dy);
            edgeNormal[i] = {dy / l, -dx / l};
        }
        Contour inset(n);
        // Per corner: the wall normal on either side (shared where the outline
        // bends gently, so curves shade smoothly).
        std::vector<Point2> before(n), after(n);
        for (size_t i = 0; i < n; ++i) {
            Point2 a = edgeNormal[(i + n - 1) % n], b = edgeNormal[i];
            double cosine = a.x * b.x + a.y * b.y;
            double mx = (a.x + b.x) / (1 + cosine), my = (a.y + b.y) / (1 + cosine);
            double ml = std::sqrt(mx * mx + my * my);
            if (ml > 3) mx *= 3 / ml, my *= 3 / ml;
            inset[i] = {c[i].x - bevel * mx, c[i].y - bevel * my};
            if (cosine > std::cos(50 * M_PI / 180)) {
                double sx = a.x + b.x, sy = a.y + b.y, sl = std::sqrt(sx * sx + sy * sy);
                before[i] = after[i] = {sx / sl, sy / sl};
            } else {
                before[i] = a;
                after[i] = b;
            }
        }
        for (size_t i = 0; i < n; ++i) {
            size_t j = (i + 1) % n;
            Point2 na = after[i], nb = before[j];
            const Point2 &pa = c[i], &pb = c[j], &ia = inset[i], &ib = inset[j];
            Vec3 rings[4][2] = {{v3(ia.x, ia.y, z1), v3(ib.x, ib.y, z1)},
                                {v3(pa.x, pa.y, zb1), v3(pb.x, pb.y, zb1)},
                                {v3(pa.x, pa.y, zb0), v3(pb.x, pb.y, zb0)},
                                {v3(ia.x, ia.y, z0), v3(ib.x, ib.y, z0)}};
            Vec3 front[2] = {unit(na.x, na.y, 1), unit(nb.x, nb.y, 1)};
            Vec3 wall[2] = {unit(na.x, na.y, 0), unit(nb.x, nb.y, 0)};
            Vec3 back[2] = {unit(na.x, na.y, -1), unit(nb.x, nb.y, -1)};
            const Vec3* normals[3] = {front, wall, back};
            double length = std::hypot(ib.x - ia.x, ib.y - ia.y);
            if (length > spare.length) {
                spare.length = length;
                spare.at = out.size();
                spare.inner[0] = rings[0][0], spare.inner[1] = rings[0][1];
                spare.outer[0] = rings[1][0], spare.outer[1] = rings[1][1];
                spare.normal[0] = front[0], spare.normal[1] = front[1];
            }
            for (int s = 0; s < 3; ++s) {
                const Vec3* nn = normals[s];
                int r0 = s, r1 = s + 1;
                if (s == 0) r0 = 0, r1 = 1;
                addTriangle(out, rings[r0][0], rings[r1][0], rings[r1][1], nn[0], nn[0], nn[1]);
                addTriangle(out, rings[r0][0], rings[r1][1], rings[r0][1], nn[0], nn[1], nn[1]);
            }
        }
        insets.push_back(inset);
    }

    std::vector<Point2> face = tessellate(insets);
    std::vector<Triangle> faces;
    const Vec3 up{0, 0, 1};
    for (size_t i = 0; i + 2 < face.size(); i += 3)
        addTriangle(faces, v3(face[i].x, face[i].y, z1), v3(face[i + 1].x, face[i + 1].y, z1),
                    v3(face[i + 2].x, face[i + 2].y, z1), up, up, up);
    // Every outline gives a multiple of four triangles (front and back
    // match). Two more come from a corner in the middle of one front bevel
    // edge: the face triangle on that edge and the bevel quad each gain one.
    if (out.size() + 2 * faces.size() > triangles) return {};
    size_t missing = triangles - out.size() - 2 * faces.size();
    if (missing % 4 == 2 && spare.length > 0) {
        const Vec3 &a = spare.inner[0], &b = spare.inner[1];
        auto same = [](const Vec3& p, const Vec3& q) { return p.x == q.x && p.y == q.y; };
        for (size_t i = 0; i < faces.size(); ++i) {
            const Triangle& t = faces[i];
            int ka = -1, kb = -1;
            for (int k = 0; k < 3; ++k) {
                if (same(t.p[k], a)) ka = k;
                if (same(t.p[k], b)) kb = k;
            }
            if (ka < 0 || kb < 0) continue;
            Vec3 c = t.p[3 - ka - kb];
            const Vec3 down{0, 0, -1};
            Vec3 m = v3((a.x + b.x) / 2.0, (a.y + b.y) / 2.0, z1);
            // Only the front gets the corner; the back keeps the whole triangle.
            Triangle whole = t;
            faces.erase(faces.begin() + long(i));
            out.erase(out.begin() + long(spare.at), out.begin() + long(spare.at) + 2);
            addTriangle(out, a, m, c, up, up, up);
            addTriangle(out, m, b, c, up, up, up);
            addTriangle(out, v3(whole.p[0].x, whole.p[0].y, z0), v3(whole.p[1].x, whole.p[1].y, z0),
                        v3(whole.p[2].x, whole.p[2].y, z0), down, down, down);
            Vec3 nm = unit(spare.normal[0].x + spare.normal[1].x, spare.normal[0].y + spare.normal[1].y,
                           spare.normal[0].z + spare.normal[1].z);
            addTriangle(out, m, b, spare.outer[1], nm, spare.normal[1], spare.normal[1]);
            addTriangle(out, m, spare.outer[1], spare.outer[0], nm, spare.normal[1], spare.normal[0]);
            addTriangle(out, m, spare.outer[0], a, nm, spare.normal[0], spare.normal[0]);
            break;
        }
        if (out.size() + 2 * faces.size() > triangles) return {};
        missing = triangles - out.size() - 2 * faces.size();
    }
    // Splitting a face triangle at its centroid adds two per face and leaves
    // no crack; the largest triangles go first.
    if (missing % 4 != 0) return {};
    for (; missing > 0; missing -= 4) {
        auto largest = std::max_element(faces.begin(), faces.end(), [](const Triangle& a, const Triangle& b) {
            auto area = [](const Triangle& t) {
                return std::fabs((t.p[1].x - t.p[0].x) * (t.p[2].y - t.p[0].y) -
                                 (t.p[2].x - t.p[0].x) * (t.p[1].y - t.p[0].y));
            };
            return area(a) < area(b);
        });
        Triangle t = *largest;
        faces.erase(largest);
        Vec3 m = v3((t.p[0].x + t.p[1].x + t.p[2].x) / 3.0, (t.p[0].y + t.p[1].y + t.p[2].y) / 3.0, z1);
        for (int k = 0; k < 3; ++k) addTriangle(faces, t.p[k], t.p[(k + 1) % 3], m, up, up, up);
    }
    const Vec3 down{0, 0, -1};
    for (const Triangle& t : faces) {
        out.push_back(t);
        addTriangle(out, v3(t.p[0].x, t.p[0].y, z0), v3(t.p[1].x, t.p[1].y, z0), v3(t.p[2].x, t.p[2].y, z0), down,
                    down, down);
    }
    return out.size() == triangles ? out : std::vector<Triangle>{};
}

}  // namespace assetgen

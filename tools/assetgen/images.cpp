// The pack's five pictures.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>

#include "assetgen.h"

namespace assetgen {

namespace {

const char* const kLabelFont = "Liberation Sans:bold";

uint8_t clamp8(double v) { return uint8_t(std::lround(std::min(255.0, std::max(0.0, v)))); }

struct Random {
    std::mt19937 engine;
    explicit Random(uint32_t seed) : engine(seed) {}
    double next() { return engine() / 4294967296.0; }
};

// Box blur of a coverage map, three passes approximate a Gaussian.
std::vector<double> blurred(const std::vector<uint8_t>& in, int w, int h, int radius) {
    std::vector<double> a(in.begin(), in.end()), b(a.size());
    for (int pass = 0; pass < 3; ++pass) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                double s = 0;
                for (int k = -radius; k <= radius; ++k) {
                    int xx = x + k;
                    if (xx >= 0 && xx < w) s += a[size_t(y) * w + xx];
                }
                b[size_t(y) * w + x] = s / (2 * radius + 1);
            }
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                double s = 0;
                for (int k = -radius; k <= radius; ++k) {
                    int yy = y + k;
                    if (yy >= 0 && yy < h) s += b[size_t(yy) * w + x];
                }
                a[size_t(y) * w + x] = s / (2 * radius + 1);
            }
    }
    return a;
}

}  // namespace

Image starField() {
    const int size = 512;
    Image img(size, size);
    std::vector<double> r(size * size), g(size * size), b(size * size);
    Random rnd(20061);
    // A faint blue haze under the stars.
    for (int i = 0; i < size * size; ++i) {
        double haze = rnd.next();
        r[i] = 0.5 + 0.7 * haze;
        g[i] = 0.6 + 0.8 * haze;
        b[i] = 1.0 + 1.4 * haze;
    }
    // Stars wrap around the edges: the background repeats.
    for (int s = 0; s < 900; ++s) {
        double cx = rnd.next() * size, cy = rnd.next() * size;
        double bright = std::pow(rnd.next(), 4.0) * 255 + 25;
        double radius = 0.45 + 1.1 * std::pow(rnd.next(), 6.0);
        double tint = rnd.next();
        double tr = 0.85 + 0.15 * tint, tg = 0.9, tb = 1.0 - 0.15 * tint;
        int reach = int(std::ceil(radius * 4));
        for (int dy = -reach; dy <= reach; ++dy)
            for (int dx = -reach; dx <= reach; ++dx) {
                int x = (int(cx) + dx + size) % size, y = (int(cy) + dy + size) % size;
                double ex = int(cx) + dx + 0.5 - cx, ey = int(cy) + dy + 0.5 - cy;
                double v = bright * std::exp(-(ex * ex + ey * ey) / (2 * radius * radius));
                int i = y * size + x;
                r[i] += v * tr, g[i] += v * tg, b[i] += v * tb;
            }
    }
    for (int i = 0; i < size * size; ++i) {
        uint8_t* p = &img.rgba[size_t(i) * 4];
        p[0] = clamp8(r[i]), p[1] = clamp8(g[i]), p[2] = clamp8(b[i]), p[3] = 255;
    }
    return img;
}

Image pauseLabel() {
    const int w = 128, h = 41;
    // Glyphs with a soft glow of the same colour; the glow's reach sets how
    // much of the label is see-through.
    std::vector<uint8_t> core = textCoverage(kLabelFont, "PAUSED", 30, w, h);
    std::vector<double> glow = blurred(core, w, h, 2);
    Image img(w, h);
    for (int i = 0; i < w * h; ++i) {
        double a = std::max(double(core[i]), std::min(200.0, glow[i] * 2.4 - 36));
        uint8_t* p = &img.rgba[size_t(i) * 4];
        p[0] = 196, p[1] = 210, p[2] = 228;
        p[3] = clamp8(a);
    }
    return img;
}

Image offIndicator() {
    const int w = 128, h = 41;
    std::vector<uint8_t> core = textCoverage(kLabelFont, "VYR OFF", 27, w, h);
    Image img(w, h);
    for (int i = 0; i < w * h; ++i) {
        uint8_t* p = &img.rgba[size_t(i) * 4];
        p[0] = 226, p[1] = 32, p[2] = 28, p[3] = core[i];
    }
    return img;
}

Image sphereMap() {
    const int size = 256;
    Image img(size, size);
    Random rnd(777);
    std::vector<double> streak(size);
    for (double& s : streak) s = rnd.next();
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            // The disc is the reflected hemisphere: a warm glow above the
            // horizon, darker earth below, rim fading out.
            double u = (x + 0.5) / size * 2 - 1, v = 1 - (y + 0.5) / size * 2;
            double rr = std::min(1.0, u * u + v * v);
            double horizon = std::exp(-std::pow((v + 0.1) * 4, 2));
            double sky = v > -0.1 ? 0.7 + 0.3 * v : 0.45;
            double grain = 0.85 + 0.3 * streak[(x * 7 + y * 3) % size];
            double k = (1 - 0.65 * rr) * sky * grain;
            uint8_t* p = img.at(x, y);
            p[0] = clamp8(95 * k + 70 * horizon);
            p[1] = clamp8(38 * k + 30 * horizon);
            p[2] = clamp8(24 * k + 14 * horizon);
            p[3] = 255;
        }
    return img;
}

Image gradientRamp() {
    const int size = 128;
    Image img(size, size);
    for (int x = 0; x < size; ++x) {
        double r, g, b;
        if (x < size / 2) {
            double t = x / double(size / 2 - 1);
            r = 48 + (196 - 48) * t, g = 58 + (200 - 58) * t, b = 82 + (206 - 82) * t;
        } else {
            double t = (x - size / 2) / double(size / 2 - 1);
            r = 100 * t, g = 118 * t, b = 150 * t;
        }
        for (int y = 0; y < size; ++y) {
            uint8_t* p = img.at(x, y);
            p[0] = clamp8(r), p[1] = clamp8(g), p[2] = clamp8(b), p[3] = 255;
        }
    }
    return img;
}

}  // namespace assetgen

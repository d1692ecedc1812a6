// The icon's pixels, drawn by code at first use: a blue disc with a light ring
// and a red bar, the same picture at every size.
#include "platform/icon_images.h"

#include <cmath>
#include <vector>

namespace vyr::platform {

namespace {

std::vector<uint32_t> drawIcon(int size) {
    std::vector<uint32_t> pixels(size_t(size) * size);
    float c = (size - 1) / 2.0f, r = size / 2.0f;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            float d = std::hypot(x - c, y - c) / r;
            uint32_t argb = 0;
            if (d <= 1.0f) {
                argb = 0xFF12306Au;                          // disc
                if (d > 0.78f) argb = 0xFFB0CDEBu;           // ring
                if (std::fabs(y - c) < size * 0.09f && d < 0.7f) argb = 0xFFD02020u;  // bar
            }
            pixels[size_t(y) * size + x] = argb;
        }
    return pixels;
}

struct Icons {
    std::vector<uint32_t> pixels[4];
    IconImage images[4];
    Icons() {
        const int sizes[4] = {16, 32, 48, 64};
        for (int i = 0; i < 4; ++i) {
            pixels[i] = drawIcon(sizes[i]);
            images[i] = {sizes[i], pixels[i].data()};
        }
    }
};

const Icons& icons() {
    static const Icons instance;
    return instance;
}

}  // namespace

int iconImageCount() { return 4; }

const IconImage& iconImage(int index) { return icons().images[index]; }

}  // namespace vyr::platform

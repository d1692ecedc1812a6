#include "render/frame_comparison.h"

#include <algorithm>
#include <cmath>

namespace vyr::test {

// Measured on the reference frame: at the check's time the logos, nearly
// edge-on, stand in a narrow upright strip at the centre; the two overlays sit
// in the bottom corners; the top band and the left band hold only the
// background and stars.
const FrameRegion checkRegions[checkRegionCount] = {
    {"background", 0, 0, 640, 80},
    {"stars", 0, 80, 200, 270},
    {"logos", 296, 96, 48, 208},
    {"pause label", 0, 359, 128, 41},
    {"OFF indicator", 502, 359, 128, 41},
    {"whole frame", 0, 0, 640, 400},
};

bool isCheckFrame(const FrameImage& image) {
    return image.width == checkFrameWidth && image.height == checkFrameHeight &&
           image.rgba.size() == size_t(image.width) * image.height * 4;
}

namespace {

// The average of one channel over a cell.
double cellMean(const FrameImage& image, uint32_t left, uint32_t top, uint32_t width, uint32_t height,
                int channel) {
    uint64_t sum = 0;
    for (uint32_t y = top; y < top + height; y++) {
        const uint8_t* p = image.rgba.data() + (size_t(y) * image.width + left) * 4 + channel;
        for (uint32_t x = 0; x < width; x++, p += 4) sum += *p;
    }
    return double(sum) / double(width * height);
}

}  // namespace

double regionDifference(const FrameImage& a, const FrameImage& b, const FrameRegion& region, uint32_t cell) {
    if (!isCheckFrame(a) || !isCheckFrame(b) || cell == 0) return 1.0;
    double largest = 0.0;
    for (uint32_t top = region.top; top < region.top + region.height; top += cell) {
        uint32_t height = std::min(cell, region.top + region.height - top);
        for (uint32_t left = region.left; left < region.left + region.width; left += cell) {
            uint32_t width = std::min(cell, region.left + region.width - left);
            double cellDifference = 0.0;
            for (int channel = 0; channel < 3; channel++)
                cellDifference += std::fabs(cellMean(a, left, top, width, height, channel) -
                                            cellMean(b, left, top, width, height, channel));
            largest = std::max(largest, cellDifference / (255.0 * 3.0));
        }
    }
    return largest;
}

FrameComparison compareFrames(const FrameImage& a, const FrameImage& b, const RegionLimits& limits, uint32_t cell) {
    FrameComparison result;
    result.passed = true;
    double worstRatio = -1.0;
    for (size_t i = 0; i < checkRegionCount; i++) {
        double difference = regionDifference(a, b, checkRegions[i], cell);
        result.regionDifference[i] = difference;
        double limit = limits.limit[i];
        if (difference > limit) result.passed = false;
        double ratio = limit > 0.0 ? difference / limit : (difference > 0.0 ? INFINITY : 0.0);
        if (ratio > worstRatio) {
            worstRatio = ratio;
            result.worstRegion = checkRegions[i].name;
            result.difference = difference;
            result.limit = limit;
        }
    }
    return result;
}

}  // namespace vyr::test

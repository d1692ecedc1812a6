// How far two 640 x 400 frames differ, region by region: the picture check's
// measure. Pure functions, no graphics API.
#pragma once

#include <cstddef>
#include <cstdint>

#include "render/frame_image.h"

namespace vyr::test {

// The check frame's size, whatever the window's.
constexpr uint32_t checkFrameWidth = 640;
constexpr uint32_t checkFrameHeight = 400;

// Whether the image is a whole 640 x 400 frame.
bool isCheckFrame(const FrameImage& image);

// A rectangle of the check frame (origin top-left) with a part of the scene in it.
struct FrameRegion {
    const char* name;
    uint32_t left, top, width, height;
};

constexpr size_t checkRegionCount = 6;
// Background, stars, logos, pause label, OFF indicator and the whole frame.
extern const FrameRegion checkRegions[checkRegionCount];

// Limits per region, in the order of checkRegions.
struct RegionLimits {
    double limit[checkRegionCount];
};

struct FrameComparison {
    bool passed = false;
    // The region furthest over (or nearest to) its limit, with its figures.
    const char* worstRegion = "whole frame";
    double difference = 1.0;
    double limit = 0.0;
    double regionDifference[checkRegionCount] = {};
};

// The largest difference of a cell in the region: the mean absolute difference
// (0: the same, 1: black against white) of the two frames' averages of red,
// green and blue over the cell. Cells of `cell` x `cell` pixels let where
// things are count, not how each rasteriser samples an edge; the largest cell,
// not the mean, so that a small part going wrong (a piece of a logo hidden) is
// not diluted by a large region. 1 when either frame is not 640 x 400.
double regionDifference(const FrameImage& a, const FrameImage& b, const FrameRegion& region, uint32_t cell);

// Every region against its limit; passes when none is over.
FrameComparison compareFrames(const FrameImage& a, const FrameImage& b, const RegionLimits& limits,
                              uint32_t cell);

}  // namespace vyr::test

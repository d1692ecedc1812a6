#include "platform/frame_search.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace vyr::platform {

namespace {

// A pixel of the frame on a sharp edge, and its colour.
struct EdgeSample {
    uint32_t x, y;
    int red, green, blue;
    int strength;
};

// One sample per cell of this size, so that the samples spread over the frame.
constexpr uint32_t sampleCell = 40;
// Weaker edges than this (summed over the channels, to the right and below)
// are smooth shading: a frame moved by a pixel matches there too.
constexpr int weakestEdge = 96;
constexpr size_t fewestSamples = 8;
// How far a copy's channel may stray from the frame's and still match, and
// how many of the samples may stray further: a frame drawn again (a paused
// run's) may sample an edge a little differently, and a small window over a
// corner hides a few; a picture moved by more than a pixel misses most.
constexpr int channelTolerance = 16;
constexpr size_t strayingShare = 8;  // one in 8
// Places within this many pixels of each other are the same place.
constexpr int32_t samePlace = 2;

const uint8_t* pixel(const vyr::test::FrameImage& image, uint32_t x, uint32_t y) {
    return &image.rgba[(size_t(y) * image.width + x) * 4];
}

int edgeAt(const vyr::test::FrameImage& frame, uint32_t x, uint32_t y) {
    const uint8_t* p = pixel(frame, x, y);
    const uint8_t* right = pixel(frame, x + 1, y);
    const uint8_t* below = pixel(frame, x, y + 1);
    int sum = 0;
    for (int c = 0; c < 3; ++c) sum += std::abs(p[c] - right[c]) + std::abs(p[c] - below[c]);
    return sum;
}

// The sharpest edge of each cell, the sharpest cells' first: a wrong place
// is then given up after a sample or two.
std::vector<EdgeSample> edgeSamples(const vyr::test::FrameImage& frame) {
    std::vector<EdgeSample> samples;
    for (uint32_t top = 0; top + 1 < frame.height; top += sampleCell)
        for (uint32_t left = 0; left + 1 < frame.width; left += sampleCell) {
            EdgeSample best{0, 0, 0, 0, 0, 0};
            for (uint32_t y = top; y < std::min(top + sampleCell, frame.height - 1); ++y)
                for (uint32_t x = left; x < std::min(left + sampleCell, frame.width - 1); ++x) {
                    const int strength = edgeAt(frame, x, y);
                    if (strength > best.strength) {
                        const uint8_t* p = pixel(frame, x, y);
                        best = {x, y, p[0], p[1], p[2], strength};
                    }
                }
            if (best.strength >= weakestEdge) samples.push_back(best);
        }
    std::sort(samples.begin(), samples.end(),
              [](const EdgeSample& a, const EdgeSample& b) { return a.strength > b.strength; });
    return samples;
}

// How many samples stray past the tolerance there, or -1 as soon as more
// than their share do.
long placeError(const vyr::test::FrameImage& screen, const std::vector<EdgeSample>& samples, uint32_t left,
                uint32_t top) {
    const size_t allowed = samples.size() / strayingShare;
    size_t straying = 0;
    for (const EdgeSample& s : samples) {
        const uint8_t* p = pixel(screen, left + s.x, top + s.y);
        if (std::abs(p[0] - s.red) > channelTolerance || std::abs(p[1] - s.green) > channelTolerance ||
            std::abs(p[2] - s.blue) > channelTolerance) {
            if (++straying > allowed) return -1;
        }
    }
    return long(straying);
}

bool wholeImage(const vyr::test::FrameImage& image) {
    return image.width && image.height && image.rgba.size() == size_t(image.width) * image.height * 4;
}

}  // namespace

FoundFrame findFrame(const vyr::test::FrameImage& screen, const vyr::test::FrameImage& frame) {
    FoundFrame found;
    if (!wholeImage(screen) || !wholeImage(frame) || frame.width > screen.width || frame.height > screen.height)
        return found;
    const std::vector<EdgeSample> samples = edgeSamples(frame);
    if (samples.size() < fewestSamples) {
        found.searchable = false;
        return found;
    }
    struct Match {
        int32_t left, top;
        long error;
    };
    std::vector<Match> matches;
    for (uint32_t top = 0; top + frame.height <= screen.height; ++top)
        for (uint32_t left = 0; left + frame.width <= screen.width; ++left) {
            const long error = placeError(screen, samples, left, top);
            if (error >= 0) matches.push_back({int32_t(left), int32_t(top), error});
        }
    if (matches.empty()) return found;
    const Match best = *std::min_element(matches.begin(), matches.end(),
                                         [](const Match& a, const Match& b) { return a.error < b.error; });
    found.left = best.left;
    found.top = best.top;
    found.places = 1;
    for (const Match& m : matches)
        if (std::abs(m.left - best.left) > samePlace || std::abs(m.top - best.top) > samePlace) found.places = 2;
    return found;
}

}  // namespace vyr::platform

// The frame limiter and the frame statistics: plain arithmetic on the frame
// timer's milliseconds, so that they can be tested without a back-end. Also
// what the results file reports of the frames: every report line and the
// frame times, kept in rings allocated once, so counting costs no allocation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vyr::test {

// The latest `capacity` values pushed.
template <typename T>
class Ring {
public:
    explicit Ring(size_t capacity) : items(capacity) {}
    void push(const T& value) {
        items[pushed % items.size()] = value;
        ++pushed;
    }
    // Becomes a copy of `source` (of the same capacity), copying only what
    // it pushed since this ring last followed it.
    void follow(const Ring& source) {
        uint64_t from = pushed <= source.pushed ? pushed : 0;
        if (source.pushed - from > items.size()) from = source.pushed - items.size();
        for (uint64_t i = from; i < source.pushed; ++i) items[i % items.size()] = source.items[i % items.size()];
        pushed = source.pushed;
    }
    // Oldest first.
    std::vector<T> values() const {
        std::vector<T> result;
        size_t kept = pushed < items.size() ? size_t(pushed) : items.size();
        for (size_t i = 0; i < kept; ++i) result.push_back(items[(pushed - kept + i) % items.size()]);
        return result;
    }
    uint64_t pushed = 0;

private:
    std::vector<T> items;
};

struct ReportLine {
    uint64_t frames = 0, milliseconds = 0;
    double averageFps = 0.0;
};

// Frame times in milliseconds: nearest-rank percentiles, and the "1 % low":
// the frame rate over the slowest 1 % of the frames (at least one frame).
struct FrameTimeSummary {
    size_t frames = 0;
    double p50 = 0, p95 = 0, p99 = 0, max = 0;
    double sum = 0;  // milliseconds, all frames
    double onePercentLowFps = 0;
};
FrameTimeSummary summariseFrameTimes(std::vector<uint32_t> microseconds);

class FrameStatistics {
public:
    // Limiter for `frameLimit` frames per second: returns how many milliseconds
    // to sleep before the frame at `now` may start. A late frame moves the grid
    // of multiples of the interval instead of causing catch-up frames.
    uint64_t paceFrame(uint64_t now, uint64_t frameLimit);
    // Counts the frame at `now`: every `reportInterval` seconds (0: never) the
    // report line on standard output, and every second currentFrameRate.
    void countFrame(uint64_t now, uint64_t reportInterval);
    // A frame was presented at `microseconds` of the frame timer. Its time since
    // the previous present counts unless a pause lies between them.
    void recordPresent(uint64_t microseconds, bool startedPaused, bool endedPaused);
    // Becomes a copy of `source` at the cost of what changed since the last
    // call: a copy for another thread, kept up to date every frame.
    void follow(const FrameStatistics& source);

    uint64_t nextFrameDue = 0;
    uint64_t secondFrames = 0;
    uint64_t secondDeadline = 0;
    uint64_t currentFrameRate = 0;
    uint64_t reportDeadline = 0;
    uint64_t reportFrames = 0;

    uint64_t framesPresented = 0;
    uint64_t firstPresentUs = 0, lastPresentUs = 0;
    Ring<ReportLine> reportLines{1024};       // 85 minutes of 5-second reports
    Ring<uint32_t> frameTimesUs{1u << 16};   // the latest 65536 frames

private:
    bool previousEndedPaused = false;
};

}  // namespace vyr::test

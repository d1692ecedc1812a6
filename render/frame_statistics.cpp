#include "render/frame_statistics.h"

#include <algorithm>
#include <cstdio>

namespace vyr::test {

uint64_t FrameStatistics::paceFrame(uint64_t now, uint64_t frameLimit) {
    uint64_t interval = 1000 / frameLimit;
    // A limit above 1000 truncates to a 0 ms interval: run unpaced rather than
    // take a remainder by zero.
    if (interval == 0) return 0;
    uint64_t sleep = 0;
    if (now > nextFrameDue)
        nextFrameDue = now - (now % interval);
    else
        sleep = nextFrameDue - now;
    nextFrameDue += interval;
    return sleep;
}

void FrameStatistics::countFrame(uint64_t now, uint64_t reportInterval) {
    if (reportInterval != 0) {
        reportFrames++;
        uint64_t period = reportInterval * 1000;
        if (now > reportDeadline) {
            if (reportDeadline != 0) {
                uint64_t elapsed = now - (reportDeadline - period);
                double average = double(reportFrames) * 1000.0 / double(elapsed);
                printf("Produced %llu frames in the last %llu ms: average FPS %.3f\n",
                       (unsigned long long)reportFrames, (unsigned long long)elapsed, average);
                fflush(stdout);
                reportLines.push({reportFrames, elapsed, average});
            }
            reportFrames = 0;
            reportDeadline = now - (now % period) + period;
        }
    }

    secondFrames++;
    if (now > secondDeadline) {
        if (secondDeadline != 0) {
            currentFrameRate = uint64_t((double(secondFrames) * 1000.0 + 999.0) /
                                        double(now - secondDeadline + 1000));
        }
        secondFrames = 0;
        secondDeadline = now - (now % 1000) + 1000;
    }
}

void FrameStatistics::recordPresent(uint64_t microseconds, bool startedPaused, bool endedPaused) {
    if (framesPresented == 0) firstPresentUs = microseconds;
    else if (!startedPaused && !previousEndedPaused)
        frameTimesUs.push(uint32_t(std::min<uint64_t>(microseconds - lastPresentUs, UINT32_MAX)));
    lastPresentUs = microseconds;
    previousEndedPaused = endedPaused;
    ++framesPresented;
}

void FrameStatistics::follow(const FrameStatistics& source) {
    nextFrameDue = source.nextFrameDue;
    secondFrames = source.secondFrames;
    secondDeadline = source.secondDeadline;
    currentFrameRate = source.currentFrameRate;
    reportDeadline = source.reportDeadline;
    reportFrames = source.reportFrames;
    framesPresented = source.framesPresented;
    firstPresentUs = source.firstPresentUs;
    lastPresentUs = source.lastPresentUs;
    reportLines.follow(source.reportLines);
    frameTimesUs.follow(source.frameTimesUs);
    previousEndedPaused = source.previousEndedPaused;
}

FrameTimeSummary summariseFrameTimes(std::vector<uint32_t> microseconds) {
    FrameTimeSummary summary;
    summary.frames = microseconds.size();
    if (microseconds.empty()) return summary;
    std::sort(microseconds.begin(), microseconds.end());
    const size_t n = microseconds.size();
    auto percentile = [&](size_t p) {
        size_t rank = (p * n + 99) / 100;  // nearest rank: the smallest value with p % at or below it
        return microseconds[std::max<size_t>(rank, 1) - 1] / 1000.0;
    };
    summary.p50 = percentile(50);
    summary.p95 = percentile(95);
    summary.p99 = percentile(99);
    summary.max = microseconds.back() / 1000.0;
    uint64_t all = 0;
    for (uint32_t us : microseconds) all += us;
    summary.sum = all / 1000.0;
    size_t slowest = std::max<size_t>((n + 99) / 100, 1);
    double total = 0;
    for (size_t i = n - slowest; i < n; ++i) total += microseconds[i];
    summary.onePercentLowFps = total > 0 ? 1e6 * double(slowest) / total : 0.0;
    return summary;
}

}  // namespace vyr::test

// The frame limiter and the frame statistics: plain arithmetic on the frame
// timer's milliseconds, so that they can be tested without a back-end.
#pragma once

#include <cstdint>

namespace vyr::test {

class FrameStatistics {
public:
    // Limiter for `frameLimit` frames per second: returns how many milliseconds
    // to sleep before the frame at `now` may start. A late frame moves the grid
    // of multiples of the interval instead of causing catch-up frames.
    uint64_t paceFrame(uint64_t now, uint64_t frameLimit);
    // Counts the frame at `now`: every `reportInterval` seconds (0: never) the
    // report line on standard output, and every second currentFrameRate.
    void countFrame(uint64_t now, uint64_t reportInterval);

    uint64_t nextFrameDue = 0;
    uint64_t secondFrames = 0;
    uint64_t secondDeadline = 0;
    uint64_t currentFrameRate = 0;
    uint64_t reportDeadline = 0;
    uint64_t reportFrames = 0;
};

}  // namespace vyr::test

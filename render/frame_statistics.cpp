#include "render/frame_statistics.h"

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

}  // namespace vyr::test

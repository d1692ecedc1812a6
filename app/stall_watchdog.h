// A thread that ends a run whose frames stopped coming: a present or a draw
// that never returns (a hung GPU, a remote display that stopped reading)
// leaves the main thread inside the driver, where -duration cannot fire.
//
// The frame loop tells the watchdog after every frame and while paused; it
// keeps a copy of the frame statistics, so that what was measured up to the
// stall can be written without reading what the main thread might change.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

#include "render/frame_statistics.h"

namespace vyr::test {

class RenderingContext;

// The exit code of a run that the watchdog ended.
constexpr int stalledExitCode = 4;

// How long without a presented frame counts as stalled: 10 s, or with
// -duration the whole duration plus 10 s, so that a driver that takes long
// over each frame still finishes a run it was given time for.
uint64_t stallLimitMs(uint64_t durationMs);

class StallWatchdog {
public:
    // Called on the watchdog's thread with the copy of the statistics and the
    // paused seconds at the last frame; it must not return (it ends the process).
    using StallAction = std::function<void(const FrameStatistics& statistics, double pausedSeconds)>;

    StallWatchdog(uint64_t limitMs, StallAction onStall);
    // Stops the thread; waits if it is acting on a stall (which ends the process).
    ~StallWatchdog();

    // The frame loop after it drew a frame: a new present counts as progress.
    void frameDone(const RenderingContext& context, double pausedSeconds);
    // The frame loop while the run is paused: a paused run is not stalled.
    void paused();

private:
    using Clock = std::chrono::steady_clock;
    void watch();

    const std::chrono::milliseconds limit;
    const StallAction onStall;
    std::mutex mutex;
    std::condition_variable wake;
    bool stopping = false;
    bool isPaused = false;
    Clock::time_point lastProgress;
    FrameStatistics copy;
    double copyPausedSeconds = 0.0;
    std::thread thread;  // last: started once everything above exists
};

}  // namespace vyr::test

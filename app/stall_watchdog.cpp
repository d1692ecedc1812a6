#include "app/stall_watchdog.h"

#include "render/rendering_context.h"

namespace vyr::test {

namespace {
constexpr uint64_t stallMarginMs = 10000;
}

uint64_t stallLimitMs(uint64_t durationMs) { return durationMs + stallMarginMs; }

StallWatchdog::StallWatchdog(uint64_t limitMs, StallAction action)
    : limit(limitMs), onStall(std::move(action)), lastProgress(Clock::now()), thread([this] { watch(); }) {}

StallWatchdog::~StallWatchdog() {
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    wake.notify_one();
    thread.join();
}

void StallWatchdog::frameDone(const RenderingContext& context, double pausedSeconds) {
    std::lock_guard<std::mutex> lock(mutex);
    if (isPaused) {
        isPaused = false;
        lastProgress = Clock::now();
    }
    if (context.statistics.framesPresented != copy.framesPresented) lastProgress = Clock::now();
    copy.follow(context.statistics);
    copyPausedSeconds = pausedSeconds;
}

void StallWatchdog::paused() {
    std::lock_guard<std::mutex> lock(mutex);
    isPaused = true;
}

void StallWatchdog::watch() {
    std::unique_lock<std::mutex> lock(mutex);
    while (!stopping) {
        Clock::time_point deadline = lastProgress + limit;
        if (Clock::now() < deadline) {
            wake.wait_until(lock, deadline);
            continue;
        }
        if (isPaused) {
            lastProgress = Clock::now();
            continue;
        }
        // The lock stays taken: a main thread that comes back from the driver
        // now waits here instead of ending the run a second time.
        onStall(copy, copyPausedSeconds);
    }
}

}  // namespace vyr::test

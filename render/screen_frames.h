// Which presented frames reached the screen, and how late. The frame thread
// stamps each frame as it hands it to the window system (the moment before the
// swap or queue present) and as that call returns, into a ring: no lock, no
// allocation. A watcher on a thread of its own tells each change of the
// window's pixels on the screen; the change is the latest frame handed over
// before it that no change has claimed yet (for a compositor's frames, first
// the latest whose present call had returned), and its delay is the change's
// time less that frame's hand-over stamp.
// Frames drawn while paused, and gaps across a pause, are left out.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "render/frame_statistics.h"

namespace vyr::test {

struct ScreenSummary {
    bool measured = false;
    std::string measuredBy;  // how, or "not measured: " and why
    uint64_t presented = 0;  // frames handed over while watched, pauses left out
    uint64_t reached = 0;    // of those, frames that changed the screen
    FrameTimeSummary delay;  // handover to screen, milliseconds
    std::vector<uint32_t> delaysUs;  // each delay kept, oldest first, for the page's chart
    double longestGapMs = 0;
};

class ScreenFrames {
public:
    // Frame thread, just before the frame goes to the window system.
    void handOver(uint64_t us, bool paused);
    // Frame thread, as the present call that followed handOver returns.
    void presentReturned(uint64_t us);
    // Watcher thread: changes are watched from now on, told by `how`;
    // `compositorFrames`: they are a compositor's frames of what the X server had.
    void watchStarted(const std::string& how, bool compositorFrames = false);
    // Why the screen is not watched; the figures stay null.
    void notMeasured(const std::string& why);
    // Watcher thread: the window's pixels changed on the screen at `us`; where
    // the window system tells which frame it was, that frame's commit was at
    // `committedUs` (else 0).
    void screenChanged(uint64_t us, uint64_t committedUs = 0);
    // Any thread: what is known now.
    ScreenSummary summary() const;

private:
    static constexpr size_t capacity = 4096;
    static constexpr uint64_t pausedBit = 1ull << 63;
    struct Slot {
        std::atomic<uint64_t> us{0};      // pausedBit set: drawn while paused
        std::atomic<uint64_t> pauses{0};  // paused frames handed over up to this one
        std::atomic<uint64_t> returnedUs{0};  // 0 while the present call runs
    };
    // The stamp and pause count of frame `index`; false once the ring wrote over it.
    bool frame(uint64_t index, uint64_t& us, uint64_t& pauses) const;
    // The time since the last change (or the first frame watched) when no pause lies between; else 0.
    uint64_t gapUntil(uint64_t us, uint64_t pauses) const;

    Slot slots[capacity];
    std::atomic<uint64_t> handed{0};
    std::atomic<uint64_t> pausedHanded{0};

    // The watcher's side, never touched by the frame thread.
    mutable std::mutex mutex;
    std::string measuredBy = "not measured: the screen was not watched";
    bool watching = false;
    bool afterReturn = false;  // compositor frames: see screenChanged
    uint64_t firstIndex = 0, firstPauses = 0;  // the first frame handed over while watched
    uint64_t claimed = 0;                      // frames up to here are claimed or passed over
    bool changeSeen = false;
    uint64_t lastChangeUs = 0, lastChangePauses = 0;
    uint64_t reached = 0;
    uint64_t longestGapUs = 0;
    Ring<uint32_t> delaysUs{1u << 16};  // the latest 65536 frames
};

}  // namespace vyr::test

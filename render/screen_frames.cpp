#include "render/screen_frames.h"

#include <algorithm>

namespace vyr::test {

namespace {
constexpr uint64_t returnSlackUs = 10000;
}

// Release stores: a watcher that reads a slot the frame thread has begun to
// write over also sees the count that tells it so.
void ScreenFrames::handOver(uint64_t us, bool paused) {
    const uint64_t index = handed.load(std::memory_order_relaxed);
    uint64_t pauses = pausedHanded.load(std::memory_order_relaxed);
    if (paused) pausedHanded.store(++pauses, std::memory_order_relaxed);
    Slot& slot = slots[index % capacity];
    slot.us.store(us | (paused ? pausedBit : 0), std::memory_order_release);
    slot.pauses.store(pauses, std::memory_order_release);
    slot.returnedUs.store(0, std::memory_order_release);
    handed.store(index + 1, std::memory_order_release);
}

void ScreenFrames::presentReturned(uint64_t us) {
    const uint64_t index = handed.load(std::memory_order_relaxed);
    if (index > 0) slots[(index - 1) % capacity].returnedUs.store(std::max<uint64_t>(us, 1), std::memory_order_release);
}

bool ScreenFrames::frame(uint64_t index, uint64_t& us, uint64_t& pauses) const {
    const Slot& slot = slots[index % capacity];
    us = slot.us.load(std::memory_order_acquire);
    pauses = slot.pauses.load(std::memory_order_acquire);
    const uint64_t written = handed.load(std::memory_order_acquire);
    return index < written && written - index < capacity;
}

void ScreenFrames::watchStarted(const std::string& how, bool compositorFrames) {
    std::lock_guard<std::mutex> lock(mutex);
    measuredBy = how;
    afterReturn = compositorFrames;
    watching = true;
    firstIndex = claimed = handed.load(std::memory_order_acquire);
    uint64_t us = 0;
    firstPauses = 0;
    if (firstIndex > 0) frame(firstIndex - 1, us, firstPauses);
}

void ScreenFrames::notMeasured(const std::string& why) {
    std::lock_guard<std::mutex> lock(mutex);
    measuredBy = why;
    watching = false;
}

// The longest time without a new frame on the screen counts only while frames
// were handed over without a pause in between.
uint64_t ScreenFrames::gapUntil(uint64_t us, uint64_t pauses) const {
    uint64_t fromUs = lastChangeUs, fromPauses = lastChangePauses;
    if (!changeSeen && (!frame(firstIndex, fromUs, fromPauses) || (fromUs & pausedBit))) return 0;
    return pauses == fromPauses && us > fromUs ? us - fromUs : 0;
}

void ScreenFrames::screenChanged(uint64_t us, uint64_t committedUs) {
    std::lock_guard<std::mutex> lock(mutex);
    if (!watching) return;
    const uint64_t newest = handed.load(std::memory_order_acquire);
    uint64_t index = newest, stamp = 0, pauses = 0;
    bool found = false;
    // Told which frame it was: the latest handed over before its commit.
    const uint64_t handedBy = committedUs ? committedUs : us;
    // A compositor's frame holds what the X server had when it painted: first
    // the latest frame whose present call had returned by then (a software
    // rasteriser draws inside the call, so the one before may still be on its
    // way), less a little for a frame thread kept from stamping the return.
    while (afterReturn && !committedUs && index > claimed && !found) {
        --index;
        if (!frame(index, stamp, pauses)) return;
        const uint64_t returned = slots[index % capacity].returnedUs.load(std::memory_order_acquire);
        found = (stamp & ~pausedBit) <= us && returned != 0 && returned <= us + returnSlackUs;
    }
    if (!found) index = newest;
    while (index > claimed && !found) {
        --index;
        if (!frame(index, stamp, pauses)) return;
        found = (stamp & ~pausedBit) <= handedBy;
    }
    // Nothing new was handed over before it: more of a frame already counted,
    // or another window's drawing.
    if (!found) return;
    claimed = index + 1;
    if (stamp & pausedBit) {
        // A frame drawn while paused: no figure, and no gap reaches across it.
        changeSeen = true;
        lastChangeUs = us;
        lastChangePauses = ~0ull;
        return;
    }
    longestGapUs = std::max(longestGapUs, gapUntil(us, pauses));
    ++reached;
    delaysUs.push(uint32_t(std::min<uint64_t>(us - stamp, UINT32_MAX)));
    changeSeen = true;
    lastChangeUs = us;
    lastChangePauses = pauses;
}

ScreenSummary ScreenFrames::summary() const {
    std::lock_guard<std::mutex> lock(mutex);
    ScreenSummary result;
    result.measuredBy = measuredBy;
    result.measured = watching;
    if (!watching) return result;
    const uint64_t last = handed.load(std::memory_order_acquire);
    uint64_t lastUs = 0, lastPauses = firstPauses, gap = longestGapUs;
    if (last > firstIndex && frame(last - 1, lastUs, lastPauses)) {
        result.presented = last - firstIndex - (lastPauses - firstPauses);
        // Frames still handed over after the last change: a gap up to the last of them.
        if (!(lastUs & pausedBit)) gap = std::max(gap, gapUntil(lastUs, lastPauses));
    }
    result.reached = reached;
    result.delaysUs = delaysUs.values();
    result.delay = summariseFrameTimes(result.delaysUs);
    result.longestGapMs = gap / 1000.0;
    return result;
}

}  // namespace vyr::test

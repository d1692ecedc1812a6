// High-resolution frame timer on the platform's performance counter.
#pragma once

#include <cstdint>

namespace vyr::test {

// Whole milliseconds in `ticks` of a counter running at `frequency` per second,
// truncated. Split so that no product overflows: a nanosecond counter times
// 1000 would after 213 days.
uint64_t counterMs(uint64_t ticks, uint64_t frequency);
uint64_t counterUs(uint64_t ticks, uint64_t frequency);

class Timer {
public:
    Timer();
    void start();
    // Whole milliseconds since start(), truncated.
    uint64_t elapsedMs() const;
    uint64_t elapsedUs() const;

    bool running = false;
    uint64_t frequency = 0;
    uint64_t startCount = 0;
    uint64_t stopCount = 0;
};

}  // namespace vyr::test

// High-resolution frame timer on the platform's performance counter.
#pragma once

#include <cstdint>

namespace vyr::test {

class Timer {
public:
    Timer();
    void start();
    // Whole milliseconds since start(), truncated; multiplication before division.
    uint64_t elapsedMs() const;

    bool running = false;
    uint64_t frequency = 0;
    uint64_t startCount = 0;
    uint64_t stopCount = 0;
};

}  // namespace vyr::test

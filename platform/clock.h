// Counters, sleeping and process ids: platform/clock_posix.cpp, platform/clock_win32.cpp.
#pragma once

#include <cstdint>

namespace vyr::platform {

// High-resolution counter and its ticks per second; 0 frequency when unavailable.
uint64_t performanceCounter();
uint64_t performanceFrequency();
// Millisecond system timer (wraps at 32 bits), the fallback of the scene clock.
uint32_t millisecondTimer();
void sleepMs(uint64_t milliseconds);
int currentProcessId();
int currentThreadId();

}  // namespace vyr::platform

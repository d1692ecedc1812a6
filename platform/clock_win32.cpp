// Pairs with platform/clock.h on Windows: QueryPerformanceCounter, Sleep.
#include "platform/clock.h"

#include <windows.h>

namespace vyr::platform {

uint64_t performanceCounter() {
    LARGE_INTEGER value;
    if (!QueryPerformanceCounter(&value)) return 0;
    return uint64_t(value.QuadPart);
}

uint64_t performanceFrequency() {
    LARGE_INTEGER value;
    if (!QueryPerformanceFrequency(&value)) return 0;
    return uint64_t(value.QuadPart);
}

uint32_t millisecondTimer() { return uint32_t(GetTickCount()); }

void sleepMs(uint64_t milliseconds) { Sleep(DWORD(milliseconds)); }

int currentProcessId() { return int(GetCurrentProcessId()); }

int currentThreadId() { return int(GetCurrentThreadId()); }

}  // namespace vyr::platform

// Pairs with platform/clock.h on Linux: CLOCK_MONOTONIC in nanoseconds.
#include "platform/clock.h"

#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

namespace vyr::platform {

uint64_t performanceCounter() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return uint64_t(ts.tv_sec) * 1000000000ull + uint64_t(ts.tv_nsec);
}

uint64_t performanceFrequency() { return 1000000000ull; }

uint32_t millisecondTimer() { return uint32_t(performanceCounter() / 1000000ull); }

void sleepMs(uint64_t milliseconds) {
    timespec ts{time_t(milliseconds / 1000), long(milliseconds % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0) {
    }
}

int currentProcessId() { return int(getpid()); }

int currentThreadId() { return int(syscall(SYS_gettid)); }

}  // namespace vyr::platform

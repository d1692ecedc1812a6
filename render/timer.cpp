#include "render/timer.h"

#include "platform/clock.h"

namespace vyr::test {

Timer::Timer() : frequency(platform::performanceFrequency()) {}

void Timer::start() {
    running = true;
    startCount = stopCount = platform::performanceCounter();
}

uint64_t Timer::elapsedMs() const {
    if (frequency == 0) return 0;
    uint64_t count = running ? platform::performanceCounter() : stopCount;
    return (count - startCount) * 1000ull / frequency;
}

}  // namespace vyr::test

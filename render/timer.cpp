#include "render/timer.h"

#include "platform/clock.h"

namespace vyr::test {

uint64_t counterMs(uint64_t ticks, uint64_t frequency) {
    if (frequency == 0) return 0;
    return ticks / frequency * 1000ull + ticks % frequency * 1000ull / frequency;
}

Timer::Timer() : frequency(platform::performanceFrequency()) {}

void Timer::start() {
    running = true;
    startCount = stopCount = platform::performanceCounter();
}

uint64_t Timer::elapsedMs() const {
    uint64_t count = running ? platform::performanceCounter() : stopCount;
    return counterMs(count - startCount, frequency);
}

}  // namespace vyr::test

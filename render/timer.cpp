#include "render/timer.h"

#include "platform/clock.h"

namespace vyr::test {

namespace {

uint64_t counterUnits(uint64_t ticks, uint64_t frequency, uint64_t perSecond) {
    if (frequency == 0) return 0;
    return ticks / frequency * perSecond + ticks % frequency * perSecond / frequency;
}

}  // namespace

uint64_t counterMs(uint64_t ticks, uint64_t frequency) { return counterUnits(ticks, frequency, 1000); }
uint64_t counterUs(uint64_t ticks, uint64_t frequency) { return counterUnits(ticks, frequency, 1000000); }

Timer::Timer() : frequency(platform::performanceFrequency()) {}

void Timer::start() {
    running = true;
    startCount = stopCount = platform::performanceCounter();
}

uint64_t Timer::elapsedMs() const {
    uint64_t count = running ? platform::performanceCounter() : stopCount;
    return counterMs(count - startCount, frequency);
}

uint64_t Timer::elapsedUs() const {
    uint64_t count = running ? platform::performanceCounter() : stopCount;
    return counterUs(count - startCount, frequency);
}

}  // namespace vyr::test

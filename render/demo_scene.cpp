#include "render/demo_scene.h"

#include <cmath>

#include "platform/clock.h"
#include "render/rendering_context.h"

namespace vyr::test {

double sceneStart = 0.0;
double pauseTime = 0.0;

double counterSeconds(uint64_t now, uint64_t base, uint64_t frequency) {
    return double(now - base) / double(frequency);
}

double sceneClock() {
    // The counter or, failing that, the millisecond timer; the choice is made once.
    static bool initialised = false;
    static uint64_t frequency = 0;
    static uint64_t base = 0;
    if (!initialised) {
        initialised = true;
        frequency = platform::performanceFrequency();
        base = frequency != 0 ? platform::performanceCounter() : platform::millisecondTimer();
        return 0.0;
    }
    if (frequency != 0) return counterSeconds(platform::performanceCounter(), base, frequency);
    // The millisecond timer wraps at 32 bits: the difference is taken there.
    return double(uint32_t(platform::millisecondTimer() - uint32_t(base))) * 0.001;
}

uint32_t noise31(uint32_t n) {
    uint32_t m = (n << 13) ^ n;
    uint32_t r = m * (m * m * 15731u + 789221u) - 771171059u;
    return r & 0x7FFFFFFFu;
}

float noiseUnit(uint32_t n) { return float(double(noise31(n)) * (1.0 / 2147483648.0)); }

bool starPosition(int k, float t, float depthOffset, StarPosition& out) {
    float x = noiseUnit(4096u + uint32_t(k)) * 6.0f - 3.0f;
    float y = noiseUnit(8096u + uint32_t(k)) * 6.0f - 3.0f;
    if (x > -0.2f && x < 0.2f && y > -0.2f && y < 0.2f) return false;
    float z0 = noiseUnit(12096u + uint32_t(k)) * 36.0f + 3.0f * t;
    // The product is formed as an integer before it is subtracted.
    int cycles = int(z0 / 36.0f);
    out.x = x;
    out.y = y;
    out.z = z0 - float(36 * cycles) - depthOffset;
    return true;
}

float animationTime(const RenderingContext& context) {
    if (context.pauseState == Paused) return float(pauseTime - sceneStart);
    return float(sceneClock() - sceneStart);
}

void logoAlphas(float a, float& front, float& back) {
    float phi = a - float(360 * int(a / 360.0f));
    if ((phi >= 0.0f && phi < 88.0f) || (phi > 274.0f && phi <= 360.0f)) {
        front = 1.0f;
        back = 0.0f;
    } else if (phi >= 88.0f && phi <= 92.0f) {
        // Divides by 10, not by the window's width of 4: the back alpha only
        // reaches 0.4 at 92 degrees and jumps to 1 just after.
        back = (phi - 88.0f) / 10.0f;
        front = 1.0f - back;
    } else if (phi >= 266.0f && phi <= 274.0f) {
        front = (phi - 266.0f) * 0.125f;
        back = 1.0f - front;
    } else if (phi > 92.0f && phi < 266.0f) {
        front = 0.0f;
        back = 1.0f;
    } else {
        // Negative angles (time before sceneStart) fall outside the table.
        front = 1.0f;
        back = 0.0f;
    }
}

void completePauseTransition(RenderingContext& context) {
    if (context.pauseState == PauseRequested) {
        context.pauseState = Paused;
        pauseTime = sceneClock();
    }
}

void resumeSceneClock() { sceneStart = sceneStart + (sceneClock() - pauseTime); }

}  // namespace vyr::test

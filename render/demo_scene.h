// The demo scene's back-end-neutral logic: the scene clock, the star field,
// the logo spin and cross-fade, and the pause transition. Both back-ends draw
// from these values (render/opengl/, render/d3d9/).
#pragma once

#include <cstdint>

namespace vyr::test {

class RenderingContext;

// Seconds since the first call (which returns 0).
double sceneClock();
// Seconds from `base` to `now` of a counter at `frequency` per second. The
// difference is taken in integers first: a large raw count scaled to seconds
// loses its fraction, above all where Direct3D has set the FPU to single precision.
double counterSeconds(uint64_t now, uint64_t base, uint64_t frequency);
// The clock reading at which the animation time is 0, and the reading of the
// frame frozen by the last pause.
extern double sceneStart;
extern double pauseTime;

uint32_t noise31(uint32_t n);
// u(n) = noise31(n) * 2^-31 in double precision, rounded to float: 0 <= u < 1.
float noiseUnit(uint32_t n);

constexpr int starCandidates = 800;
// Depth offsets of the star cycle: OpenGL's eye at the origin, Direct3D's at z = -8.
constexpr float starDepthOffsetOpenGL = 32.0f;
constexpr float starDepthOffsetDirect3D = 24.0f;

struct StarPosition {
    float x, y, z;
};
// False for the candidates that would stand in the line of sight.
bool starPosition(int k, float t, float depthOffset, StarPosition& out);

// Animation time of the frame: frozen at pauseTime while Paused.
float animationTime(const RenderingContext& context);

// Front and back logo alphas for the spin angle a (degrees).
void logoAlphas(float a, float& front, float& back);
constexpr float logoSpinMono = 75.5f;    // degrees per second
constexpr float logoSpinStereo = 45.5f;

// After the pause label is drawn: PauseRequested becomes Paused and the time freezes.
void completePauseTransition(RenderingContext& context);
// Resume: the animation goes on where it stopped.
void resumeSceneClock();

// Overlay geometry in pixels (origin bottom-left).
constexpr int overlayWidth = 128;
constexpr int overlayHeight = 41;
constexpr int offIndicatorRightMargin = 10;

}  // namespace vyr::test

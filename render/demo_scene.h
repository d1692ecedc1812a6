// The demo scene, written once: the scene clock, the star field, the logo spin
// and cross-fade, the pause transition, and the frame itself pass by pass over
// the primitives of render/scene_primitives.h that each back-end implements.
#pragma once

#include <cstdint>

#include "render/scene_primitives.h"

namespace vyr::test {

class RenderingContext;
class Project3D;
class Object3D;

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

struct StarPosition {
    float x, y, z;
};
// Where candidate k flies at time t, in eye space: from z = -32 toward the eye
// and back every 12 seconds. False for the candidates in the line of sight.
bool starPosition(int k, float t, StarPosition& out);

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
// Seconds spent in pauses that ended, and in the present one while Paused.
double pausedSeconds();

// Overlay geometry in pixels (origin bottom-left).
constexpr int overlayWidth = 128;
constexpr int overlayHeight = 41;
constexpr int offIndicatorRightMargin = 10;

// Each eye of a stereo frame is this far left or right of the mono eye.
constexpr float stereoEyeOffset = 0.05f;

// The material of a sub-mesh by its name; null for names outside the table,
// which keep the settings of the mesh drawn before.
const MeshMaterial* materialFor(const char* meshName);

// One frame for one eye (0 mono, -0.05 left, +0.05 right) into the current
// render target; may complete a pause transition.
void drawDemoScene(RenderingContext& context, ScenePrimitives& draw, float eyeOffset, Project3D* project,
                   Texture** overlays);
// An object and then its children: a mesh with the material of its name.
void drawSceneObject(RenderingContext& context, ScenePrimitives& draw, Project3D* project, Object3D* object,
                     float alpha);

}  // namespace vyr::test

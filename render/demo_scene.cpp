#include "render/demo_scene.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "platform/clock.h"
#include "render/rendering_context.h"
#include "scene/object3d.h"
#include "scene/project3d.h"
#include "scene/texture.h"

namespace vyr::test {

double sceneStart = 0.0;
double pauseTime = 0.0;

namespace {
// For the results file: pauses that ended, and whether one is going on.
double endedPauses = 0.0;
bool pauseOngoing = false;
// The clock reading the latest running frame showed: a pause freezes that
// frame, not the moment its drawing ended (which a slow first frame or a
// sanitizer would move).
double lastFrameReading = 0.0;
bool frameReadingValid = false;
}  // namespace

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

bool starPosition(int k, float t, StarPosition& out) {
    float x = noiseUnit(4096u + uint32_t(k)) * 6.0f - 3.0f;
    float y = noiseUnit(8096u + uint32_t(k)) * 6.0f - 3.0f;
    if (x > -0.2f && x < 0.2f && y > -0.2f && y < 0.2f) return false;
    float z0 = noiseUnit(12096u + uint32_t(k)) * 36.0f + 3.0f * t;
    // The product is formed as an integer before it is subtracted.
    int cycles = int(z0 / 36.0f);
    out.x = x;
    out.y = y;
    out.z = z0 - float(36 * cycles) - 32.0f;
    return true;
}

float animationTime(const RenderingContext& context) {
    if (context.sceneTimeOverride >= 0.0f) return context.sceneTimeOverride;
    if (context.pauseState == Paused) return float(pauseTime - sceneStart);
    lastFrameReading = sceneClock();
    frameReadingValid = true;
    return float(lastFrameReading - sceneStart);
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
        pauseTime = frameReadingValid ? lastFrameReading : sceneClock();
        pauseOngoing = true;
    }
}

void resumeSceneClock() {
    double paused = sceneClock() - pauseTime;
    sceneStart = sceneStart + paused;
    if (pauseOngoing) endedPauses += paused;
    pauseOngoing = false;
}

double pausedSeconds() { return endedPauses + (pauseOngoing ? sceneClock() - pauseTime : 0.0); }

namespace {

// The scene's three objects and the textures its materials name.
const char* const starObject = "gfx/star.dae";
const char* const frontLogoObject = "gfx/Tarsel Logo.dae";
const char* const backLogoObject = "gfx/VYR Logo.dae";
const char* const reflectionTexture = "gfx/smap.jpg";
const char* const gradientTexture = "gfx/gradient.jpg";

// Tested in this order; the caps are the logos' parts, the cone the star's spike.
const MeshMaterial materials[] = {
    {"Cap_21_1", 0, 35, 106, false, reflectionTexture, TexturePlacement::SphereMap},
    {"Cap_2_1", 176, 205, 235, false, nullptr, TexturePlacement::Untextured},
    {"Cap_12_1", 0, 35, 106, false, reflectionTexture, TexturePlacement::SphereMap},
    {"Cap_23_1", 176, 205, 235, false, nullptr, TexturePlacement::Untextured},
    {"Cone", 255, 255, 255, true, gradientTexture, TexturePlacement::ObjectLinear},
};

Texture* overlay(Texture** overlays, int slot) { return overlays ? overlays[slot] : nullptr; }

Object3D* sceneObject(Project3D* project, const char* name) {
    return project ? project->findObject(name) : nullptr;
}

void drawStars(RenderingContext& context, ScenePrimitives& draw, float eyeOffset, Project3D* project, float t) {
    Object3D* star = sceneObject(project, starObject);
    Texture* streakImage = context.benchmark && project ? project->findTexture(gradientTexture) : nullptr;
    draw.beginStars(context.benchmark, streakImage);
    for (int k = 0; k < starCandidates; k++) {
        StarPosition p;
        if (!starPosition(k, t, p)) continue;
        // The cone points along +z in its own space: turned to face the eye and
        // stretched to twice its width and height.
        draw.placeObject(ModelTransform()
                             .translate(eyeOffset, 0.0f, 0.0f)
                             .translate(p.x, p.y, p.z)
                             .scale(2.0f, 2.0f, 1.0f)
                             .rotateY(180.0f));
        if (context.benchmark)
            draw.drawStreak();
        else if (star)
            context.drawObject(project, star, 1.0f);
    }
    draw.endStars(context.benchmark);
}

// Mono: back to back, 8 units ahead, spinning and cross-fading. Stereo: both
// opaque, circling each other so that the eyes see them at different depths.
void drawLogos(RenderingContext& context, ScenePrimitives& draw, float eyeOffset, Project3D* project, float t) {
    Object3D* front = sceneObject(project, frontLogoObject);
    Object3D* back = sceneObject(project, backLogoObject);
    const float shift = 2.0f * eyeOffset;
    if (eyeOffset == 0.0f) {
        float a = logoSpinMono * t;
        float frontAlpha = 1.0f, backAlpha = 0.0f;
        logoAlphas(a, frontAlpha, backAlpha);
        draw.beginLogos(true);
        draw.placeObject(ModelTransform().translate(shift, 0.0f, 0.0f).translate(0.0f, 0.0f, -8.0f).rotateY(a));
        if (front) context.drawObject(project, front, frontAlpha);
        // The back logo is drawn over the front one whatever their depths.
        draw.clearDepth();
        draw.turnObject(180.0f);
        if (back) context.drawObject(project, back, backAlpha);
    } else {
        float a = logoSpinStereo * t;
        draw.beginLogos(false);
        draw.placeObject(
            ModelTransform().translate(shift, 0.0f, -8.0f).rotateY(a).translate(0.0f, 0.0f, -3.0f).rotateY(-a));
        if (front) context.drawObject(project, front, 1.0f);
        draw.placeObject(
            ModelTransform().translate(shift, 0.0f, -8.0f).rotateY(a).translate(0.0f, 0.0f, 3.0f).rotateY(-a));
        if (back) context.drawObject(project, back, 1.0f);
    }
}

// The pause label or the frame rate at the left, the OFF indicator at the right.
void drawOverlays(RenderingContext& context, ScenePrimitives& draw, Texture** overlays) {
    draw.beginOverlays();
    if (context.pauseState != Running) {
        draw.drawOverlay(overlay(overlays, 1), 0.0f, false);
        completePauseTransition(context);
    } else if (context.showFrameRate) {
        char text[64];
        snprintf(text, sizeof text, "Generated FPS: %d", int32_t(uint32_t(context.currentFrameRate())));
        draw.beginText();
        draw.drawText(text, TextLayer::Shadow);
        draw.drawText(text, TextLayer::Face);
    }
    if (!context.remoteActive) {
        float right = float(context.width) - float(offIndicatorRightMargin);
        draw.drawOverlay(overlay(overlays, 2), right - float(overlayWidth), true);
    }
}

}  // namespace

const MeshMaterial* materialFor(const char* meshName) {
    for (const MeshMaterial& material : materials)
        if (strcmp(material.meshName, meshName) == 0) return &material;
    return nullptr;
}

void drawDemoScene(RenderingContext& context, ScenePrimitives& draw, float eyeOffset, Project3D* project,
                   Texture** overlays) {
    if (!draw.beginFrame(eyeOffset)) return;
    draw.drawBackground(overlay(overlays, 0));
    draw.setCamera();
    const float t = animationTime(context);
    drawStars(context, draw, eyeOffset, project, t);
    drawLogos(context, draw, eyeOffset, project, t);
    drawOverlays(context, draw, overlays);
    draw.endFrame();
}

void drawSceneObject(RenderingContext& context, ScenePrimitives& draw, Project3D* project, Object3D* object,
                     float alpha) {
    if (!object) return;
    if (Mesh3D* mesh = dynamic_cast<Mesh3D*>(object)) {
        const MeshMaterial* material = materialFor(mesh->name.c_str());
        // Looked up on the first draw and remembered; none when the project lacks it.
        if (material && material->textureName && !mesh->texture && project)
            mesh->texture = project->findTexture(material->textureName);
        draw.drawMesh(*mesh, material, material && material->textureName ? mesh->texture : nullptr, alpha);
    }
    for (Object3D* child : object->children)
        if (child) context.drawObject(project, child, alpha);
}

}  // namespace vyr::test

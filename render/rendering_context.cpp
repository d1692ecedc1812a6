#include "render/rendering_context.h"

#include <cstdio>

#include "platform/clock.h"
#include "render/demo_scene.h"
#include "scene/project3d.h"
#include "status/desktop_capture_probe.h"

namespace vyr::test {

RenderingContext::RenderingContext() { frameTimer.start(); }

RenderingContext::~RenderingContext() = default;

bool RenderingContext::uploadProject(Project3D* project) {
    if (!project) return false;
    for (auto& entry : project->textures) uploadTexture(entry.second, nullptr);
    for (auto& entry : project->objects) uploadMesh(entry.second);
    return true;
}

void RenderingContext::paceFrame(uint64_t now) {
    uint64_t sleep = statistics.paceFrame(now, frameLimit);
    if (sleep != 0) platform::sleepMs(sleep);
}

void RenderingContext::produceFrame(Project3D* project, Texture** overlays, bool stereo) {
    uint64_t now = elapsedMs();
    if (frameLimit != 0) paceFrame(now);
    countFrame(now);
    if (stereo) {
        drawScene(-stereoEyeOffset, project, overlays);
        drawScene(stereoEyeOffset, project, overlays);
    } else {
        drawScene(0.0f, project, overlays);
    }
    present();
}

void RenderingContext::decideRemoteSession(bool markerPresent) {
    remoteActive = markerPresent || isUsingDesktopCapture();
    fputs(remoteActive ? "\nVYR ON\n" : "\nVYR OFF\n", stdout);
    fputs("\n", stdout);
    fflush(stdout);
}

}  // namespace vyr::test

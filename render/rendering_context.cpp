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
    const bool startedPaused = pauseState == Paused;
    if (stereo) {
        drawScene(-stereoEyeOffset, project, overlays);
        drawScene(stereoEyeOffset, project, overlays);
    } else {
        drawScene(0.0f, project, overlays);
    }
    present();
    // One reading of the clock for both: the frame's time is taken right as
    // its present returns, and the frame reaches the screen no sooner.
    const uint64_t presentedUs = frameTimer.elapsedUs();
    statistics.recordPresent(presentedUs, startedPaused, pauseState == Paused);
    screenFrames.presentReturned(presentedUs);
}

void RenderingContext::decideRemoteSession(bool markerPresent) {
    ProbeOutcome outcome = ProbeOutcome::Answered;
    remoteActive = markerPresent || isUsingDesktopCapture(&outcome);
    sessionDecision = markerPresent                           ? SessionDecision::Marker
                      : outcome == ProbeOutcome::Answered     ? SessionDecision::DaemonAnswer
                      : outcome == ProbeOutcome::NotRunning   ? SessionDecision::DaemonNotRunning
                                                              : SessionDecision::DaemonFailure;
    fputs(remoteActive ? "\nVYR ON\n" : "\nVYR OFF\n", stdout);
    fputs("\n", stdout);
    fflush(stdout);
}

}  // namespace vyr::test

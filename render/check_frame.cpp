#include "render/check_frame.h"

#include "render/frame_comparison.h"
#include "render/rendering_context.h"

namespace vyr::test {

namespace {

// What the check frame sets for itself and gives back afterwards.
struct FrameState {
    uint32_t width, height;
    PauseState pauseState;
    bool remoteActive, showFrameRate, benchmark;
    float sceneTime;

    static FrameState of(const RenderingContext& c) {
        return {c.width, c.height, c.pauseState, c.remoteActive, c.showFrameRate, c.benchmark, c.sceneTimeOverride};
    }
    void applyTo(RenderingContext& c) const {
        c.width = width;
        c.height = height;
        c.pauseState = pauseState;
        c.remoteActive = remoteActive;
        c.showFrameRate = showFrameRate;
        c.benchmark = benchmark;
        c.sceneTimeOverride = sceneTime;
    }
};

}  // namespace

bool drawCheckFrame(RenderingContext& context, Project3D* project, Texture** overlays, FrameImage& frame) {
    if (context.width < checkFrameWidth || context.height < checkFrameHeight) return false;
    const FrameState saved = FrameState::of(context);
    // Paused shows the pause label without starting a pause transition; the
    // OFF indicator shows whatever the session, the stars are spikes.
    const FrameState check = {checkFrameWidth, checkFrameHeight, Paused, false, false, false, checkSceneTime};
    check.applyTo(context);
    frame = FrameImage();
    context.frameCapture = &frame;
    context.drawScene(0.0f, project, overlays);
    context.present();
    context.frameCapture = nullptr;
    saved.applyTo(context);
    return isCheckFrame(frame);
}

}  // namespace vyr::test

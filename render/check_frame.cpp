#include "render/check_frame.h"

#include "render/frame_comparison.h"
#include "render/rendering_context.h"

namespace vyr::test {

bool drawCheckFrame(RenderingContext& context, Project3D* project, Texture** overlays, FrameImage& frame) {
    if (context.width < checkFrameWidth || context.height < checkFrameHeight) return false;
    const uint32_t width = context.width, height = context.height;
    const PauseState pauseState = context.pauseState;
    const bool remoteActive = context.remoteActive, showFrameRate = context.showFrameRate;
    const bool benchmark = context.benchmark;

    // Paused shows the pause label without starting a pause transition.
    context.width = checkFrameWidth;
    context.height = checkFrameHeight;
    context.pauseState = Paused;
    context.remoteActive = false;
    context.showFrameRate = false;
    context.benchmark = false;
    context.sceneTimeOverride = checkSceneTime;
    frame = FrameImage();
    context.frameCapture = &frame;
    context.drawScene(0.0f, project, overlays);
    context.present();
    context.frameCapture = nullptr;
    context.sceneTimeOverride = -1.0f;
    context.width = width;
    context.height = height;
    context.pauseState = pauseState;
    context.remoteActive = remoteActive;
    context.showFrameRate = showFrameRate;
    context.benchmark = benchmark;
    return frame.width == checkFrameWidth && frame.height == checkFrameHeight &&
           frame.rgba.size() == size_t(frame.width) * frame.height * 4;
}

}  // namespace vyr::test

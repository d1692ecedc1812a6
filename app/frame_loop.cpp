// The frame loop: every waiting event first, then one frame unless paused.
#include "app/application.h"
#include "app/picture_check.h"
#include "app/startup_options.h"
#include "render/rendering_context.h"
#include "scene/asset_loading.h"

namespace vyr::test {

void deviceCheck() {
    ApplicationState& app = applicationState();
    if (app.context->isDeviceLost() && app.context->resetDevice()) reuploadAssets(*app.content, app.context);
}

void drawFrame() {
    ApplicationState& app = applicationState();
    app.context->renderFrame(app.content->project, app.content->overlays);
}

namespace {

// -duration counts from the first presented frame, paused time included.
bool durationReached(const RenderingContext& context) {
    uint64_t durationMs = startupOptions().durationMs;
    const FrameStatistics& statistics = context.statistics;
    return durationMs != 0 && statistics.framesPresented != 0 &&
           context.frameTimer.elapsedUs() - statistics.firstPresentUs >= durationMs * 1000;
}

}  // namespace

int runFrameLoop() {
    ApplicationState& app = applicationState();
    for (;;) {
        if (durationReached(*app.context)) {
            endRun(EndReason::Duration);
            return 0;
        }
        // Before the events: a paused window may be asked to repaint without end.
        if (pictureCheckDue(startupOptions())) runPictureCheck(startupOptions());
        int quitCode = 0;
        switch (platform::peekAndDispatch(quitCode)) {
        case platform::MessageResult::Quit:
            return quitCode;
        case platform::MessageResult::Dispatched:
            continue;  // every pending event is handled before the next frame
        case platform::MessageResult::None:
            break;
        }
        // Paused: nothing is drawn, the loop keeps polling without blocking.
        if (app.context->pauseState == Paused) continue;
        deviceCheck();
        drawFrame();
    }
}

}  // namespace vyr::test

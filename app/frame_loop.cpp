// The frame loop: every waiting event first, then one frame unless paused.
#include "app/application.h"
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

int runFrameLoop() {
    ApplicationState& app = applicationState();
    for (;;) {
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

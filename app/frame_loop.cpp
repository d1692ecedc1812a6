// The frame loop: every waiting event first, then one frame unless paused.
// A stop request from outside ends it as Escape does; a watchdog ends the
// process when frames stop coming.
#include <cstdio>

#include "app/application.h"
#include "app/picture_check.h"
#include "app/stall_watchdog.h"
#include "app/startup_options.h"
#include "platform/signals.h"
#include "render/demo_scene.h"
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

// On the watchdog's thread, while the main thread is stuck inside the driver:
// the results file from the statistics of the last frame, then the end.
[[noreturn]] void endStalledRun(const FrameStatistics& statistics, double pausedSeconds, uint64_t limitMs) {
    const StartupOptions& options = startupOptions();
    char message[96];
    snprintf(message, sizeof message, "no frame presented for %.1f s", double(limitMs) / 1000.0);
    fprintf(stderr, "vyrtest: %s: the run is stalled inside the graphics driver; ending with exit code %d\n", message,
            stalledExitCode);
    RunEnd end{EndReason::Stalled, stalledExitCode, message};
    writeResultsFiles(options, applicationState().context, end, pausedSeconds, &statistics);
    platform::endProcessNow(stalledExitCode);
}

}  // namespace

int runFrameLoop() {
    ApplicationState& app = applicationState();
    const uint64_t limitMs = stallLimitMs(startupOptions().durationMs);
    StallWatchdog watchdog(limitMs, [limitMs](const FrameStatistics& statistics, double paused) {
        endStalledRun(statistics, paused, limitMs);
    });
    for (;;) {
        platform::StopRequest request;
        if (platform::stopRequested(request)) {
            if (app.end.reason == EndReason::Running) app.end.signal = request.name;
            endRun(EndReason::Signal);
            return request.exitCode;
        }
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
        if (app.context->pauseState == Paused) {
            watchdog.paused();
            continue;
        }
        deviceCheck();
        drawFrame();
        watchdog.frameDone(*app.context, pausedSeconds());
    }
}

}  // namespace vyr::test

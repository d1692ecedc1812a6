#include "app/picture_check.h"

#include <cstdio>
#include <cstdlib>

#include "app/application.h"
#include "app/startup_options.h"
#include "platform/clock.h"
#include "platform/png_file.h"
#include "platform/process.h"
#include "platform/window_capture.h"
#include "render/check_frame.h"
#include "render/rendering_context.h"
#include "scene/asset_loading.h"
#include "scene/reference_picture.h"

namespace vyr::test {

// Background, stars, logos, pause label, OFF indicator, whole frame. The
// overlays' limit is tighter: a missing OFF indicator moves its cells less
// (0.20) than the other back-ends' own ways of drawing move the stars (0.15).
const RegionLimits rendererLimits = {{0.25, 0.25, 0.25, 0.12, 0.12, 0.25}};
// The window shows what the renderer presented: only rounding may differ.
const RegionLimits screenLimits = {{0.05, 0.05, 0.05, 0.05, 0.05, 0.05}};

namespace {

// A window system may show the frame a little after the present returned (a
// remote display, a compositor), and a window raised or restored takes a
// moment to show: each is waited for at most this long.
constexpr uint32_t screenWaitMs = 3000;

void fail(CheckOutcome& check, const char* why) {
    check.ran = false;
    check.failure = why;
}

// Where the renderer's pixels sit in the client area.
bool placeInWindow(NativeWindow* window, FrameImage& frame) {
    if (!frame.fromBottom) return true;
    uint32_t width = 0, height = 0;
    if (!platform::clientAreaSize(window, width, height) || height < frame.height) return false;
    frame.top = int32_t(height - frame.height) - frame.top;
    frame.fromBottom = false;
    return true;
}

bool timeIsUp(uint32_t deadline) { return int32_t(platform::millisecondTimer() - deadline) >= 0; }

bool inView(NativeWindow* window, const FrameImage& frame, std::string& why) {
    return platform::clientAreaInView(window, frame.left, frame.top, frame.width, frame.height, why);
}

// The screen is only compared where it can show the window: one that cannot
// be seen is raised or restored once; if it still cannot be seen, the check is
// inconclusive with the reason, never failed, as it is at once where the
// screen can never be read. While the screen differs, the
// same frame is presented again: a window manager that maps, moves or
// decorates the window may have wiped what it showed (nothing keeps a copy),
// and a frame that does not reach the screen still does not.
void compareScreen(ApplicationState& app, const FrameImage& rendered, FrameImage& shown, CheckOutcome& check) {
    std::string why;
    platform::expectClientPicture(app.window, rendered);
    if (!platform::screenReadable(app.window, why)) {
        check.unseen = why;
        return;
    }
    if (!inView(app.window, rendered, why)) {
        platform::bringIntoView(app.window);
        const uint32_t deadline = platform::millisecondTimer() + screenWaitMs;
        while (!inView(app.window, rendered, why)) {
            if (timeIsUp(deadline)) {
                check.unseen = why;
                return;
            }
            platform::sleepMs(20);
        }
    }
    const uint32_t deadline = platform::millisecondTimer() + screenWaitMs;
    std::string unread;
    for (;;) {
        if (platform::captureClientArea(app.window, rendered.left, rendered.top, rendered.width, rendered.height,
                                        shown, unread)) {
            check.ran = true;
            check.failure.clear();
            check.readFrom = platform::screenSourceName(app.window);
            check.comparison = compareFrames(shown, rendered, screenLimits, checkCell);
            if (check.comparison.passed) return;
        }
        // Something came over the window while it was read: that is not the
        // picture's fault.
        if (!inView(app.window, rendered, why) && timeIsUp(deadline)) {
            check.unseen = why;
            return;
        }
        if (timeIsUp(deadline)) {
            // A screen that could never be read was not looked at, nor was
            // one that shows the window resampled: only one that was read
            // pixel for pixel and differs fails.
            if (!check.ran) check.unseen = unread;
            else if (platform::screenResamples(app.window, why)) check.unseen = why;
            return;
        }
        platform::sleepMs(20);
        FrameImage again;
        drawCheckFrame(*app.context, app.content->project, app.content->overlays, again);
    }
}

// A minimised window is restored before the check frame is drawn: it has no
// pixels on the screen, and on some systems none to draw into. One that stays
// minimised leaves both checks inconclusive rather than failed.
bool restoreForCheck(ApplicationState& app, PictureCheck& check) {
    if (!platform::windowMinimised(app.window)) return true;
    platform::bringIntoView(app.window);
    const uint32_t deadline = platform::millisecondTimer() + screenWaitMs;
    while (platform::windowMinimised(app.window)) {
        if (timeIsUp(deadline)) {
            check.renderer.unseen = check.screen.unseen = "minimised";
            return false;
        }
        platform::sleepMs(20);
    }
    // Windows tells the window procedure the restored size inside the restore
    // itself; an X window keeps its size while it is an icon.
    return true;
}

// On GNOME the program learns the X windows above its own, not the Wayland
// ones: a difference may be one of those.
const char* unseenCover() {
    ApplicationState& app = applicationState();
    return app.context && app.context->desktop.compositor == "GNOME (Mutter)"
               ? ". On GNOME, a Wayland window over the program's window would look the same"
               : "";
}

void tellOutcome(const CheckOutcome& check, const char* what, const char* against, const char* andWhy = "") {
    if (check.inconclusive())
        fprintf(stderr, "vyrtest: picture check inconclusive: the %s frame could not be looked at: %s\n", what,
                check.unseen.c_str());
    else if (!check.ran)
        fprintf(stderr, "vyrtest: picture check failed: %s\n", check.failure.c_str());
    else if (!check.comparison.passed)
        fprintf(stderr,
                "vyrtest: picture check failed: the %s frame differs from %s in the %s (difference %.4f, limit %.4f)%s\n",
                what, against, check.comparison.worstRegion, check.comparison.difference, check.comparison.limit, andWhy);
}

}  // namespace

PictureCheck& pictureCheck() {
    static PictureCheck check;
    return check;
}

bool pictureCheckDue(const StartupOptions& options) {
    ApplicationState& app = applicationState();
    if (!options.checkPicture || pictureCheck().done || !app.context || app.context->statistics.framesPresented == 0)
        return false;
    // A compositor may give the window its size only after its first frame
    // (sway's tiles): the check waits for a frame drawn at the size the window
    // has, for a few frames at most.
    constexpr uint64_t settleFrames = 30;
    uint32_t width = 0, height = 0;
    return app.context->statistics.framesPresented >= settleFrames ||
           !platform::clientAreaSize(app.window, width, height) ||
           (width == app.context->width && height == app.context->height);
}

void runPictureCheck(const StartupOptions& options) {
    ApplicationState& app = applicationState();
    PictureCheck& check = pictureCheck();
    check.done = true;

    FrameImage rendered, shown, reference;
    if (!restoreForCheck(app, check)) {
        tellOutcome(check.renderer, "renderer's", "the reference");
        tellOutcome(check.screen, "screen's", "the renderer's", unseenCover());
        fflush(stderr);
        return;
    }
    if (!drawCheckFrame(*app.context, app.content->project, app.content->overlays, rendered)) {
        fail(check.renderer, app.context->width < checkFrameWidth || app.context->height < checkFrameHeight
                                 ? "the window is smaller than 640 x 400"
                                 : "the renderer's frame could not be read back");
        fail(check.screen, "there is no renderer's frame to compare the window with");
    } else {
        if (!platform::decodePng(referencePictureData(), referencePictureSize(), reference)) {
            fail(check.renderer, "the reference picture cannot be read");
        } else {
            check.renderer.ran = true;
            check.renderer.comparison = compareFrames(rendered, reference, rendererLimits, checkCell);
        }
        if (placeInWindow(app.window, rendered))
            compareScreen(app, rendered, shown, check.screen);
        else
            fail(check.screen, "the window's size could not be had");
    }

    tellOutcome(check.renderer, "renderer's", "the reference");
    tellOutcome(check.screen, "screen's", "the renderer's", unseenCover());
    // A run of -all's writes them whatever the outcome: its parent's page shows
    // them, and removes the files of a check that did not fail.
    const bool handOver = getenv(platform::unattendedVariable) != nullptr;
    if (check.failed() || handOver) {
        const std::string base = checkImageBase(options.reportPath);
        const std::pair<const char*, const FrameImage*> frames[] = {{checkFrameEndings[0], &rendered},
                                                                    {checkFrameEndings[1], &shown}};
        for (const auto& frame : frames) {
            if (frame.second->rgba.empty()) continue;
            std::string path = base + frame.first;
            if (platform::writePngFile(path.c_str(), *frame.second) && check.failed()) check.images.push_back(path);
        }
        if (!check.images.empty()) {
            std::string names;
            for (const std::string& image : check.images) names += (names.empty() ? "" : " and ") + image;
            fprintf(stderr, "vyrtest: the frames the check looked at are in %s\n", names.c_str());
        }
    }
    check.rendered = std::move(rendered);
    check.shown = std::move(shown);
    fflush(stderr);
    // A paused run shows its frozen frame again, in place of the check frame.
    if (app.context->pauseState == Paused) drawFrame();
}

std::string checkImageBase(const char* reportPath) {
    if (!reportPath) return "vyrtest-check";
    std::string base = reportPath;
    // The extension of the file's name, not a dot of a folder or a leading one.
    size_t separator = base.find_last_of("/\\");
    size_t name = separator == std::string::npos ? 0 : separator + 1;
    size_t dot = base.rfind('.');
    if (dot != std::string::npos && dot > name) base.erase(dot);
    return base;
}

bool writeScreenshot(const char* path) {
    ApplicationState& app = applicationState();
    uint32_t width = 0, height = 0;
    FrameImage shown;
    std::string why = "the window's size could not be had";
    if (!app.window || !platform::clientAreaSize(app.window, width, height) ||
        !platform::captureClientArea(app.window, 0, 0, width, height, shown, why)) {
        fprintf(stderr, "vyrtest: no screenshot: the window's pixels could not be read: %s\n", why.c_str());
        return false;
    }
    return platform::writePngFile(path, shown);
}

}  // namespace vyr::test

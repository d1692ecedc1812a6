// Pairs with platform/compositor_capture.h: picks the way the compositor
// offers (wlr-screencopy, else GNOME's ScreenCast), and asks sway which
// windows it shows.
#include "platform/compositor_capture.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/compositor_reader_wayland.h"
#include "platform/frame_search.h"
#include "platform/sway_tree_wayland.h"
#include "platform/wayland_outputs_wayland.h"

namespace vyr::platform {

const char* const noScreenCopy =
    "the Wayland compositor lets no program read the screen (no wlr-screencopy, no Mutter ScreenCast)";
const char* const areaOnNoOutput = "the window is not wholly on one of the compositor's outputs";

namespace {

void registryGlobal(void* data, wl_registry*, uint32_t, const char* interface, uint32_t) {
    static_cast<std::vector<std::string>*>(data)->push_back(interface);
}
void registryGlobalRemove(void*, wl_registry*, uint32_t) {}
const wl_registry_listener registryListener = {registryGlobal, registryGlobalRemove};

}  // namespace

CompositorCapture* openCompositorCapture(std::string& why) {
    why.clear();
    CompositorCapture* capture = openScreenCopy(why);
    if (capture || !why.empty()) return capture;
    capture = openMutterScreenCast(why);
    if (!capture && why.empty()) why = noScreenCopy;
    return capture;
}

void closeCompositorCapture(CompositorCapture* capture) { delete capture; }

const char* compositorCaptureWay(const CompositorCapture* capture) { return capture->way(); }
const char* compositorChangesWay(const CompositorCapture* capture) { return capture->changesWay(); }

std::string compositorName() {
    if (getenv("SWAYSOCK")) return "sway";
    std::string why;
    wl_display* display = connectToCompositor(why);
    if (!display) return {};
    std::vector<std::string> globals;
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &registryListener, &globals);
    wl_display_roundtrip(display);
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
    return compositorFromGlobals(globals);
}

bool captureLayoutArea(CompositorCapture* capture, const LayoutArea& area, vyr::test::FrameImage& image, bool& scaled,
                       std::string& why) {
    return capture->capture(area, image, scaled, why);
}

bool areaResampled(CompositorCapture* capture, const LayoutArea& area, std::string& why) {
    return capture->resampled(area, why);
}

ScreenChange waitForChange(CompositorCapture* capture, const LayoutArea& area, int wakeFd, int timeoutMs,
                           uint64_t& at, std::string& why) {
    return capture->waitForChange(area, wakeFd, timeoutMs, at, why);
}

bool captureClientThroughCompositor(const LayoutArea& area, int32_t left, int32_t top, vyr::test::FrameImage& image,
                                    std::string& way, std::string& why) {
    CompositorCapture* capture = openCompositorCapture(why);
    if (!capture) return false;
    bool scaled = false;
    image.left = left;
    image.top = top;
    const bool read = captureLayoutArea(capture, area, image, scaled, why);
    if (read) way = compositorCaptureWay(capture);
    closeCompositorCapture(capture);
    static bool scaleTold = false;
    if (read && scaled && !scaleTold) {
        scaleTold = true;
        fputs("vyrtest: the Wayland compositor scales the output that shows the window: its pixels were scaled "
              "back to the window's size before they were compared or saved\n",
              stderr);
    }
    return read;
}

bool findOnScreen(const vyr::test::FrameImage& frame, LayoutArea& area, std::string& why) {
    CompositorCapture* capture = openCompositorCapture(why);
    if (!capture) return false;
    int places = 0, scaledOutputs = 0;
    bool searchable = true;
    for (const OutputPlace& output : capture->outputPlaces()) {
        if (outputScaled(output)) {
            ++scaledOutputs;  // its copy is resampled: no pixel matches for sure
            continue;
        }
        vyr::test::FrameImage screen;
        bool scaled = false;
        const LayoutArea whole{output.left, output.top, uint32_t(output.width), uint32_t(output.height)};
        if (!captureLayoutArea(capture, whole, screen, scaled, why)) {
            closeCompositorCapture(capture);
            return false;
        }
        const FoundFrame found = findFrame(screen, frame);
        searchable = found.searchable;
        if (found.places > 0 && places == 0)
            area = {output.left + found.left, output.top + found.top, frame.width, frame.height};
        places += found.places;
    }
    closeCompositorCapture(capture);
    if (places == 1) return true;
    const char* notTold = "the Wayland compositor does not tell a program where its window is, and ";
    if (!searchable)
        why = std::string(notTold) + "the frame has too few edges to be found on the screen";
    else if (places > 1)
        why = std::string(notTold) + "the frame shows in more than one place on the screen";
    else if (scaledOutputs)
        why = std::string(notTold) + "no unscaled output shows the frame (a scaled one cannot be searched pixel for "
              "pixel): the window may be covered, on a scaled output, or show something else";
    else
        why = std::string(notTold) + "no output shows the frame: the window may be covered or show something else";
    return false;
}

int watchCompositorWindows() {
    const char* sway = getenv("SWAYSOCK");
    std::string unreached;
    return sway && *sway ? subscribeSwayEvents(sway, unreached) : -1;
}

bool compositorWindowsChanged(int fd) { return swayEventsCame(fd); }

bool compositorShowsWindow(uint64_t xWindow, const LayoutArea& area, std::string& why) {
    const char* sway = getenv("SWAYSOCK");
    if (!sway || !*sway) return true;  // no other compositor tells
    std::string tree, unasked;
    if (!askSwayTree(sway, tree, unasked)) return true;
    return swayShowsWindow(tree, xWindow, area, why);
}

}  // namespace vyr::platform

// Pairs with platform/compositor_capture.h: picks the way the compositor
// offers (wlr-screencopy, else GNOME's ScreenCast), and asks sway which
// windows it shows.
#include "platform/compositor_capture.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/compositor_reader_wayland.h"
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

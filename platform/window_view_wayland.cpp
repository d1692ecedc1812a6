// The screen as it shows the program's own Wayland window: read through the
// compositor as for Xwayland (platform/compositor_capture.h), once the window's
// place is known. A Wayland client is never told where its window is: sway's
// tree tells; elsewhere (GNOME) the window is found by the frame it was given
// to show, where exactly one place on the screen shows it.
#include "platform/window_systems_posix.h"

#include <algorithm>
#include <cstdlib>

#include "platform/clock.h"
#include "platform/compositor_capture.h"
#include "platform/sway_tree_wayland.h"
#include "platform/window_wayland.h"

namespace vyr::platform::wayland {

namespace {

const char* const placeNotTold =
    "the Wayland compositor does not tell a program where its window is on the screen (only sway's tree does)";

std::string lastCompositorWay = "the compositor's capture";

// The frame the window was last given to show (expectClientPicture), and
// where in the client area; empty before.
vyr::test::FrameImage expectedFrame;

const char* swaySocket() {
    const char* sway = getenv("SWAYSOCK");
    return sway && *sway ? sway : nullptr;
}

// Where the compositor shows the client area, in its layout. sway centres a
// window smaller than its tile in the tile (a window not yet resized to it).
bool placeOnScreen(NativeWindow* window, LayoutArea& area, std::string& why) {
    const char* sway = swaySocket();
    uint32_t width = 0, height = 0;
    waylandClientSize(window, width, height);
    if (!sway) {
        if (expectedFrame.rgba.empty()) {
            why = placeNotTold;
            return false;
        }
        if (!findOnScreen(expectedFrame, area, why)) return false;
        area = {area.left - expectedFrame.left, area.top - expectedFrame.top, width, height};
        return true;
    }
    std::string tree;
    if (!askSwayTree(sway, tree, why)) return false;
    if (!swayWindowArea(tree, currentProcessId(), area)) {
        why = "sway's tree does not hold the program's window";
        return false;
    }
    if (width && width < area.width) area.left += int32_t((area.width - width) / 2);
    if (height && height < area.height) area.top += int32_t((area.height - height) / 2);
    if (width) area.width = std::min(area.width, width);
    if (height) area.height = std::min(area.height, height);
    return true;
}

}  // namespace

DesktopFacts desktopFacts(NativeWindow*) { return {"Wayland", compositorName()}; }

std::string screenSourceName(NativeWindow*) { return "the compositor's output (" + lastCompositorWay + ")"; }

void expectClientPicture(NativeWindow*, const vyr::test::FrameImage& frame) { expectedFrame = frame; }

bool screenReadable(NativeWindow* window, std::string& why) {
    CompositorCapture* capture = openCompositorCapture(why);
    closeCompositorCapture(capture);
    if (!capture) return false;
    // Found by its frame: looked for while the check waits for the screen.
    if (!swaySocket() && !expectedFrame.rgba.empty()) return true;
    LayoutArea area;
    return placeOnScreen(window, area, why);
}

bool screenResamples(NativeWindow* window, std::string& why) {
    LayoutArea area;
    std::string unread;
    if (!placeOnScreen(window, area, unread)) return false;
    CompositorCapture* capture = openCompositorCapture(unread);
    const bool resampled = capture && areaResampled(capture, area, why);
    closeCompositorCapture(capture);
    return resampled;
}

bool captureClientArea(NativeWindow* window, int32_t left, int32_t top, uint32_t width, uint32_t height,
                       vyr::test::FrameImage& image, std::string& why) {
    uint32_t clientWidth = 0, clientHeight = 0;
    waylandClientSize(window, clientWidth, clientHeight);
    if (left < 0 || top < 0 || width == 0 || height == 0 || left + int64_t(width) > clientWidth ||
        top + int64_t(height) > clientHeight) {
        why = "the frame is not inside the window";
        return false;
    }
    LayoutArea area;
    if (!placeOnScreen(window, area, why)) return false;
    return captureClientThroughCompositor({area.left + left, area.top + top, width, height}, left, top, image,
                                          lastCompositorWay, why);
}

bool clientAreaInView(NativeWindow*, int32_t left, int32_t top, uint32_t width, uint32_t height, std::string& why) {
    const char* sway = swaySocket();
    LayoutArea area;
    std::string tree, unasked;
    // Where the compositor cannot tell, the picture check finds out by looking.
    if (!sway || !askSwayTree(sway, tree, unasked) || !swayWindowArea(tree, currentProcessId(), area)) return true;
    return swayShowsWindow(tree, 0, {area.left + left, area.top + top, width, height}, why, currentProcessId());
}

}  // namespace vyr::platform::wayland

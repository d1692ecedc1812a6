// Pairs with platform/desktop.h on X11, and holds the one decision of how the
// screen is read there: a plain X server shows the screen on its root window;
// Xwayland does not, and the Wayland compositor behind it is asked instead.
#include "platform/window_systems_posix.h"
#include "platform/desktop.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

#include <cstring>
#include <mutex>

#include "platform/compositor_capture.h"
#include "platform/window_state_x11.h"
#include "platform/window_x11.h"

namespace vyr::platform::x11 {

namespace {

// Xwayland before 23.1 has no XWAYLAND extension, but names its RandR outputs
// XWAYLAND0, XWAYLAND1, ...
bool xwaylandOutputs(Display* display) {
    int event = 0, error = 0;
    if (!XRRQueryExtension(display, &event, &error)) return false;
    XRRScreenResources* resources = XRRGetScreenResourcesCurrent(display, DefaultRootWindow(display));
    bool named = false;
    for (int i = 0; resources && i < resources->noutput && !named; i++) {
        XRROutputInfo* output = XRRGetOutputInfo(display, resources, resources->outputs[i]);
        named = output && output->name && strncmp(output->name, "XWAYLAND", 8) == 0;
        if (output) XRRFreeOutputInfo(output);
    }
    if (resources) XRRFreeScreenResources(resources);
    return named;
}

}  // namespace

bool serverIsXwayland(Display* display) {
    // Every connection the program opens goes to the same server.
    static std::once_flag asked;
    static bool xwayland = false;
    std::call_once(asked, [display] {
        int opcode = 0, event = 0, error = 0;
        xwayland =
            display && (XQueryExtension(display, "XWAYLAND", &opcode, &event, &error) || xwaylandOutputs(display));
    });
    return xwayland;
}

DesktopFacts desktopFacts(NativeWindow* window) {
    DesktopFacts facts;
    Display* display = x11Display(window);
    if (!display || !x11::serverIsXwayland(display)) {
        facts.windowSystem = "X11";
        return facts;
    }
    facts.windowSystem = "X11 (Xwayland)";
    facts.compositor = compositorName();
    return facts;
}

}  // namespace vyr::platform::x11

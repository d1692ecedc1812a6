// Fullscreen and back: through the window manager's _NET_WM_STATE_FULLSCREEN
// where it offers it, otherwise by moving the undecorated window over the
// monitor that holds it and back to the saved geometry.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <algorithm>

#include "platform/window_systems_posix.h"
#include "platform/monitors_x11.h"
#include "platform/window_state_x11.h"

namespace vyr::platform::x11 {

namespace {

constexpr long netWmStateRemove = 0, netWmStateAdd = 1;
constexpr long sourceApplication = 1;

bool readWindowProperty(Display* display, ::Window window, Atom property, ::Window& value) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0, remaining = 0;
    unsigned char* data = nullptr;
    bool found = false;
    if (XGetWindowProperty(display, window, property, 0, 1, False, XA_WINDOW, &type, &format, &count, &remaining,
                           &data) == Success &&
        data) {
        if (format == 32 && count == 1) {
            value = static_cast<::Window>(reinterpret_cast<const unsigned long*>(data)[0]);
            found = true;
        }
        XFree(data);
    }
    return found;
}

// A running EWMH window manager names its check window on the root window
// and on the check window itself; a stale root property of one that has
// exited names a window that is gone.
bool windowManagerRunning(Display* display, ::Window root) {
    const x11::Atoms& a = x11::atoms();
    ::Window check = 0, self = 0;
    if (!readWindowProperty(display, root, a.netSupportingWmCheck, check)) return false;
    unsigned long errorsBefore = x11::errorCount();
    bool found = readWindowProperty(display, check, a.netSupportingWmCheck, self);
    XSync(display, False);
    return found && self == check && x11::errorCount() == errorsBefore;
}

bool windowManagerSupports(Display* display, ::Window root, Atom feature) {
    std::vector<Atom> supported = x11::atomList(display, root, x11::atoms().netSupported);
    return std::find(supported.begin(), supported.end(), feature) != supported.end();
}

void sendToWindowManager(NativeWindow* w, Atom message, const long (&data)[5]) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = w->window;
    event.xclient.message_type = message;
    event.xclient.format = 32;
    for (int i = 0; i < 5; ++i) event.xclient.data.l[i] = data[i];
    XSendEvent(w->display, RootWindow(w->display, w->screen), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &event);
}

// Client-area position on the root window and size.
x11::MonitorRect clientGeometry(NativeWindow* w) {
    x11::MonitorRect rect;
    ::Window root = 0, child = 0;
    int x = 0, y = 0;
    unsigned width = 0, height = 0, border = 0, depth = 0;
    XGetGeometry(w->display, w->window, &root, &x, &y, &width, &height, &border, &depth);
    XTranslateCoordinates(w->display, w->window, root, 0, 0, &rect.x, &rect.y, &child);
    rect.width = static_cast<int>(width);
    rect.height = static_cast<int>(height);
    return rect;
}

void enterThroughWindowManager(NativeWindow* w) {
    const x11::Atoms& a = x11::atoms();
    Display* display = w->display;
    ::Window root = RootWindow(display, w->screen);
    if (!w->shown) {
        // Not mapped yet: the window manager reads the state when it maps it,
        // on the monitor where it places the window.
        x11::setInitialFullscreenState(w, true);
        return;
    }
    if (windowManagerSupports(display, root, a.netWmFullscreenMonitors)) {
        x11::Monitors monitors = x11::queryMonitors(display, w->screen);
        if (monitors.indexed) {
            long index = x11::monitorHolding(monitors, clientGeometry(w));
            sendToWindowManager(w, a.netWmFullscreenMonitors, {index, index, index, index, sourceApplication});
        }
    }
    sendToWindowManager(w, a.netWmState,
                        {netWmStateAdd, static_cast<long>(a.netWmStateFullscreen), 0, sourceApplication, 0});
}

void leaveThroughWindowManager(NativeWindow* w) {
    const x11::Atoms& a = x11::atoms();
    if (!w->shown) {
        x11::setInitialFullscreenState(w, false);
        return;
    }
    sendToWindowManager(w, a.netWmState,
                        {netWmStateRemove, static_cast<long>(a.netWmStateFullscreen), 0, sourceApplication, 0});
}

void enterByGeometry(NativeWindow* w) {
    x11::MonitorRect saved = clientGeometry(w);
    w->savedX = saved.x;
    w->savedY = saved.y;
    w->savedWidth = static_cast<unsigned>(saved.width);
    w->savedHeight = static_cast<unsigned>(saved.height);

    x11::Monitors monitors = x11::queryMonitors(w->display, w->screen);
    const x11::MonitorRect& monitor = monitors.rects[x11::monitorHolding(monitors, saved)];
    w->decorationsRemoved = true;
    x11::setDecorations(w, false);
    XMoveResizeWindow(w->display, w->window, monitor.x, monitor.y, static_cast<unsigned>(monitor.width),
                      static_cast<unsigned>(monitor.height));
    XRaiseWindow(w->display, w->window);
}

void leaveByGeometry(NativeWindow* w) {
    w->decorationsRemoved = false;
    x11::setDecorations(w, true);
    XMoveResizeWindow(w->display, w->window, w->savedX, w->savedY, w->savedWidth, w->savedHeight);
}

}  // namespace

void setFullscreen(NativeWindow* w, bool fullscreen) {
    if (!w || w->fullscreen == fullscreen) return;
    Display* display = w->display;
    ::Window root = RootWindow(display, w->screen);

    if (fullscreen) {
        bool managed = windowManagerRunning(display, root) &&
                       windowManagerSupports(display, root, x11::atoms().netWmStateFullscreen);
        w->fullscreenByGeometry = !managed;
        if (managed)
            enterThroughWindowManager(w);
        else
            enterByGeometry(w);
    } else if (w->fullscreenByGeometry) {
        leaveByGeometry(w);
        w->fullscreenByGeometry = false;
    } else {
        leaveThroughWindowManager(w);
    }
    w->fullscreen = fullscreen;
    XFlush(display);
}

}  // namespace vyr::platform::x11

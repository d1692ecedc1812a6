// Pairs with platform/window_capture.h on X11: whether the screen can show the
// client area, from the server's own stacking order and screen-saver state,
// asked once per check (never per frame). Under Xwayland the stacking order
// knows no Wayland window: the compositor is asked too, where it tells.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/scrnsaver.h>

#include <cstdio>
#include <string>

#include "platform/window_systems_posix.h"
#include "platform/compositor_capture.h"
#include "platform/window_capture.h"
#include "platform/window_state_x11.h"
#include "platform/window_x11.h"

namespace vyr::platform::x11 {

namespace {

struct Area {
    long left, top, right, bottom;  // right and bottom exclusive
    bool overlaps(const Area& o) const { return left < o.right && o.left < right && top < o.bottom && o.top < bottom; }
};

// The child of the root that holds `window`: the window itself, or the frame a
// reparenting window manager put around it.
::Window topLevelOf(Display* display, ::Window window) {
    for (;;) {
        ::Window root = 0, parent = 0, *children = nullptr;
        unsigned count = 0;
        if (!XQueryTree(display, window, &root, &parent, &children, &count)) return 0;
        if (children) XFree(children);
        if (parent == root || parent == 0) return window;
        window = parent;
    }
}

std::string textProperty(Display* display, ::Window window, Atom property) {
    XTextProperty text{};
    std::string result;
    if (XGetTextProperty(display, window, &text, property) && text.value) {
        result.assign(reinterpret_cast<const char*>(text.value), text.nitems);
        XFree(text.value);
    }
    return result;
}

// What a person would call the window: its title, else its class; for a
// window manager's frame, its client's. Empty when it has neither.
std::string nameOf(Display* display, ::Window window, int depth = 0) {
    Atom netWmName = XInternAtom(display, "_NET_WM_NAME", False);
    std::string name = textProperty(display, window, netWmName);
    if (name.empty()) name = textProperty(display, window, XA_WM_NAME);
    if (name.empty()) {
        XClassHint hint{};
        if (XGetClassHint(display, window, &hint)) {
            if (hint.res_class) name = hint.res_class;
            if (hint.res_name) XFree(hint.res_name);
            if (hint.res_class) XFree(hint.res_class);
        }
    }
    if (!name.empty() || depth == 2) return name;
    ::Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display, window, &root, &parent, &children, &count)) return name;
    for (unsigned i = 0; i < count && name.empty(); i++) name = nameOf(display, children[i], depth + 1);
    if (children) XFree(children);
    return name;
}

std::string coveredBy(Display* display, ::Window window) {
    std::string name = nameOf(display, window);
    if (name.empty()) {
        char id[32];
        snprintf(id, sizeof id, "0x%lx", static_cast<unsigned long>(window));
        name = id;
    }
    return "covered by the window \"" + name + "\"";
}

// The topmost window above ours that is shown over `area`, or 0;
// `overrideRedirect` tells whether one of them is stacked by no window manager.
::Window windowAbove(Display* display, ::Window root, ::Window ours, const Area& area, bool& overrideRedirect) {
    ::Window unusedRoot = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display, root, &unusedRoot, &parent, &children, &count)) return 0;
    ::Window found = 0;
    // Bottom to top: only windows after ours are above it; the topmost one is named.
    bool above = false;
    for (unsigned i = 0; i < count; i++) {
        if (children[i] == ours) {
            above = true;
            continue;
        }
        XWindowAttributes a;
        if (!above || !XGetWindowAttributes(display, children[i], &a)) continue;
        if (a.map_state != IsViewable || a.c_class == InputOnly) continue;
        Area its{a.x, a.y, a.x + a.width + 2L * a.border_width, a.y + a.height + 2L * a.border_width};
        if (!its.overlaps(area)) continue;
        found = children[i];
        overrideRedirect = overrideRedirect || a.override_redirect;
    }
    if (children) XFree(children);
    return found;
}

bool screenSaverOn(Display* display, ::Window root) {
    int event = 0, error = 0;
    if (!XScreenSaverQueryExtension(display, &event, &error)) return false;
    XScreenSaverInfo* info = XScreenSaverAllocInfo();
    bool on = info && XScreenSaverQueryInfo(display, root, info) && info->state == ScreenSaverOn;
    if (info) XFree(info);
    return on;
}

// The window manager's _NET_ACTIVE_WINDOW request, from an application (source 1).
void askToActivate(Display* display, ::Window root, ::Window ours) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = ours;
    event.xclient.message_type = XInternAtom(display, "_NET_ACTIVE_WINDOW", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = 1;
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, root, False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
}

}  // namespace

bool clientAreaInView(NativeWindow* window, int32_t left, int32_t top, uint32_t width, uint32_t height,
                      std::string& why) {
    Display* display = x11Display(window);
    if (!display) {
        why = "there is no display";
        return false;
    }
    // The server's answers below describe the screen after all we sent.
    XSync(display, False);
    unsigned long errorsBefore = x11::errorCount();
    ::Window root = RootWindow(display, x11Screen(window)), ours = x11Window(window);
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, ours, &attributes) || attributes.map_state != IsViewable) {
        why = x11::iconic(window) ? "minimised" : "the window is not shown";
        return false;
    }
    if (screenSaverOn(display, root)) {
        why = "the screen is blanked by the screen saver";
        return false;
    }
    int x = 0, y = 0;
    ::Window child = 0;
    XTranslateCoordinates(display, ours, root, left, top, &x, &y, &child);
    Area area{x, y, x + long(width), y + long(height)};
    if (area.left < 0 || area.top < 0 || area.right > DisplayWidth(display, x11Screen(window)) ||
        area.bottom > DisplayHeight(display, x11Screen(window))) {
        why = "partly off the screen";
        return false;
    }
    bool overrideRedirect = false;
    ::Window cover = windowAbove(display, root, topLevelOf(display, ours), area, overrideRedirect);
    if (cover) {
        why = coveredBy(display, cover);
        return false;
    }
    // A window that vanished while we looked: look again later.
    XSync(display, False);
    if (x11::errorCount() != errorsBefore) {
        why = "the windows changed while the program looked at them";
        return false;
    }
    why.clear();
    if (x11::serverIsXwayland(display) &&
        !compositorShowsWindow(ours, {x, y, width, height}, why))
        return false;
    return true;
}

bool windowMinimised(NativeWindow* window) {
    Display* display = x11Display(window);
    XWindowAttributes attributes;
    return display && XGetWindowAttributes(display, x11Window(window), &attributes) &&
           attributes.map_state != IsViewable && x11::iconic(window);
}

void bringIntoView(NativeWindow* window) {
    Display* display = x11Display(window);
    if (!display) return;
    ::Window root = RootWindow(display, x11Screen(window)), ours = x11Window(window);
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, ours, &attributes)) return;
    if (attributes.map_state != IsViewable) {
        // Mapping an iconic window asks the window manager to restore it; the
        // keyboard focus is its to give, not ours to take.
        if (x11::iconic(window)) XMapWindow(display, ours);
    } else if (screenSaverOn(display, root)) {
        return;  // the user's screen saver stays on
    } else {
        // Not above a window that no window manager stacks (a screen locker, a
        // menu): those go away by themselves or are not ours to cover.
        int x = 0, y = 0;
        ::Window child = 0;
        XTranslateCoordinates(display, ours, root, 0, 0, &x, &y, &child);
        Area area{x, y, x + attributes.width, y + attributes.height};
        bool overrideRedirect = false;
        ::Window cover = windowAbove(display, root, topLevelOf(display, ours), area, overrideRedirect);
        if (cover && !overrideRedirect) XRaiseWindow(display, ours);
        // A Wayland compositor stacks its windows and ours itself: it is asked
        // to show ours, as a pager would ask.
        if (x11::serverIsXwayland(display)) askToActivate(display, root, ours);
    }
    XFlush(display);
}

}  // namespace vyr::platform::x11

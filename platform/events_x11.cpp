// The event pump of the X11 window layer: X events become the neutral event
// set in one place, and the quit marker waits behind what is already queued.
#include "platform/window_systems_posix.h"
#include "platform/key_map_x11.h"
#include "platform/window_state_x11.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <deque>

// X.h's None (0) would shadow MessageResult::None in this file.
#undef None

namespace vyr::platform::x11 {

namespace {

struct QueuedEvent {
    NativeWindow* window;
    WindowEvent event;
};

struct Pump {
    std::deque<QueuedEvent> queued;
    bool quitPending = false;
    int quitCode = 0;
    long eventsBeforeQuit = 0;  // events (ours and X's) that were waiting when the quit was posted
};

Pump& pump() {
    static Pump p;
    return p;
}

WindowEvent sizeEvent(NativeWindow* w) {
    WindowEvent event;
    event.type = WindowEventType::Size;
    event.width = w->reportedWidth;
    event.height = w->reportedHeight;
    return event;
}

WindowEvent minimizedEvent() {
    WindowEvent event;
    event.type = WindowEventType::Size;
    event.minimized = true;
    return event;
}

// A release that the server sent for an auto-repeat is followed at once by
// the press of the same key with the same time stamp.
bool isAutoRepeatRelease(Display* display, const XKeyEvent& release) {
    if (XEventsQueued(display, QueuedAfterReading) == 0) {
        // The server makes both events of a repeat in one go, so after a
        // round trip the press is here if there is one.
        XSync(display, False);
        if (XEventsQueued(display, QueuedAlready) == 0) return false;
    }
    XEvent next;
    XPeekEvent(display, &next);
    return next.type == KeyPress && next.xkey.window == release.window && next.xkey.keycode == release.keycode &&
           next.xkey.time == release.time;
}

WindowEvent keyEvent(XKeyEvent& key, bool pressed) {
    KeySym keysym = x11::unshiftedKeysym(key);
    WindowEvent event;
    event.key = x11::virtualKeyFromKeysym(keysym);
    // With Alt held keys are system keys, Alt itself included, and F10 is
    // one always, as the keyboard model of the other platform has it.
    bool altKey = keysym == XK_Alt_L || keysym == XK_Alt_R || keysym == XK_Meta_L || keysym == XK_Meta_R;
    bool system = (key.state & Mod1Mask) || altKey || event.key == KeyF10;
    if (pressed)
        event.type = system ? WindowEventType::SystemKeyDown : WindowEventType::KeyDown;
    else
        event.type = system ? WindowEventType::SystemKeyUp : WindowEventType::KeyUp;
    return event;
}

// Turns one X event of window w into at most one neutral event.
bool translate(NativeWindow* w, XEvent& native, WindowEvent& out) {
    const x11::Atoms& a = x11::atoms();
    switch (native.type) {
    case ClientMessage:
        if (native.xclient.message_type == a.wmProtocols && native.xclient.format == 32 &&
            static_cast<Atom>(native.xclient.data.l[0]) == a.wmDeleteWindow) {
            out.type = WindowEventType::Close;
            return true;
        }
        return false;
    case DestroyNotify:
        if (native.xdestroywindow.window != w->window) return false;
        out.type = WindowEventType::Destroy;
        return true;
    case ConfigureNotify: {
        if (native.xconfigure.window != w->window) return false;
        unsigned width = static_cast<unsigned>(native.xconfigure.width);
        unsigned height = static_cast<unsigned>(native.xconfigure.height);
        if (width == w->reportedWidth && height == w->reportedHeight) return false;
        w->reportedWidth = width;
        w->reportedHeight = height;
        if (w->minimized) return false;  // reported when it comes back
        out = sizeEvent(w);
        return true;
    }
    case UnmapNotify:
        if (native.xunmap.window != w->window) return false;
        w->mapped = false;
        if (w->withdrawn || w->minimized) return false;
        w->minimized = true;
        out = minimizedEvent();
        return true;
    case MapNotify:
        if (native.xmap.window != w->window) return false;
        w->mapped = true;
        if (!w->minimized) return false;
        w->minimized = false;
        out = sizeEvent(w);
        return true;
    case PropertyNotify: {
        Atom atom = native.xproperty.atom;
        if (atom != a.wmState && atom != a.netWmState) return false;
        bool nowIconic = x11::iconic(w);
        if (nowIconic && !w->minimized) {
            w->minimized = true;
            out = minimizedEvent();
            return true;
        }
        // A window manager that keeps iconified windows mapped restores
        // them by the property alone; otherwise the map says it.
        if (!nowIconic && w->minimized && w->mapped) {
            w->minimized = false;
            out = sizeEvent(w);
            return true;
        }
        return false;
    }
    case Expose:
        if (native.xexpose.count != 0) return false;
        out.type = WindowEventType::Paint;
        return true;
    case KeyPress:
        out = keyEvent(native.xkey, true);
        return true;
    case KeyRelease:
        if (isAutoRepeatRelease(w->display, native.xkey)) return false;
        out = keyEvent(native.xkey, false);
        return true;
    case MotionNotify:
        out.type = WindowEventType::MouseMove;
        out.x = static_cast<int16_t>(native.xmotion.x);
        out.y = static_cast<int16_t>(native.xmotion.y);
        return true;
    case ButtonPress:
        if (native.xbutton.button != Button1) return false;
        out.type = WindowEventType::LeftButtonDown;
        out.x = static_cast<int16_t>(native.xbutton.x);
        out.y = static_cast<int16_t>(native.xbutton.y);
        return true;
    default:
        return false;
    }
}

void dispatch(NativeWindow* w, const WindowEvent& event) {
    // Default handling has nothing left to do on X11: the server and the
    // window manager already did it.
    if (WindowProcedure procedure = x11::registeredProcedure()) procedure(w, event);
}

void countTowardsQuit() {
    Pump& p = pump();
    if (p.quitPending && p.eventsBeforeQuit > 0) --p.eventsBeforeQuit;
}

}  // namespace

void queueEvent(NativeWindow* window, const WindowEvent& event) { pump().queued.push_back({window, event}); }

void postQuit() {
    Pump& p = pump();
    if (p.quitPending) return;
    p.quitPending = true;
    p.quitCode = 0;
    Display* display = x11::connection();
    p.eventsBeforeQuit = static_cast<long>(p.queued.size()) + (display ? XEventsQueued(display, QueuedAlready) : 0);
}

MessageResult peekAndDispatch(int& quitCode) {
    Pump& p = pump();
    if (p.quitPending && p.eventsBeforeQuit == 0) {
        p.quitPending = false;
        quitCode = p.quitCode;
        return MessageResult::Quit;
    }
    if (!p.queued.empty()) {
        QueuedEvent next = p.queued.front();
        p.queued.pop_front();
        countTowardsQuit();
        dispatch(next.window, next.event);
        return MessageResult::Dispatched;
    }
    Display* display = x11::connection();
    if (display && XPending(display) > 0) {
        XEvent native;
        XNextEvent(display, &native);
        countTowardsQuit();
        NativeWindow* w = x11::findWindow(native.xany.window);
        WindowEvent event;
        if (w && translate(w, native, event)) dispatch(w, event);
        return MessageResult::Dispatched;
    }
    if (p.quitPending) {
        // The events counted at posting time went elsewhere (dropped, or
        // taken by someone else): the quit need not wait any longer.
        p.quitPending = false;
        quitCode = p.quitCode;
        return MessageResult::Quit;
    }
    return MessageResult::None;
}

}  // namespace vyr::platform::x11

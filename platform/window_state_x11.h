// What the X11 window layer keeps per window and per connection; private to
// platform/*_x11.cpp.
#pragma once

#include <X11/Xlib.h>

#include <string>
#include <vector>

#include "platform/native_window.h"

namespace vyr::test {

struct NativeWindow {
    Display* display = nullptr;
    int screen = 0;
    ::Window window = 0;
    Visual* visual = nullptr;  // null: the root window's
    int depth = 0;
    Colormap colormap = 0;  // ours to free; 0 while the window uses the default one
    Cursor cursor = 0;      // the arrow; freed with the connection
    std::string title, className;

    bool shown = false;   // showWindow was called; the visual is fixed from then on
    bool mapped = false;  // as the server last told us
    bool minimized = false;
    bool withdrawn = false;  // hidden by showWindow, not minimised by the user
    // The size the window procedure was last told.
    unsigned reportedWidth = 0, reportedHeight = 0;

    bool fullscreen = false;
    bool fullscreenByGeometry = false;  // no EWMH fullscreen: we moved and resized it ourselves
    bool decorationsRemoved = false;
    int savedX = 0, savedY = 0;
    unsigned savedWidth = 0, savedHeight = 0;
};

}  // namespace vyr::test

namespace vyr::platform::x11 {

struct Atoms {
    Atom wmProtocols, wmDeleteWindow, wmState, wmChangeState;
    Atom netSupported, netSupportingWmCheck, netWmState, netWmStateFullscreen, netWmStateHidden;
    Atom netWmFullscreenMonitors, netWmIcon, netWmName, utf8String, motifWmHints;
};

// The one display connection, opened on first use; null when there is no display.
Display* connection();
const Atoms& atoms();

// Errors of the X protocol are counted, never fatal: a caller that needs to
// know syncs and compares the count before and after.
unsigned long errorCount();

// Whether the X server is Xwayland (it has the XWAYLAND extension): its root
// window then holds no picture, and the screen is read through the Wayland
// compositor (platform/compositor_capture.h). Asked of the server once.
bool serverIsXwayland(Display* display);

WindowProcedure registeredProcedure();

// The window (of ours) that an X window id belongs to, or null.
NativeWindow* findWindow(::Window id);
// Neutral events made by the layer itself (a re-created window's new size)
// go out before the next X event.
void queueEvent(NativeWindow* window, const WindowEvent& event);

// A window's list property of atoms (_NET_WM_STATE, _NET_SUPPORTED); empty
// when the window has none or it is not a list of atoms.
std::vector<Atom> atomList(Display* display, ::Window window, Atom property);

// WM_STATE IconicState or _NET_WM_STATE_HIDDEN: the window manager shows it as an icon.
bool iconic(NativeWindow* window);

// _NET_WM_STATE on a window that is not mapped yet: the window manager reads it at map time.
void setInitialFullscreenState(NativeWindow* window, bool fullscreen);
void setDecorations(NativeWindow* window, bool decorated);

}  // namespace vyr::platform::x11

// What desktop the program runs on, for the results file and the report page:
// the window system as the program meets it, and the compositor behind it
// where it can be learned. platform/desktop_x11.cpp (a plain X server or
// Xwayland on a Wayland desktop), platform/desktop_win32.cpp.
#pragma once

#include <string>

#include "platform/native_window.h"

namespace vyr::platform {

struct DesktopFacts {
    std::string windowSystem;  // "X11", "X11 (Xwayland)", "Windows"
    std::string compositor;    // "sway", "weston"; empty where it cannot be learned
};

// Asked once, after the main window exists.
DesktopFacts desktopFacts(NativeWindow* window);

}  // namespace vyr::platform

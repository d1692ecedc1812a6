// Which window system the program's window lives in, decided once at start-up
// before the first window: on Linux X11 or Wayland (platform/window_system_posix.cpp),
// on Windows always Win32 (platform/window_system_win32.cpp). Every platform
// function of the window, its events, the screen and the bindings above them
// (GLX or EGL, an Xlib or a Wayland Vulkan surface) follows this choice.
#pragma once

#include <string>
#include <vector>

namespace vyr::platform {

enum class WindowSystem { X11, Wayland, Win32 };

// X11 when DISPLAY is set (unless `askWayland`), Wayland when only
// WAYLAND_DISPLAY is set or `askWayland`; X11 where neither is set, whose
// connection then fails with its own message. Call before the first window;
// until then the build's first window system (X11, Win32) is in force.
WindowSystem chooseWindowSystem(bool askWayland);
WindowSystem windowSystem();
// "X11", "Wayland", "Windows": the name the results and the page give a run.
const char* windowSystemName(WindowSystem system);

// The window systems a session offers the program, for -all: X11 and Wayland
// where both DISPLAY and WAYLAND_DISPLAY are set (unless `askWayland`), else
// the one chooseWindowSystem would pick.
std::vector<WindowSystem> sessionWindowSystems(bool askWayland);

}  // namespace vyr::platform

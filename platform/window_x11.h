// What the X11 window system binding (render/opengl/*_glx.cpp) needs of the
// main window made by platform/window_x11.cpp.
#pragma once

#include <X11/Xlib.h>

#include "platform/native_window.h"

namespace vyr::platform {

Display* x11Display(NativeWindow* window);
::Window x11Window(NativeWindow* window);
int x11Screen(NativeWindow* window);
// X fixes a window's visual at creation: the binding calls this before the
// window is first shown to re-create it (same title, class, icon, size, mode
// and event mask) with the visual of the framebuffer configuration it chose.
bool x11UseVisual(NativeWindow* window, Visual* visual, int depth);

}  // namespace vyr::platform

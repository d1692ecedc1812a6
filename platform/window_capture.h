// What the screen shows of the main window after a frame was presented: what a
// viewer of the session sees, and whether the window can be seen at all.
// platform/window_capture_x11.cpp and window_view_x11.cpp read the screen (the
// root window, composited output included) and the stacking order;
// platform/window_capture_win32.cpp and window_view_win32.cpp the screen's
// copy of the client area through GDI and the Z-order.
#pragma once

#include <cstdint>
#include <string>

#include "platform/native_window.h"
#include "render/frame_image.h"

namespace vyr::platform {

// The client area's current size; false when the window system cannot tell.
bool clientAreaSize(NativeWindow* window, uint32_t& width, uint32_t& height);

// `width` x `height` pixels of the screen where the client area shows from
// (left, top), as RGBA top row first. False when the window is not on screen
// (unmapped, minimised) or the rectangle is not inside the client area.
bool captureClientArea(NativeWindow* window, int32_t left, int32_t top, uint32_t width, uint32_t height,
                       vyr::test::FrameImage& image);

// Where captureClientArea reads the screen from, in words for the results:
// "the root window", "the screen through GDI".
std::string screenSourceName(NativeWindow* window);

// Whether that rectangle of the client area can be seen on the screen now:
// the window shown and not minimised, the rectangle inside the screen, no
// window above it over the rectangle, the screen neither blanked nor locked,
// the session connected. False with the reason in words ("minimised",
// "covered by the window \"xterm\"", "partly off the screen").
bool clientAreaInView(NativeWindow* window, int32_t left, int32_t top, uint32_t width, uint32_t height,
                      std::string& why);

// Whether the window is minimised (an icon): it then has no pixels on the
// screen, and on some systems none for the renderer to draw into either.
bool windowMinimised(NativeWindow* window);

// Restores a minimised window or raises a covered one, without taking the
// keyboard from the user. A screen locker, a screen saver or a window that
// keeps itself above the others is left as it is: the window system decides.
void bringIntoView(NativeWindow* window);

}  // namespace vyr::platform

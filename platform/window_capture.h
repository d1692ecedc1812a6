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
// (left, top), as RGBA top row first. False with the reason in words when the
// screen cannot be read there: the window not on screen (unmapped, minimised),
// the rectangle not inside the client area, or a window system that lets no
// program read the screen. Such a screen was not looked at, it is not wrong.
bool captureClientArea(NativeWindow* window, int32_t left, int32_t top, uint32_t width, uint32_t height,
                       vyr::test::FrameImage& image, std::string& why);

// The frame the client area shows from now on (the check frame, just
// presented), with its place in the client area: a window system that never
// tells a program where its window is (a Wayland compositor other than sway)
// finds the window on the screen by it.
void expectClientPicture(NativeWindow* window, const vyr::test::FrameImage& frame);

// Whether the window system lets the program read the screen at all: false
// with the reason where it never will (a Wayland compositor that offers no way
// to copy its output), so that nobody waits for it.
bool screenReadable(NativeWindow* window, std::string& why);

// Whether the screen shows the client area resampled (a compositor that scales
// its output by a fraction): its pixels then cannot match the renderer's one
// for one, and a difference says nothing of the picture. True with the
// reason in words.
bool screenResamples(NativeWindow* window, std::string& why);

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

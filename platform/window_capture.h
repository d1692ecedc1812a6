// The window's pixels as the window system holds them, after a frame was
// presented: what a viewer of the session sees. platform/window_capture_x11.cpp
// reads the server's copy of the window, platform/window_capture_win32.cpp the
// screen's copy of the client area through GDI.
#pragma once

#include <cstdint>

#include "platform/native_window.h"
#include "render/frame_image.h"

namespace vyr::platform {

// The client area's current size; false when the window system cannot tell.
bool clientAreaSize(NativeWindow* window, uint32_t& width, uint32_t& height);

// `width` x `height` pixels of the client area from (left, top), as RGBA top
// row first. False when the window is not on screen (unmapped, minimised) or
// the rectangle is not inside the client area.
bool captureClientArea(NativeWindow* window, int32_t left, int32_t top, uint32_t width, uint32_t height,
                       vyr::test::FrameImage& image);

}  // namespace vyr::platform

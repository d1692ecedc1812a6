// What the Wayland bindings need of the main window made by
// platform/window_wayland.cpp: EGL (render/opengl/gl_binding_egl.cpp) and
// Vulkan (render/vulkan/vulkan_platform_wayland.cpp) draw on its surface.
#pragma once

#include <cstdint>

#include "platform/native_window.h"

struct wl_display;
struct wl_surface;

namespace vyr::platform {

wl_display* waylandDisplay(NativeWindow* window);
wl_surface* waylandSurface(NativeWindow* window);
// The client area's size in pixels, as the compositor last configured it.
void waylandClientSize(NativeWindow* window, uint32_t& width, uint32_t& height);
// The binding calls this just before it commits a frame (eglSwapBuffers,
// vkQueuePresentKHR): while the screen is watched, the window asks the
// compositor for that frame's presentation feedback.
void waylandFrameCommitting(NativeWindow* window);

}  // namespace vyr::platform

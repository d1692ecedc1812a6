// The two Vulkan surfaces of the Linux build: vulkan_platform_x11.cpp (Xlib)
// and vulkan_platform_wayland.cpp; vulkan_platform_posix.cpp hands each call
// to the one of the window system chosen at start-up.
#pragma once

#include "platform/native_window.h"
#include "render/vulkan/vulkan_api.h"

namespace vyr::test::vulkanplatform::x11 {
const char* surfaceExtension();
VkSurfaceKHR createSurface(VkInstance instance, NativeWindow* window);
}  // namespace vyr::test::vulkanplatform::x11

namespace vyr::test::vulkanplatform::wayland {
const char* surfaceExtension();
VkSurfaceKHR createSurface(VkInstance instance, NativeWindow* window);
void frameCommitting(NativeWindow* window);
}  // namespace vyr::test::vulkanplatform::wayland

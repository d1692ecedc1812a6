// The Vulkan surfaces of the Linux build, one namespace per window system:
// x11 (vulkan_platform_x11.cpp, an Xlib surface) and wayland
// (vulkan_platform_wayland.cpp). vulkan_platform_posix.cpp hands each call of
// vulkan_platform.h to the one of the window system chosen at start-up.
#pragma once

#include "platform/native_window.h"
#include "render/vulkan/vulkan_api.h"

#define VYR_VULKAN_SURFACE_FUNCTIONS                                 \
    const char* surfaceExtension();                                  \
    VkSurfaceKHR createSurface(VkInstance instance, NativeWindow* window); \
    void frameCommitting(NativeWindow* window);

namespace vyr::test::vulkanplatform::x11 {
VYR_VULKAN_SURFACE_FUNCTIONS
}  // namespace vyr::test::vulkanplatform::x11

namespace vyr::test::vulkanplatform::wayland {
VYR_VULKAN_SURFACE_FUNCTIONS
}  // namespace vyr::test::vulkanplatform::wayland

#undef VYR_VULKAN_SURFACE_FUNCTIONS

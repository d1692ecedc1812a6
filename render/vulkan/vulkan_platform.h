// What Vulkan needs of the platform: vulkan_platform_x11.cpp (the loader linked
// from Debian's libvulkan, an Xlib surface) and vulkan_platform_win32.cpp
// (vulkan-1.dll loaded at run time, a Win32 surface).
#pragma once

#include "platform/native_window.h"
#include "render/vulkan/vulkan_api.h"

namespace vyr::test::vulkanplatform {

// The loader's vkGetInstanceProcAddr, or null without a loader.
PFN_vkGetInstanceProcAddr openLoader();
// The instance extension of the window system's surface.
const char* surfaceExtension();
// VK_NULL_HANDLE when the surface cannot be made.
VkSurfaceKHR createSurface(VkInstance instance, NativeWindow* window);

}  // namespace vyr::test::vulkanplatform

// What Vulkan needs of the platform: on Linux vulkan_platform_posix.cpp (the
// loader linked from Debian's libvulkan; an Xlib or a Wayland surface, as the
// window system chosen at start-up says) and vulkan_platform_win32.cpp
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
// Just before a frame is presented: on Wayland the window asks for the
// frame's presentation feedback; nothing elsewhere.
void frameCommitting(NativeWindow* window);

}  // namespace vyr::test::vulkanplatform

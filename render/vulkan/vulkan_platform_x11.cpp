// The Xlib surface of the Linux build (see vulkan_platforms_posix.h).
#include <X11/Xlib.h>

#include "platform/window_x11.h"
#include "render/vulkan/vulkan_platforms_posix.h"

#include <vulkan/vulkan_xlib.h>

namespace vyr::test::vulkanplatform::x11 {

const char* surfaceExtension() { return VK_KHR_XLIB_SURFACE_EXTENSION_NAME; }

VkSurfaceKHR createSurface(VkInstance instance, NativeWindow* window) {
    auto create = reinterpret_cast<PFN_vkCreateXlibSurfaceKHR>(vk::vkGetInstanceProcAddr(instance, "vkCreateXlibSurfaceKHR"));
    Display* display = window ? platform::x11Display(window) : nullptr;
    if (!create || !display) return VK_NULL_HANDLE;
    VkXlibSurfaceCreateInfoKHR info{VK_STRUCTURE_TYPE_XLIB_SURFACE_CREATE_INFO_KHR};
    info.dpy = display;
    info.window = platform::x11Window(window);
    VkSurfaceKHR surface = VK_NULL_HANDLE;
    if (create(instance, &info, nullptr, &surface) != VK_SUCCESS) return VK_NULL_HANDLE;
    return surface;
}

}  // namespace vyr::test::vulkanplatform::x11

// Pairs with vulkan_platform.h on Linux.
#include <X11/Xlib.h>

#include "platform/window_x11.h"
#include "render/vulkan/vulkan_platform.h"

#include <vulkan/vulkan_xlib.h>

extern "C" VKAPI_ATTR PFN_vkVoidFunction VKAPI_CALL vkGetInstanceProcAddr(VkInstance instance, const char* name);

namespace vyr::test::vulkanplatform {

PFN_vkGetInstanceProcAddr openLoader() { return &::vkGetInstanceProcAddr; }

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

}  // namespace vyr::test::vulkanplatform

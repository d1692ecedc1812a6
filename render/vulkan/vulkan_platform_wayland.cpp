// The Vulkan surface on Wayland: VK_KHR_wayland_surface on the main window's
// wl_surface. Its extent is the swap chain's to choose (currentExtent is
// UINT32_MAX): vulkan_swapchain.cpp takes the client size of the last resize.
#include "render/vulkan/vulkan_platforms_posix.h"

#include "platform/window_wayland.h"

#include <vulkan/vulkan_wayland.h>

namespace vyr::test::vulkanplatform::wayland {

const char* surfaceExtension() { return VK_KHR_WAYLAND_SURFACE_EXTENSION_NAME; }

VkSurfaceKHR createSurface(VkInstance instance, NativeWindow* window) {
    auto create = reinterpret_cast<PFN_vkCreateWaylandSurfaceKHR>(
        vk::vkGetInstanceProcAddr(instance, "vkCreateWaylandSurfaceKHR"));
    wl_display* display = window ? platform::waylandDisplay(window) : nullptr;
    wl_surface* surface = window ? platform::waylandSurface(window) : nullptr;
    if (!create || !display || !surface) return VK_NULL_HANDLE;
    VkWaylandSurfaceCreateInfoKHR info{VK_STRUCTURE_TYPE_WAYLAND_SURFACE_CREATE_INFO_KHR};
    info.display = display;
    info.surface = surface;
    VkSurfaceKHR created = VK_NULL_HANDLE;
    if (create(instance, &info, nullptr, &created) != VK_SUCCESS) return VK_NULL_HANDLE;
    return created;
}

void frameCommitting(NativeWindow* window) { platform::waylandFrameCommitting(window); }

}  // namespace vyr::test::vulkanplatform::wayland

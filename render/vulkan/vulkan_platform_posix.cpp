// Pairs with vulkan_platform.h on Linux: the loader from Debian's libvulkan,
// and the surface of the window system chosen at start-up.
#include "platform/window_system.h"
#include "render/vulkan/vulkan_platform.h"
#include "render/vulkan/vulkan_platforms_posix.h"

extern "C" VKAPI_ATTR PFN_vkVoidFunction VKAPI_CALL vkGetInstanceProcAddr(VkInstance instance, const char* name);

namespace vyr::test::vulkanplatform {

namespace {
bool onWayland() { return platform::windowSystem() == platform::WindowSystem::Wayland; }
}  // namespace

PFN_vkGetInstanceProcAddr openLoader() { return &::vkGetInstanceProcAddr; }

const char* surfaceExtension() { return onWayland() ? wayland::surfaceExtension() : x11::surfaceExtension(); }

VkSurfaceKHR createSurface(VkInstance instance, NativeWindow* window) {
    return onWayland() ? wayland::createSurface(instance, window) : x11::createSurface(instance, window);
}

void frameCommitting(NativeWindow* window) {
    if (onWayland()) wayland::frameCommitting(window);
}

}  // namespace vyr::test::vulkanplatform

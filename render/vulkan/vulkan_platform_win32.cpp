// Pairs with vulkan_platform.h on Windows: the loader is loaded at run time, as
// a machine without Vulkan has no vulkan-1.dll.
#include <windows.h>

#include "platform/window_win32.h"
#include "render/vulkan/vulkan_platform.h"

#include <vulkan/vulkan_win32.h>

namespace vyr::test::vulkanplatform {

PFN_vkGetInstanceProcAddr openLoader() {
    static HMODULE library = LoadLibraryA("vulkan-1.dll");
    if (!library) return nullptr;
    return reinterpret_cast<PFN_vkGetInstanceProcAddr>(
        reinterpret_cast<void*>(GetProcAddress(library, "vkGetInstanceProcAddr")));
}

const char* surfaceExtension() { return VK_KHR_WIN32_SURFACE_EXTENSION_NAME; }

VkSurfaceKHR createSurface(VkInstance instance, NativeWindow* window) {
    auto create =
        reinterpret_cast<PFN_vkCreateWin32SurfaceKHR>(vk::vkGetInstanceProcAddr(instance, "vkCreateWin32SurfaceKHR"));
    if (!create || !window) return VK_NULL_HANDLE;
    VkWin32SurfaceCreateInfoKHR info{VK_STRUCTURE_TYPE_WIN32_SURFACE_CREATE_INFO_KHR};
    info.hinstance = GetModuleHandleA(nullptr);
    info.hwnd = platform::toHwnd(window);
    VkSurfaceKHR surface = VK_NULL_HANDLE;
    if (create(instance, &info, nullptr, &surface) != VK_SUCCESS) return VK_NULL_HANDLE;
    return surface;
}

void frameCommitting(NativeWindow*) {}

}  // namespace vyr::test::vulkanplatform

#include "render/vulkan/vulkan_api.h"

#include "render/vulkan/vulkan_platform.h"

namespace vyr::test::vk {

#define VYR_VK_DEFINE(name) PFN_##name name = nullptr;
VYR_VK_GLOBAL_FUNCTIONS(VYR_VK_DEFINE)
VYR_VK_INSTANCE_FUNCTIONS(VYR_VK_DEFINE)
VYR_VK_DEVICE_FUNCTIONS(VYR_VK_DEFINE)
#undef VYR_VK_DEFINE
PFN_vkGetInstanceProcAddr vkGetInstanceProcAddr = nullptr;

bool loadGlobalFunctions() {
    if (!vkGetInstanceProcAddr) vkGetInstanceProcAddr = vulkanplatform::openLoader();
    if (!vkGetInstanceProcAddr) return false;
    bool complete = true;
#define VYR_VK_LOAD(name) \
    complete = (name = reinterpret_cast<PFN_##name>(vkGetInstanceProcAddr(nullptr, #name))) != nullptr && complete;
    VYR_VK_GLOBAL_FUNCTIONS(VYR_VK_LOAD)
#undef VYR_VK_LOAD
    return complete;
}

bool loadInstanceFunctions(VkInstance instance) {
    bool complete = true;
#define VYR_VK_LOAD(name) \
    complete = (name = reinterpret_cast<PFN_##name>(vkGetInstanceProcAddr(instance, #name))) != nullptr && complete;
    VYR_VK_INSTANCE_FUNCTIONS(VYR_VK_LOAD)
#undef VYR_VK_LOAD
    return complete;
}

bool loadDeviceFunctions(VkDevice device) {
    bool complete = true;
#define VYR_VK_LOAD(name) \
    complete = (name = reinterpret_cast<PFN_##name>(vkGetDeviceProcAddr(device, #name))) != nullptr && complete;
    VYR_VK_DEVICE_FUNCTIONS(VYR_VK_LOAD)
#undef VYR_VK_LOAD
    return complete;
}

}  // namespace vyr::test::vk

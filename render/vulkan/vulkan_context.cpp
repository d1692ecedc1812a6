// VulkanContext: the capabilities report, the size, the current drawable and
// the frame's entry points. The rest: vulkan_device.cpp, vulkan_swapchain.cpp,
// vulkan_pipelines.cpp, vulkan_resources.cpp and vulkan_scene.cpp.
#include "render/vulkan/vulkan_context.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "render/demo_scene.h"
#include "render/vulkan/vulkan_enumerate.h"
#include "render/vulkan/vulkan_platform.h"

namespace vyr::test {

using namespace vk;

namespace {

const char* deviceTypeName(VkPhysicalDeviceType type) {
    switch (type) {
    case VK_PHYSICAL_DEVICE_TYPE_INTEGRATED_GPU: return "integrated";
    case VK_PHYSICAL_DEVICE_TYPE_DISCRETE_GPU: return "discrete";
    case VK_PHYSICAL_DEVICE_TYPE_VIRTUAL_GPU: return "virtual";
    case VK_PHYSICAL_DEVICE_TYPE_CPU: return "CPU";
    default: return "other";
    }
}

std::string versionText(uint32_t version) {
    return std::to_string(VK_API_VERSION_MAJOR(version)) + "." + std::to_string(VK_API_VERSION_MINOR(version)) + "." +
           std::to_string(VK_API_VERSION_PATCH(version));
}

std::string extensionList(const std::vector<VkExtensionProperties>& extensions) {
    std::string text;
    for (const VkExtensionProperties& e : extensions) text += std::string(e.extensionName) + " ";
    return text;
}

}  // namespace

RenderingContext* createVulkanContext() { return new VulkanContext(); }

double VulkanContext::getVersion() {
    VulkanDrawable* target = drawable();
    if (!target) return 0.0;
    VkPhysicalDeviceProperties properties;
    vkGetPhysicalDeviceProperties(target->physicalDevice, &properties);
    return VK_API_VERSION_MAJOR(properties.apiVersion) + VK_API_VERSION_MINOR(properties.apiVersion) / 10.0;
}

void VulkanContext::setSize(unsigned newWidth, unsigned newHeight) {
    width = newWidth;
    height = newHeight;
    if (newWidth != extent.width || newHeight != extent.height) swapchainStale = true;
}

bool VulkanContext::makeCurrent(DrawableContext* target) {
    if (!dynamic_cast<VulkanDrawable*>(target)) return false;
    currentDrawable = target;
    return true;
}

void VulkanContext::setupRenderState() {}

void VulkanContext::printCapabilities() {
    VulkanDrawable* target = drawable();
    if (!target) return;
    VkPhysicalDeviceProperties properties;
    vkGetPhysicalDeviceProperties(target->physicalDevice, &properties);
    auto deviceExtensions = enumerate<VkExtensionProperties>([&](uint32_t* n, VkExtensionProperties* e) {
        vkEnumerateDeviceExtensionProperties(target->physicalDevice, nullptr, n, e);
    });
    auto instanceExtensions = enumerate<VkExtensionProperties>([&](uint32_t* n, VkExtensionProperties* e) {
        vkEnumerateInstanceExtensionProperties(nullptr, n, e);
    });
    // The driver's own name and version text, where the device reports them.
    std::string driverName, driverInfo;
    bool hasDriverProperties = false;
    for (const VkExtensionProperties& e : deviceExtensions)
        hasDriverProperties = hasDriverProperties || strcmp(e.extensionName, VK_KHR_DRIVER_PROPERTIES_EXTENSION_NAME) == 0;
    if (hasDriverProperties) {
        VkPhysicalDeviceDriverProperties driver{VK_STRUCTURE_TYPE_PHYSICAL_DEVICE_DRIVER_PROPERTIES};
        VkPhysicalDeviceProperties2 properties2{VK_STRUCTURE_TYPE_PHYSICAL_DEVICE_PROPERTIES_2};
        properties2.pNext = &driver;
        vkGetPhysicalDeviceProperties2(target->physicalDevice, &properties2);
        driverName = driver.driverName;
        driverInfo = driver.driverInfo;
    }
    VkDeviceSize local = 0;
    for (uint32_t i = 0; i < memoryProperties.memoryHeapCount; i++)
        if (memoryProperties.memoryHeaps[i].flags & VK_MEMORY_HEAP_DEVICE_LOCAL_BIT)
            local += memoryProperties.memoryHeaps[i].size;

    printf("\nVulkan Info:\n");
    printf(" - VK_DEVICE_NAME: %s\n", properties.deviceName);
    printf(" - VK_DEVICE_TYPE: %s\n", deviceTypeName(properties.deviceType));
    printf(" - VK_API_VERSION: %s\n", versionText(properties.apiVersion).c_str());
    printf(" - VK_DRIVER: %s%s%s\n", driverName.empty() ? "(not reported)" : driverName.c_str(),
           driverInfo.empty() ? "" : " ", driverInfo.c_str());
    printf(" - VK_DRIVER_VERSION: 0x%08X\n", properties.driverVersion);
    printf(" - VK_DEVICE_LOCAL_MEMORY: %llu MB\n", static_cast<unsigned long long>(local >> 20));
    printf(" - VK_INSTANCE_EXTENSIONS: %s\n", extensionList(instanceExtensions).c_str());
    printf(" - VK_DEVICE_EXTENSIONS: %s\n", extensionList(deviceExtensions).c_str());
    // No Vulkan marker of a remote-visualization session exists: the daemon decides.
    decideRemoteSession(false);

    DriverFacts& facts = driverFacts;
    facts.windowSystem = vulkanplatform::surfaceExtension();
    facts.vendor = driverName;
    facts.renderer = properties.deviceName;
    facts.version = versionText(properties.apiVersion) + (driverInfo.empty() ? "" : " " + driverInfo);
    facts.gpuMemoryKiB = int64_t(local / 1024);
    if (properties.deviceType == VK_PHYSICAL_DEVICE_TYPE_CPU)
        facts.softwareRasteriser = std::string("device type CPU (\"") + properties.deviceName + "\")";
    else
        facts.softwareRasteriser = softwareRendererReason(facts.renderer);
    facts.extensionCount = int(deviceExtensions.size());
    facts.windowSystemExtensionCount = int(instanceExtensions.size());
    facts.grantedSamples = target->samples == VK_SAMPLE_COUNT_1_BIT ? 0 : uint32_t(target->samples);
    facts.grantedStereo = false;
}

void VulkanContext::drawObject(Project3D* project, Object3D* object, float alpha) {
    drawSceneObject(*this, *this, project, object, alpha);
}

void VulkanContext::drawScene(float eyeOffset, Project3D* project, Texture** overlays) {
    drawDemoScene(*this, *this, eyeOffset, project, overlays);
}

// Mono: a swap chain has no second eye's buffer.
void VulkanContext::renderFrame(Project3D* project, Texture** overlays) {
    if (!drawable() || !device) return;
    produceFrame(project, overlays, false);
}

}  // namespace vyr::test

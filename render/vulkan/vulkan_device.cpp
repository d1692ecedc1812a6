// VulkanContext: the instance, the surface and the device, and what lives as
// long as the device (command buffers, descriptors, samplers, our own images).
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "render/vulkan/baked_glyphs.h"
#include "render/vulkan/vulkan_context.h"
#include "render/vulkan/vulkan_enumerate.h"
#include "render/vulkan/vulkan_platform.h"

namespace vyr::test {

using namespace vk;

namespace {

constexpr VkDeviceSize streamBytes = 4u << 20;

// Push constants of every pipeline: projection, colour, emission.
constexpr uint32_t pushBytes = 96;

// Discrete before integrated before virtual before the rest.
int preference(VkPhysicalDeviceType type) {
    switch (type) {
    case VK_PHYSICAL_DEVICE_TYPE_DISCRETE_GPU: return 4;
    case VK_PHYSICAL_DEVICE_TYPE_INTEGRATED_GPU: return 3;
    case VK_PHYSICAL_DEVICE_TYPE_VIRTUAL_GPU: return 2;
    default: return 1;
    }
}

}  // namespace

VulkanDrawable::~VulkanDrawable() {
    if (surface) vkDestroySurfaceKHR(instance, surface, nullptr);
    if (instance) vkDestroyInstance(instance, nullptr);
}

VulkanDrawable* VulkanContext::drawable() const { return dynamic_cast<VulkanDrawable*>(currentDrawable); }

// The instance, the surface and the device to use, and the multisampling line.
DrawableContext* VulkanContext::createDrawable(NativeWindow* window, bool multisample, uint32_t samples, bool stereo,
                                               bool vsync) {
    if (!loadGlobalFunctions()) return nullptr;
    auto* result = new VulkanDrawable();
    result->window = window;
    result->vsync = vsync;
    const char* extensions[] = {VK_KHR_SURFACE_EXTENSION_NAME, vulkanplatform::surfaceExtension()};
    VkApplicationInfo application{VK_STRUCTURE_TYPE_APPLICATION_INFO};
    application.pApplicationName = "vyrtest";
    application.apiVersion = VK_API_VERSION_1_1;
    VkInstanceCreateInfo info{VK_STRUCTURE_TYPE_INSTANCE_CREATE_INFO};
    info.pApplicationInfo = &application;
    info.enabledExtensionCount = 2;
    info.ppEnabledExtensionNames = extensions;
    if (vkCreateInstance(&info, nullptr, &result->instance) != VK_SUCCESS || !loadInstanceFunctions(result->instance)) {
        delete result;
        return nullptr;
    }
    result->surface = vulkanplatform::createSurface(result->instance, window);
    if (!result->surface) {
        delete result;
        return nullptr;
    }
    // A device that draws and presents to this surface, the most capable kind first.
    int best = 0;
    for (VkPhysicalDevice candidate : enumerate<VkPhysicalDevice>([&](uint32_t* n, VkPhysicalDevice* d) {
             vkEnumeratePhysicalDevices(result->instance, n, d);
         })) {
        VkPhysicalDeviceProperties properties;
        vkGetPhysicalDeviceProperties(candidate, &properties);
        auto families = enumerate<VkQueueFamilyProperties>([&](uint32_t* n, VkQueueFamilyProperties* f) {
            vkGetPhysicalDeviceQueueFamilyProperties(candidate, n, f);
        });
        for (uint32_t i = 0; i < families.size(); i++) {
            VkBool32 presents = VK_FALSE;
            vkGetPhysicalDeviceSurfaceSupportKHR(candidate, i, result->surface, &presents);
            if ((families[i].queueFlags & VK_QUEUE_GRAPHICS_BIT) && presents &&
                preference(properties.deviceType) > best) {
                best = preference(properties.deviceType);
                result->physicalDevice = candidate;
                result->queueFamily = i;
            }
        }
    }
    if (!result->physicalDevice) {
        delete result;
        return nullptr;
    }
    if (!multisample) {
        printf(" - MSAA is OFF\n");
    } else {
        VkPhysicalDeviceProperties properties;
        vkGetPhysicalDeviceProperties(result->physicalDevice, &properties);
        VkSampleCountFlags offered =
            properties.limits.framebufferColorSampleCounts & properties.limits.framebufferDepthSampleCounts;
        int n = firstSampleCount(samples);
        while (n > 1 && !(offered & VkSampleCountFlags(n))) n /= 2;
        if (n > 1) {
            result->samples = VkSampleCountFlagBits(n);
            printf(" - Valid MSAA samples: %d (MSAA is ON)\n", n);
        } else {
            printf(" - No valid MSAA samples were found (MSAA is OFF)\n");
        }
    }
    fflush(stdout);
    return result;
}

bool VulkanContext::createContext(DrawableContext* target) {
    if (!dynamic_cast<VulkanDrawable*>(target)) return false;
    currentDrawable = target;
    return createDevice();
}

bool VulkanContext::check(VkResult result) {
    if (result == VK_ERROR_DEVICE_LOST) deviceLost = true;
    return result == VK_SUCCESS;
}

bool VulkanContext::createDevice() {
    VulkanDrawable* target = drawable();
    const float priority = 1.0f;
    VkDeviceQueueCreateInfo queueInfo{VK_STRUCTURE_TYPE_DEVICE_QUEUE_CREATE_INFO};
    queueInfo.queueFamilyIndex = target->queueFamily;
    queueInfo.queueCount = 1;
    queueInfo.pQueuePriorities = &priority;
    const char* extensions[] = {VK_KHR_SWAPCHAIN_EXTENSION_NAME};
    VkDeviceCreateInfo info{VK_STRUCTURE_TYPE_DEVICE_CREATE_INFO};
    info.queueCreateInfoCount = 1;
    info.pQueueCreateInfos = &queueInfo;
    info.enabledExtensionCount = 1;
    info.ppEnabledExtensionNames = extensions;
    if (vkCreateDevice(target->physicalDevice, &info, nullptr, &device) != VK_SUCCESS) return false;
    if (!loadDeviceFunctions(device)) return false;
    vkGetDeviceQueue(device, target->queueFamily, 0, &queue);
    vkGetPhysicalDeviceMemoryProperties(target->physicalDevice, &memoryProperties);

    VkCommandPoolCreateInfo poolInfo{VK_STRUCTURE_TYPE_COMMAND_POOL_CREATE_INFO};
    poolInfo.flags = VK_COMMAND_POOL_CREATE_RESET_COMMAND_BUFFER_BIT;
    poolInfo.queueFamilyIndex = target->queueFamily;
    if (vkCreateCommandPool(device, &poolInfo, nullptr, &commandPool) != VK_SUCCESS) return false;
    for (Frame& frame : frames) {
        VkCommandBufferAllocateInfo allocation{VK_STRUCTURE_TYPE_COMMAND_BUFFER_ALLOCATE_INFO};
        allocation.commandPool = commandPool;
        allocation.level = VK_COMMAND_BUFFER_LEVEL_PRIMARY;
        allocation.commandBufferCount = 1;
        VkFenceCreateInfo fenceInfo{VK_STRUCTURE_TYPE_FENCE_CREATE_INFO};
        fenceInfo.flags = VK_FENCE_CREATE_SIGNALED_BIT;
        VkSemaphoreCreateInfo semaphoreInfo{VK_STRUCTURE_TYPE_SEMAPHORE_CREATE_INFO};
        if (vkAllocateCommandBuffers(device, &allocation, &frame.commands) != VK_SUCCESS ||
            vkCreateFence(device, &fenceInfo, nullptr, &frame.done) != VK_SUCCESS ||
            vkCreateSemaphore(device, &semaphoreInfo, nullptr, &frame.acquired) != VK_SUCCESS ||
            !createBuffer(streamBytes, VK_BUFFER_USAGE_VERTEX_BUFFER_BIT, frame.stream))
            return false;
    }

    // One texture a set; a few dozen textures at most, and the two of our own.
    VkDescriptorSetLayoutBinding binding{0, VK_DESCRIPTOR_TYPE_COMBINED_IMAGE_SAMPLER, 1, VK_SHADER_STAGE_FRAGMENT_BIT,
                                         nullptr};
    VkDescriptorSetLayoutCreateInfo setInfo{VK_STRUCTURE_TYPE_DESCRIPTOR_SET_LAYOUT_CREATE_INFO};
    setInfo.bindingCount = 1;
    setInfo.pBindings = &binding;
    VkDescriptorPoolSize poolSize{VK_DESCRIPTOR_TYPE_COMBINED_IMAGE_SAMPLER, 256};
    VkDescriptorPoolCreateInfo descriptorInfo{VK_STRUCTURE_TYPE_DESCRIPTOR_POOL_CREATE_INFO};
    descriptorInfo.flags = VK_DESCRIPTOR_POOL_CREATE_FREE_DESCRIPTOR_SET_BIT;
    descriptorInfo.maxSets = 256;
    descriptorInfo.poolSizeCount = 1;
    descriptorInfo.pPoolSizes = &poolSize;
    VkPushConstantRange push{VK_SHADER_STAGE_VERTEX_BIT | VK_SHADER_STAGE_FRAGMENT_BIT, 0, pushBytes};
    VkPipelineLayoutCreateInfo layoutInfo{VK_STRUCTURE_TYPE_PIPELINE_LAYOUT_CREATE_INFO};
    layoutInfo.setLayoutCount = 1;
    layoutInfo.pSetLayouts = &setLayout;
    layoutInfo.pushConstantRangeCount = 1;
    layoutInfo.pPushConstantRanges = &push;
    VkSamplerCreateInfo samplerInfo{VK_STRUCTURE_TYPE_SAMPLER_CREATE_INFO};
    samplerInfo.magFilter = samplerInfo.minFilter = VK_FILTER_LINEAR;
    samplerInfo.addressModeU = samplerInfo.addressModeV = samplerInfo.addressModeW = VK_SAMPLER_ADDRESS_MODE_REPEAT;
    samplerInfo.maxLod = 0.0f;
    VkSamplerCreateInfo nearestInfo = samplerInfo;
    nearestInfo.magFilter = nearestInfo.minFilter = VK_FILTER_NEAREST;
    if (vkCreateDescriptorSetLayout(device, &setInfo, nullptr, &setLayout) != VK_SUCCESS ||
        vkCreateDescriptorPool(device, &descriptorInfo, nullptr, &descriptorPool) != VK_SUCCESS ||
        vkCreatePipelineLayout(device, &layoutInfo, nullptr, &pipelineLayout) != VK_SUCCESS ||
        vkCreateSampler(device, &samplerInfo, nullptr, &linearSampler) != VK_SUCCESS ||
        vkCreateSampler(device, &nearestInfo, nullptr, &nearestSampler) != VK_SUCCESS)
        return false;

    // Untextured meshes still bind a texture: a white pixel.
    const uint8_t whitePixel[4] = {255, 255, 255, 255};
    if (!uploadImage(white, 1, 1, VK_FORMAT_R8G8B8A8_UNORM, whitePixel, 4)) return false;
    // The glyphs side by side in one row, one byte a pixel.
    int atlasWidth = 0, atlasHeight = 1;
    for (int c = 0; c < 128; c++) {
        glyphAtlasX[c] = atlasWidth;
        atlasWidth += bakedGlyphs[c].width;
        atlasHeight = std::max<int>(atlasHeight, bakedGlyphs[c].rows);
    }
    atlasWidth = std::max(atlasWidth, 1);
    std::vector<uint8_t> atlas(size_t(atlasWidth) * atlasHeight, 0);
    for (int c = 0; c < 128; c++) {
        const BakedGlyph& g = bakedGlyphs[c];
        for (int y = 0; y < g.rows; y++)
            for (int x = 0; x < g.width; x++)
                atlas[size_t(y) * atlasWidth + glyphAtlasX[c] + x] =
                    bakedGlyphPixels[g.offset + size_t(y) * g.width + x] ? 255 : 0;
    }
    if (!uploadImage(glyphAtlas, uint32_t(atlasWidth), uint32_t(atlasHeight), VK_FORMAT_R8_UNORM, atlas.data(),
                     atlas.size()))
        return false;

    // The streak: from (0, 0, 0.5) dark blue to (0, 0, -0.5) white.
    const float streak[12] = {0.0f, 0.0f, 0.5f, 0.0f, 0.0f, 0.5f, 0.0f, 0.0f, -0.5f, 1.0f, 1.0f, 1.0f};
    if (!createBuffer(sizeof streak, VK_BUFFER_USAGE_VERTEX_BUFFER_BIT, streakVertices)) return false;
    memcpy(streakVertices.mapped, streak, sizeof streak);
    return createSwapchain() && createPipelines();
}

// Every device object; the maps are emptied, as a reset device holds nothing.
void VulkanContext::destroyDevice() {
    if (!device) return;
    vkDeviceWaitIdle(device);
    for (auto& entry : textureResources) {
        if (auto* texture = dynamic_cast<VulkanTexture*>(entry.second)) destroyTexture(*texture);
        delete entry.second;
    }
    for (auto& entry : meshResources) {
        if (auto* mesh = dynamic_cast<VulkanMesh3D*>(entry.second)) destroyBuffer(mesh->vertices);
        delete entry.second;
    }
    textureResources.clear();
    meshResources.clear();
    destroyTexture(white);
    destroyTexture(glyphAtlas);
    destroyBuffer(streakVertices);
    destroyBuffer(captureBuffer);
    std::vector<VkPipeline*> pipelines = {&meshDepthOnly, &streakPipeline, &quadPipeline, &opaqueQuadPipeline,
                                          &textPipeline};
    for (int placement = 0; placement < texturePlacements; placement++) {
        pipelines.push_back(&meshAdditive[placement]);
        pipelines.push_back(&meshBlended[placement]);
        pipelines.push_back(&meshOpaque[placement]);
    }
    for (VkPipeline* p : pipelines) {
        if (*p) vkDestroyPipeline(device, *p, nullptr);
        *p = VK_NULL_HANDLE;
    }
    destroySwapchain();
    if (renderPass) vkDestroyRenderPass(device, renderPass, nullptr);
    renderPass = VK_NULL_HANDLE;
    swapchainFormat = VK_FORMAT_UNDEFINED;
    for (Frame& frame : frames) {
        destroyBuffer(frame.stream);
        if (frame.done) vkDestroyFence(device, frame.done, nullptr);
        if (frame.acquired) vkDestroySemaphore(device, frame.acquired, nullptr);
        frame = Frame();
    }
    if (linearSampler) vkDestroySampler(device, linearSampler, nullptr);
    if (nearestSampler) vkDestroySampler(device, nearestSampler, nullptr);
    if (pipelineLayout) vkDestroyPipelineLayout(device, pipelineLayout, nullptr);
    if (descriptorPool) vkDestroyDescriptorPool(device, descriptorPool, nullptr);
    if (setLayout) vkDestroyDescriptorSetLayout(device, setLayout, nullptr);
    if (commandPool) vkDestroyCommandPool(device, commandPool, nullptr);
    linearSampler = nearestSampler = VK_NULL_HANDLE;
    pipelineLayout = VK_NULL_HANDLE;
    descriptorPool = VK_NULL_HANDLE;
    setLayout = VK_NULL_HANDLE;
    commandPool = VK_NULL_HANDLE;
    vkDestroyDevice(device, nullptr);
    device = VK_NULL_HANDLE;
}

VulkanContext::~VulkanContext() { destroyDevice(); }

bool VulkanContext::resetDevice() {
    destroyDevice();
    deviceLost = false;
    frameOpen = false;
    return drawable() && createDevice();
}

}  // namespace vyr::test

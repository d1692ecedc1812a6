// VulkanContext: instance, device, swap chain, pipelines, uploads and the report.
#include "render/vulkan/vulkan_context.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "render/demo_scene.h"
#include "render/vulkan/baked_glyphs.h"
#include "render/vulkan/vulkan_platform.h"
#include "render/vulkan/shaders/mesh_frag.h"
#include "render/vulkan/shaders/mesh_vert.h"
#include "render/vulkan/shaders/quad_frag.h"
#include "render/vulkan/shaders/quad_vert.h"
#include "render/vulkan/shaders/streak_frag.h"
#include "render/vulkan/shaders/streak_vert.h"
#include "render/vulkan/shaders/text_frag.h"
#include "scene/object3d.h"
#include "scene/texture.h"

namespace vyr::test {

using namespace vk;

namespace {

constexpr VkDeviceSize streamBytes = 4u << 20;
constexpr VkFormat depthFormat = VK_FORMAT_D16_UNORM;

// Push constants of every pipeline: projection, colour, emission.
constexpr uint32_t pushBytes = 96;

const char* deviceTypeName(VkPhysicalDeviceType type) {
    switch (type) {
    case VK_PHYSICAL_DEVICE_TYPE_INTEGRATED_GPU: return "integrated";
    case VK_PHYSICAL_DEVICE_TYPE_DISCRETE_GPU: return "discrete";
    case VK_PHYSICAL_DEVICE_TYPE_VIRTUAL_GPU: return "virtual";
    case VK_PHYSICAL_DEVICE_TYPE_CPU: return "CPU";
    default: return "other";
    }
}

// Discrete before integrated before virtual before the rest.
int preference(VkPhysicalDeviceType type) {
    switch (type) {
    case VK_PHYSICAL_DEVICE_TYPE_DISCRETE_GPU: return 4;
    case VK_PHYSICAL_DEVICE_TYPE_INTEGRATED_GPU: return 3;
    case VK_PHYSICAL_DEVICE_TYPE_VIRTUAL_GPU: return 2;
    default: return 1;
    }
}

const char* presentModeName(VkPresentModeKHR mode) {
    switch (mode) {
    case VK_PRESENT_MODE_IMMEDIATE_KHR: return "immediate";
    case VK_PRESENT_MODE_MAILBOX_KHR: return "mailbox";
    case VK_PRESENT_MODE_FIFO_RELAXED_KHR: return "fifo relaxed";
    default: return "fifo";
    }
}

std::string versionText(uint32_t version) {
    return std::to_string(VK_API_VERSION_MAJOR(version)) + "." + std::to_string(VK_API_VERSION_MINOR(version)) + "." +
           std::to_string(VK_API_VERSION_PATCH(version));
}

template <typename T, typename F>
std::vector<T> enumerate(F&& call) {
    uint32_t count = 0;
    call(&count, nullptr);
    std::vector<T> items(count);
    call(&count, items.data());
    items.resize(count);
    return items;
}

std::string extensionList(const std::vector<VkExtensionProperties>& extensions) {
    std::string text;
    for (const VkExtensionProperties& e : extensions) text += std::string(e.extensionName) + " ";
    return text;
}

// RGBA8 rows from any of the pack's formats.
std::vector<uint8_t> rgbaPixels(const Texture& texture) {
    std::vector<uint8_t> out(size_t(texture.width) * texture.height * 4, 255);
    for (uint32_t y = 0; y < texture.height; y++) {
        const uint8_t* in = texture.pixels + size_t(y) * texture.pitch;
        uint8_t* row = out.data() + size_t(y) * texture.width * 4;
        for (uint32_t x = 0; x < texture.width; x++) {
            if (texture.format == RGBA8) {
                memcpy(row + x * 4, in + x * 4, 4);
            } else if (texture.format == RGB8) {
                memcpy(row + x * 4, in + x * 3, 3);
            } else {
                row[x * 4] = row[x * 4 + 1] = row[x * 4 + 2] = in[x];
            }
        }
    }
    return out;
}

}  // namespace

RenderingContext* createVulkanContext() { return new VulkanContext(); }

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

bool VulkanContext::createSwapchain() {
    VulkanDrawable* target = drawable();
    VkSurfaceCapabilitiesKHR capabilities;
    if (!check(vkGetPhysicalDeviceSurfaceCapabilitiesKHR(target->physicalDevice, target->surface, &capabilities)))
        return false;
    extent = capabilities.currentExtent;
    if (extent.width == UINT32_MAX) extent = {std::max(width, 1u), std::max(height, 1u)};
    swapchainStale = false;
    if (extent.width == 0 || extent.height == 0) return true;  // minimised: nothing to draw into

    auto formats = enumerate<VkSurfaceFormatKHR>([&](uint32_t* n, VkSurfaceFormatKHR* f) {
        vkGetPhysicalDeviceSurfaceFormatsKHR(target->physicalDevice, target->surface, n, f);
    });
    if (formats.empty()) return false;
    VkSurfaceFormatKHR format = formats[0];
    for (const VkSurfaceFormatKHR& f : formats)
        if (f.format == VK_FORMAT_B8G8R8A8_UNORM || f.format == VK_FORMAT_R8G8B8A8_UNORM) format = f;
    // Without vertical synchronisation: immediate, else mailbox, else FIFO.
    presentMode = VK_PRESENT_MODE_FIFO_KHR;
    if (!target->vsync) {
        auto modes = enumerate<VkPresentModeKHR>([&](uint32_t* n, VkPresentModeKHR* m) {
            vkGetPhysicalDeviceSurfacePresentModesKHR(target->physicalDevice, target->surface, n, m);
        });
        for (VkPresentModeKHR wanted : {VK_PRESENT_MODE_IMMEDIATE_KHR, VK_PRESENT_MODE_MAILBOX_KHR})
            if (presentMode == VK_PRESENT_MODE_FIFO_KHR && std::count(modes.begin(), modes.end(), wanted))
                presentMode = wanted;
    }
    VkSwapchainCreateInfoKHR info{VK_STRUCTURE_TYPE_SWAPCHAIN_CREATE_INFO_KHR};
    info.surface = target->surface;
    info.minImageCount = capabilities.minImageCount + 1;
    if (capabilities.maxImageCount) info.minImageCount = std::min(info.minImageCount, capabilities.maxImageCount);
    info.imageFormat = format.format;
    info.imageColorSpace = format.colorSpace;
    info.imageExtent = extent;
    info.imageArrayLayers = 1;
    info.imageUsage = VK_IMAGE_USAGE_COLOR_ATTACHMENT_BIT;
    info.imageSharingMode = VK_SHARING_MODE_EXCLUSIVE;
    info.preTransform = capabilities.currentTransform;
    info.compositeAlpha = (capabilities.supportedCompositeAlpha & VK_COMPOSITE_ALPHA_OPAQUE_BIT_KHR)
                              ? VK_COMPOSITE_ALPHA_OPAQUE_BIT_KHR
                              : VkCompositeAlphaFlagBitsKHR(capabilities.supportedCompositeAlpha &
                                                            -capabilities.supportedCompositeAlpha);
    info.presentMode = presentMode;
    info.clipped = VK_TRUE;
    info.oldSwapchain = swapchain;
    VkSwapchainKHR created = VK_NULL_HANDLE;
    VkResult result = vkCreateSwapchainKHR(device, &info, nullptr, &created);
    destroySwapchain();
    if (!check(result)) return false;
    swapchain = created;
    driverFacts.presentMode = presentModeName(presentMode);
    driverFacts.swapInterval = presentMode == VK_PRESENT_MODE_FIFO_KHR ? 1 : 0;

    // The render pass follows the format, which does not change for a surface.
    if (!renderPass || format.format != swapchainFormat) {
        if (renderPass) vkDestroyRenderPass(device, renderPass, nullptr);
        swapchainFormat = format.format;
        const VkSampleCountFlagBits samples = target->samples;
        const bool resolve = samples != VK_SAMPLE_COUNT_1_BIT;
        VkAttachmentDescription attachments[3] = {};
        attachments[0].format = swapchainFormat;
        attachments[0].samples = samples;
        attachments[0].loadOp = VK_ATTACHMENT_LOAD_OP_CLEAR;
        attachments[0].storeOp = resolve ? VK_ATTACHMENT_STORE_OP_DONT_CARE : VK_ATTACHMENT_STORE_OP_STORE;
        attachments[0].stencilLoadOp = VK_ATTACHMENT_LOAD_OP_DONT_CARE;
        attachments[0].stencilStoreOp = VK_ATTACHMENT_STORE_OP_DONT_CARE;
        attachments[0].initialLayout = VK_IMAGE_LAYOUT_UNDEFINED;
        attachments[0].finalLayout = resolve ? VK_IMAGE_LAYOUT_COLOR_ATTACHMENT_OPTIMAL : VK_IMAGE_LAYOUT_PRESENT_SRC_KHR;
        attachments[1] = attachments[0];
        attachments[1].format = depthFormat;
        attachments[1].storeOp = VK_ATTACHMENT_STORE_OP_DONT_CARE;
        attachments[1].finalLayout = VK_IMAGE_LAYOUT_DEPTH_STENCIL_ATTACHMENT_OPTIMAL;
        attachments[2] = attachments[0];
        attachments[2].samples = VK_SAMPLE_COUNT_1_BIT;
        attachments[2].loadOp = VK_ATTACHMENT_LOAD_OP_DONT_CARE;
        attachments[2].storeOp = VK_ATTACHMENT_STORE_OP_STORE;
        attachments[2].finalLayout = VK_IMAGE_LAYOUT_PRESENT_SRC_KHR;
        VkAttachmentReference colourRef{0, VK_IMAGE_LAYOUT_COLOR_ATTACHMENT_OPTIMAL};
        VkAttachmentReference depthRef{1, VK_IMAGE_LAYOUT_DEPTH_STENCIL_ATTACHMENT_OPTIMAL};
        VkAttachmentReference resolveRef{2, VK_IMAGE_LAYOUT_COLOR_ATTACHMENT_OPTIMAL};
        VkSubpassDescription subpass{};
        subpass.pipelineBindPoint = VK_PIPELINE_BIND_POINT_GRAPHICS;
        subpass.colorAttachmentCount = 1;
        subpass.pColorAttachments = &colourRef;
        subpass.pDepthStencilAttachment = &depthRef;
        if (resolve) subpass.pResolveAttachments = &resolveRef;
        VkSubpassDependency dependency{};
        dependency.srcSubpass = VK_SUBPASS_EXTERNAL;
        dependency.dstSubpass = 0;
        dependency.srcStageMask =
            VK_PIPELINE_STAGE_COLOR_ATTACHMENT_OUTPUT_BIT | VK_PIPELINE_STAGE_LATE_FRAGMENT_TESTS_BIT;
        dependency.dstStageMask =
            VK_PIPELINE_STAGE_COLOR_ATTACHMENT_OUTPUT_BIT | VK_PIPELINE_STAGE_EARLY_FRAGMENT_TESTS_BIT;
        dependency.srcAccessMask = VK_ACCESS_DEPTH_STENCIL_ATTACHMENT_WRITE_BIT;
        dependency.dstAccessMask = VK_ACCESS_COLOR_ATTACHMENT_WRITE_BIT | VK_ACCESS_DEPTH_STENCIL_ATTACHMENT_WRITE_BIT;
        VkRenderPassCreateInfo passInfo{VK_STRUCTURE_TYPE_RENDER_PASS_CREATE_INFO};
        passInfo.attachmentCount = resolve ? 3 : 2;
        passInfo.pAttachments = attachments;
        passInfo.subpassCount = 1;
        passInfo.pSubpasses = &subpass;
        passInfo.dependencyCount = 1;
        passInfo.pDependencies = &dependency;
        if (vkCreateRenderPass(device, &passInfo, nullptr, &renderPass) != VK_SUCCESS) return false;
    }

    const VkSampleCountFlagBits samples = drawable()->samples;
    const bool resolve = samples != VK_SAMPLE_COUNT_1_BIT;
    if (!createImage(extent.width, extent.height, depthFormat, VK_IMAGE_USAGE_DEPTH_STENCIL_ATTACHMENT_BIT, samples,
                     VK_IMAGE_ASPECT_DEPTH_BIT, depth))
        return false;
    if (resolve && !createImage(extent.width, extent.height, swapchainFormat,
                                VK_IMAGE_USAGE_COLOR_ATTACHMENT_BIT | VK_IMAGE_USAGE_TRANSIENT_ATTACHMENT_BIT, samples,
                                VK_IMAGE_ASPECT_COLOR_BIT, multisampled))
        return false;
    swapchainImages = enumerate<VkImage>([&](uint32_t* n, VkImage* i) { vkGetSwapchainImagesKHR(device, swapchain, n, i); });
    for (VkImage image : swapchainImages) {
        VkImageViewCreateInfo viewInfo{VK_STRUCTURE_TYPE_IMAGE_VIEW_CREATE_INFO};
        viewInfo.image = image;
        viewInfo.viewType = VK_IMAGE_VIEW_TYPE_2D;
        viewInfo.format = swapchainFormat;
        viewInfo.subresourceRange = {VK_IMAGE_ASPECT_COLOR_BIT, 0, 1, 0, 1};
        VkImageView view = VK_NULL_HANDLE;
        if (vkCreateImageView(device, &viewInfo, nullptr, &view) != VK_SUCCESS) return false;
        swapchainViews.push_back(view);
        VkImageView views[3] = {resolve ? multisampled.view : view, depth.view, view};
        VkFramebufferCreateInfo framebufferInfo{VK_STRUCTURE_TYPE_FRAMEBUFFER_CREATE_INFO};
        framebufferInfo.renderPass = renderPass;
        framebufferInfo.attachmentCount = resolve ? 3 : 2;
        framebufferInfo.pAttachments = views;
        framebufferInfo.width = extent.width;
        framebufferInfo.height = extent.height;
        framebufferInfo.layers = 1;
        VkFramebuffer framebuffer = VK_NULL_HANDLE;
        if (vkCreateFramebuffer(device, &framebufferInfo, nullptr, &framebuffer) != VK_SUCCESS) return false;
        framebuffers.push_back(framebuffer);
        VkSemaphoreCreateInfo semaphoreInfo{VK_STRUCTURE_TYPE_SEMAPHORE_CREATE_INFO};
        VkSemaphore semaphore = VK_NULL_HANDLE;
        if (vkCreateSemaphore(device, &semaphoreInfo, nullptr, &semaphore) != VK_SUCCESS) return false;
        rendered.push_back(semaphore);
    }
    return true;
}

// Everything that follows the swap chain's images, and the old swap chain.
void VulkanContext::destroySwapchain() {
    for (VkFramebuffer f : framebuffers) vkDestroyFramebuffer(device, f, nullptr);
    for (VkImageView v : swapchainViews) vkDestroyImageView(device, v, nullptr);
    for (VkSemaphore s : rendered) vkDestroySemaphore(device, s, nullptr);
    framebuffers.clear();
    swapchainViews.clear();
    rendered.clear();
    swapchainImages.clear();
    destroyImage(depth);
    destroyImage(multisampled);
    if (swapchain) vkDestroySwapchainKHR(device, swapchain, nullptr);
    swapchain = VK_NULL_HANDLE;
}

bool VulkanContext::createPipelines() {
    struct Shader {
        const uint32_t* code;
        size_t bytes;
    };
    auto module = [&](Shader shader) {
        VkShaderModuleCreateInfo info{VK_STRUCTURE_TYPE_SHADER_MODULE_CREATE_INFO};
        info.codeSize = shader.bytes;
        info.pCode = shader.code;
        VkShaderModule m = VK_NULL_HANDLE;
        vkCreateShaderModule(device, &info, nullptr, &m);
        return m;
    };
    // NoColour: the draw writes depth only.
    enum class Blend { Off, Add, Alpha, NoColour };
    // Vertex input: binding 0 per vertex, binding 1 (when present) a matrix per instance.
    struct Layout {
        std::vector<VkVertexInputBindingDescription> bindings;
        std::vector<VkVertexInputAttributeDescription> attributes;
    };
    // An instance is its model-view matrix and then its normal matrix, three
    // columns padded to four floats (instanceFloats).
    auto withInstanceMatrix = [](Layout layout, bool normals) {
        layout.bindings.push_back({layout.bindings.size() == 2 ? 2u : 1u, instanceFloats * 4, VK_VERTEX_INPUT_RATE_INSTANCE});
        uint32_t binding = layout.bindings.back().binding;
        for (uint32_t column = 0; column < (normals ? 7u : 4u); column++)
            layout.attributes.push_back({2 + column, binding, column < 4 ? VK_FORMAT_R32G32B32A32_SFLOAT
                                                                        : VK_FORMAT_R32G32B32_SFLOAT, column * 16});
        return layout;
    };
    // Meshes: positions and normals from two ranges of one buffer.
    Layout meshLayout = withInstanceMatrix({{{0, 12, VK_VERTEX_INPUT_RATE_VERTEX}, {1, 12, VK_VERTEX_INPUT_RATE_VERTEX}},
                                            {{0, 0, VK_FORMAT_R32G32B32_SFLOAT, 0}, {1, 1, VK_FORMAT_R32G32B32_SFLOAT, 0}}},
                                           true);
    Layout streakLayout = withInstanceMatrix(
        {{{0, 24, VK_VERTEX_INPUT_RATE_VERTEX}},
         {{0, 0, VK_FORMAT_R32G32B32_SFLOAT, 0}, {1, 0, VK_FORMAT_R32G32B32_SFLOAT, 12}}},
        false);
    Layout quadLayout{{{0, 20, VK_VERTEX_INPUT_RATE_VERTEX}},
                      {{0, 0, VK_FORMAT_R32G32B32_SFLOAT, 0}, {1, 0, VK_FORMAT_R32G32_SFLOAT, 12}}};

    enum class Depth { Off, Test, TestAndWrite };
    // placement: the value of both shaders' constant 0.
    auto make = [&](Shader vertex, Shader fragment, const Layout& layout, VkPrimitiveTopology topology, Blend blend,
                    Depth depth, int32_t placement = 0) {
        VkShaderModule modules[2] = {module(vertex), module(fragment)};
        const VkSpecializationMapEntry entry{0, 0, sizeof placement};
        const VkSpecializationInfo constants{1, &entry, sizeof placement, &placement};
        VkPipelineShaderStageCreateInfo stages[2] = {{VK_STRUCTURE_TYPE_PIPELINE_SHADER_STAGE_CREATE_INFO},
                                                     {VK_STRUCTURE_TYPE_PIPELINE_SHADER_STAGE_CREATE_INFO}};
        stages[0].stage = VK_SHADER_STAGE_VERTEX_BIT;
        stages[0].module = modules[0];
        stages[0].pName = "main";
        stages[0].pSpecializationInfo = &constants;
        stages[1].stage = VK_SHADER_STAGE_FRAGMENT_BIT;
        stages[1].module = modules[1];
        stages[1].pName = "main";
        stages[1].pSpecializationInfo = &constants;
        VkPipelineVertexInputStateCreateInfo input{VK_STRUCTURE_TYPE_PIPELINE_VERTEX_INPUT_STATE_CREATE_INFO};
        input.vertexBindingDescriptionCount = uint32_t(layout.bindings.size());
        input.pVertexBindingDescriptions = layout.bindings.data();
        input.vertexAttributeDescriptionCount = uint32_t(layout.attributes.size());
        input.pVertexAttributeDescriptions = layout.attributes.data();
        VkPipelineInputAssemblyStateCreateInfo assembly{VK_STRUCTURE_TYPE_PIPELINE_INPUT_ASSEMBLY_STATE_CREATE_INFO};
        assembly.topology = topology;
        VkPipelineViewportStateCreateInfo viewport{VK_STRUCTURE_TYPE_PIPELINE_VIEWPORT_STATE_CREATE_INFO};
        viewport.viewportCount = viewport.scissorCount = 1;
        VkPipelineRasterizationStateCreateInfo raster{VK_STRUCTURE_TYPE_PIPELINE_RASTERIZATION_STATE_CREATE_INFO};
        raster.polygonMode = VK_POLYGON_MODE_FILL;
        raster.cullMode = VK_CULL_MODE_NONE;  // OpenGL's default: both sides drawn
        raster.lineWidth = 1.0f;
        VkPipelineMultisampleStateCreateInfo multisample{VK_STRUCTURE_TYPE_PIPELINE_MULTISAMPLE_STATE_CREATE_INFO};
        multisample.rasterizationSamples = drawable()->samples;
        VkPipelineDepthStencilStateCreateInfo depthState{VK_STRUCTURE_TYPE_PIPELINE_DEPTH_STENCIL_STATE_CREATE_INFO};
        depthState.depthTestEnable = depth != Depth::Off;
        depthState.depthWriteEnable = depth == Depth::TestAndWrite;
        depthState.depthCompareOp = VK_COMPARE_OP_LESS_OR_EQUAL;
        VkPipelineColorBlendAttachmentState attachment{};
        attachment.colorWriteMask = blend == Blend::NoColour ? 0 : 0xF;
        attachment.blendEnable = blend == Blend::Add || blend == Blend::Alpha;
        attachment.srcColorBlendFactor = attachment.srcAlphaBlendFactor =
            blend == Blend::Add ? VK_BLEND_FACTOR_ONE : VK_BLEND_FACTOR_SRC_ALPHA;
        attachment.dstColorBlendFactor = attachment.dstAlphaBlendFactor =
            blend == Blend::Add ? VK_BLEND_FACTOR_ONE : VK_BLEND_FACTOR_ONE_MINUS_SRC_ALPHA;
        attachment.colorBlendOp = attachment.alphaBlendOp = VK_BLEND_OP_ADD;
        VkPipelineColorBlendStateCreateInfo blendState{VK_STRUCTURE_TYPE_PIPELINE_COLOR_BLEND_STATE_CREATE_INFO};
        blendState.attachmentCount = 1;
        blendState.pAttachments = &attachment;
        VkDynamicState dynamic[2] = {VK_DYNAMIC_STATE_VIEWPORT, VK_DYNAMIC_STATE_SCISSOR};
        VkPipelineDynamicStateCreateInfo dynamicState{VK_STRUCTURE_TYPE_PIPELINE_DYNAMIC_STATE_CREATE_INFO};
        dynamicState.dynamicStateCount = 2;
        dynamicState.pDynamicStates = dynamic;
        VkGraphicsPipelineCreateInfo info{VK_STRUCTURE_TYPE_GRAPHICS_PIPELINE_CREATE_INFO};
        info.stageCount = 2;
        info.pStages = stages;
        info.pVertexInputState = &input;
        info.pInputAssemblyState = &assembly;
        info.pViewportState = &viewport;
        info.pRasterizationState = &raster;
        info.pMultisampleState = &multisample;
        info.pDepthStencilState = &depthState;
        info.pColorBlendState = &blendState;
        info.pDynamicState = &dynamicState;
        info.layout = pipelineLayout;
        info.renderPass = renderPass;
        VkPipeline pipeline = VK_NULL_HANDLE;
        if (modules[0] && modules[1]) vkCreateGraphicsPipelines(device, VK_NULL_HANDLE, 1, &info, nullptr, &pipeline);
        for (VkShaderModule m : modules)
            if (m) vkDestroyShaderModule(device, m, nullptr);
        return pipeline;
    };
    const Shader meshVert{mesh_vert, sizeof mesh_vert}, meshFrag{mesh_frag, sizeof mesh_frag};
    const Shader quadVert{quad_vert, sizeof quad_vert}, quadFrag{quad_frag, sizeof quad_frag};
    const Shader streakVert{streak_vert, sizeof streak_vert}, streakFrag{streak_frag, sizeof streak_frag};
    const Shader textFrag{text_frag, sizeof text_frag};
    const VkPrimitiveTopology triangles = VK_PRIMITIVE_TOPOLOGY_TRIANGLE_LIST;
    // The stars add up without writing depth; the logos write it, blended or not
    // or only the depth (meshPipeline chooses).
    static_assert(texturePlacements == int(TexturePlacement::ObjectLinear) + 1, "one mesh pipeline a placement");
    bool made = true;
    for (int placement = 0; placement < texturePlacements; placement++) {
        meshAdditive[placement] = make(meshVert, meshFrag, meshLayout, triangles, Blend::Add, Depth::Test, placement);
        meshBlended[placement] =
            make(meshVert, meshFrag, meshLayout, triangles, Blend::Alpha, Depth::TestAndWrite, placement);
        meshOpaque[placement] =
            make(meshVert, meshFrag, meshLayout, triangles, Blend::Off, Depth::TestAndWrite, placement);
        made = made && meshAdditive[placement] && meshBlended[placement] && meshOpaque[placement];
    }
    streakPipeline = make(streakVert, streakFrag, streakLayout, VK_PRIMITIVE_TOPOLOGY_LINE_LIST, Blend::Off, Depth::Test);
    quadPipeline = make(quadVert, quadFrag, quadLayout, triangles, Blend::Alpha, Depth::Off);
    opaqueQuadPipeline = make(quadVert, quadFrag, quadLayout, triangles, Blend::Off, Depth::Off);
    textPipeline = make(quadVert, textFrag, quadLayout, triangles, Blend::Off, Depth::Off);
    meshDepthOnly = make(meshVert, meshFrag, meshLayout, triangles, Blend::NoColour, Depth::TestAndWrite);
    return made && meshDepthOnly && streakPipeline && quadPipeline && opaqueQuadPipeline && textPipeline;
}

bool VulkanContext::allocate(VkMemoryRequirements needs, VkMemoryPropertyFlags flags, VkDeviceMemory& memory) {
    for (uint32_t i = 0; i < memoryProperties.memoryTypeCount; i++) {
        if ((needs.memoryTypeBits & (1u << i)) && (memoryProperties.memoryTypes[i].propertyFlags & flags) == flags) {
            VkMemoryAllocateInfo info{VK_STRUCTURE_TYPE_MEMORY_ALLOCATE_INFO};
            info.allocationSize = needs.size;
            info.memoryTypeIndex = i;
            return check(vkAllocateMemory(device, &info, nullptr, &memory));
        }
    }
    return false;
}

// Host-visible and mapped for the buffer's life: the scene's buffers are small
// or written every frame.
bool VulkanContext::createBuffer(VkDeviceSize size, VkBufferUsageFlags usage, VulkanBuffer& buffer) {
    VkBufferCreateInfo info{VK_STRUCTURE_TYPE_BUFFER_CREATE_INFO};
    info.size = std::max<VkDeviceSize>(size, 4);
    info.usage = usage;
    info.sharingMode = VK_SHARING_MODE_EXCLUSIVE;
    if (!check(vkCreateBuffer(device, &info, nullptr, &buffer.buffer))) return false;
    VkMemoryRequirements needs;
    vkGetBufferMemoryRequirements(device, buffer.buffer, &needs);
    if (!allocate(needs, VK_MEMORY_PROPERTY_HOST_VISIBLE_BIT | VK_MEMORY_PROPERTY_HOST_COHERENT_BIT, buffer.memory) ||
        !check(vkBindBufferMemory(device, buffer.buffer, buffer.memory, 0)) ||
        !check(vkMapMemory(device, buffer.memory, 0, VK_WHOLE_SIZE, 0, &buffer.mapped)))
        return false;
    buffer.size = info.size;
    return true;
}

void VulkanContext::destroyBuffer(VulkanBuffer& buffer) {
    if (buffer.buffer) vkDestroyBuffer(device, buffer.buffer, nullptr);
    if (buffer.memory) vkFreeMemory(device, buffer.memory, nullptr);
    buffer = VulkanBuffer();
}

bool VulkanContext::createImage(uint32_t w, uint32_t h, VkFormat format, VkImageUsageFlags usage,
                                VkSampleCountFlagBits samples, VkImageAspectFlags aspect, VulkanImage& image) {
    VkImageCreateInfo info{VK_STRUCTURE_TYPE_IMAGE_CREATE_INFO};
    info.imageType = VK_IMAGE_TYPE_2D;
    info.format = format;
    info.extent = {w, h, 1};
    info.mipLevels = info.arrayLayers = 1;
    info.samples = samples;
    info.tiling = VK_IMAGE_TILING_OPTIMAL;
    info.usage = usage;
    info.initialLayout = VK_IMAGE_LAYOUT_UNDEFINED;
    if (!check(vkCreateImage(device, &info, nullptr, &image.image))) return false;
    VkMemoryRequirements needs;
    vkGetImageMemoryRequirements(device, image.image, &needs);
    if (!allocate(needs, VK_MEMORY_PROPERTY_DEVICE_LOCAL_BIT, image.memory) &&
        !allocate(needs, 0, image.memory))
        return false;
    if (!check(vkBindImageMemory(device, image.image, image.memory, 0))) return false;
    VkImageViewCreateInfo viewInfo{VK_STRUCTURE_TYPE_IMAGE_VIEW_CREATE_INFO};
    viewInfo.image = image.image;
    viewInfo.viewType = VK_IMAGE_VIEW_TYPE_2D;
    viewInfo.format = format;
    viewInfo.subresourceRange = {aspect, 0, 1, 0, 1};
    return check(vkCreateImageView(device, &viewInfo, nullptr, &image.view));
}

void VulkanContext::destroyImage(VulkanImage& image) {
    if (image.view) vkDestroyImageView(device, image.view, nullptr);
    if (image.image) vkDestroyImage(device, image.image, nullptr);
    if (image.memory) vkFreeMemory(device, image.memory, nullptr);
    image = VulkanImage();
}

// Copies the pixels in through a staging buffer and waits: uploads happen at
// start-up and after a device reset, never per frame.
bool VulkanContext::uploadImage(VulkanTexture& texture, uint32_t w, uint32_t h, VkFormat format, const uint8_t* pixels,
                                size_t bytes) {
    destroyTexture(texture);
    VulkanBuffer staging;
    if (!createBuffer(bytes, VK_BUFFER_USAGE_TRANSFER_SRC_BIT, staging)) return false;
    memcpy(staging.mapped, pixels, bytes);
    bool made = createImage(w, h, format, VK_IMAGE_USAGE_SAMPLED_BIT | VK_IMAGE_USAGE_TRANSFER_DST_BIT,
                            VK_SAMPLE_COUNT_1_BIT, VK_IMAGE_ASPECT_COLOR_BIT, texture.image);
    VkCommandBuffer commands = VK_NULL_HANDLE;
    VkCommandBufferAllocateInfo allocation{VK_STRUCTURE_TYPE_COMMAND_BUFFER_ALLOCATE_INFO};
    allocation.commandPool = commandPool;
    allocation.level = VK_COMMAND_BUFFER_LEVEL_PRIMARY;
    allocation.commandBufferCount = 1;
    if (made && check(vkAllocateCommandBuffers(device, &allocation, &commands))) {
        VkCommandBufferBeginInfo begin{VK_STRUCTURE_TYPE_COMMAND_BUFFER_BEGIN_INFO};
        begin.flags = VK_COMMAND_BUFFER_USAGE_ONE_TIME_SUBMIT_BIT;
        vkBeginCommandBuffer(commands, &begin);
        VkImageMemoryBarrier barrier{VK_STRUCTURE_TYPE_IMAGE_MEMORY_BARRIER};
        barrier.srcQueueFamilyIndex = barrier.dstQueueFamilyIndex = VK_QUEUE_FAMILY_IGNORED;
        barrier.image = texture.image.image;
        barrier.subresourceRange = {VK_IMAGE_ASPECT_COLOR_BIT, 0, 1, 0, 1};
        barrier.oldLayout = VK_IMAGE_LAYOUT_UNDEFINED;
        barrier.newLayout = VK_IMAGE_LAYOUT_TRANSFER_DST_OPTIMAL;
        barrier.dstAccessMask = VK_ACCESS_TRANSFER_WRITE_BIT;
        vkCmdPipelineBarrier(commands, VK_PIPELINE_STAGE_TOP_OF_PIPE_BIT, VK_PIPELINE_STAGE_TRANSFER_BIT, 0, 0, nullptr,
                             0, nullptr, 1, &barrier);
        VkBufferImageCopy copy{};
        copy.imageSubresource = {VK_IMAGE_ASPECT_COLOR_BIT, 0, 0, 1};
        copy.imageExtent = {w, h, 1};
        vkCmdCopyBufferToImage(commands, staging.buffer, texture.image.image, VK_IMAGE_LAYOUT_TRANSFER_DST_OPTIMAL, 1,
                               &copy);
        barrier.oldLayout = VK_IMAGE_LAYOUT_TRANSFER_DST_OPTIMAL;
        barrier.newLayout = VK_IMAGE_LAYOUT_SHADER_READ_ONLY_OPTIMAL;
        barrier.srcAccessMask = VK_ACCESS_TRANSFER_WRITE_BIT;
        barrier.dstAccessMask = VK_ACCESS_SHADER_READ_BIT;
        vkCmdPipelineBarrier(commands, VK_PIPELINE_STAGE_TRANSFER_BIT, VK_PIPELINE_STAGE_FRAGMENT_SHADER_BIT, 0, 0,
                             nullptr, 0, nullptr, 1, &barrier);
        vkEndCommandBuffer(commands);
        VkSubmitInfo submit{VK_STRUCTURE_TYPE_SUBMIT_INFO};
        submit.commandBufferCount = 1;
        submit.pCommandBuffers = &commands;
        made = check(vkQueueSubmit(queue, 1, &submit, VK_NULL_HANDLE)) && check(vkQueueWaitIdle(queue));
        vkFreeCommandBuffers(device, commandPool, 1, &commands);
    } else {
        made = false;
    }
    destroyBuffer(staging);
    VkDescriptorSetAllocateInfo setInfo{VK_STRUCTURE_TYPE_DESCRIPTOR_SET_ALLOCATE_INFO};
    setInfo.descriptorPool = descriptorPool;
    setInfo.descriptorSetCount = 1;
    setInfo.pSetLayouts = &setLayout;
    if (!made || !check(vkAllocateDescriptorSets(device, &setInfo, &texture.descriptor))) return false;
    VkDescriptorImageInfo imageInfo{format == VK_FORMAT_R8_UNORM ? nearestSampler : linearSampler, texture.image.view,
                                    VK_IMAGE_LAYOUT_SHADER_READ_ONLY_OPTIMAL};
    VkWriteDescriptorSet write{VK_STRUCTURE_TYPE_WRITE_DESCRIPTOR_SET};
    write.dstSet = texture.descriptor;
    write.descriptorCount = 1;
    write.descriptorType = VK_DESCRIPTOR_TYPE_COMBINED_IMAGE_SAMPLER;
    write.pImageInfo = &imageInfo;
    vkUpdateDescriptorSets(device, 1, &write, 0, nullptr);
    return true;
}

void VulkanContext::destroyTexture(VulkanTexture& texture) {
    if (texture.descriptor) vkFreeDescriptorSets(device, descriptorPool, 1, &texture.descriptor);
    texture.descriptor = VK_NULL_HANDLE;
    destroyImage(texture.image);
}

VulkanTexture* VulkanContext::heldTexture(Texture* texture) {
    auto found = texture ? textureResources.find(texture) : textureResources.end();
    VulkanTexture* held = found != textureResources.end() ? dynamic_cast<VulkanTexture*>(found->second) : nullptr;
    return held && held->descriptor ? held : nullptr;
}

bool VulkanContext::uploadTexture(Texture* texture, const float*) {
    if (!texture || !device) return false;
    RenderingTexture*& entry = textureResources[texture];
    auto* held = dynamic_cast<VulkanTexture*>(entry);
    if (!held) {
        delete entry;
        held = new VulkanTexture();
        entry = held;
    }
    if (!texture->pixels || texture->width == 0 || texture->height == 0) return true;
    // A texture handed over again replaces its image; no frame may still read the old one.
    if (held->descriptor) vkDeviceWaitIdle(device);
    std::vector<uint8_t> pixels = rgbaPixels(*texture);
    held->opaque = true;
    for (size_t alpha = 3; alpha < pixels.size() && held->opaque; alpha += 4) held->opaque = pixels[alpha] == 255;
    return uploadImage(*held, texture->width, texture->height, VK_FORMAT_R8G8B8A8_UNORM, pixels.data(), pixels.size());
}

bool VulkanContext::uploadMesh(Object3D* object) {
    if (!object || !device) return true;
    if (Mesh3D* mesh = dynamic_cast<Mesh3D*>(object)) {
        RenderingMesh3D*& entry = meshResources[object];
        auto* held = dynamic_cast<VulkanMesh3D*>(entry);
        if (!held) {
            delete entry;
            held = new VulkanMesh3D();
            entry = held;
        }
        const size_t bytes = size_t(36) * mesh->triangleCount;
        if (held->vertices.size < bytes * 2) {
            if (held->vertices.buffer) vkDeviceWaitIdle(device);
            destroyBuffer(held->vertices);
            if (!createBuffer(bytes * 2, VK_BUFFER_USAGE_VERTEX_BUFFER_BIT, held->vertices)) return false;
        }
        if (mesh->vertices) memcpy(held->vertices.mapped, mesh->vertices, bytes);
        if (mesh->normals) memcpy(static_cast<uint8_t*>(held->vertices.mapped) + bytes, mesh->normals, bytes);
        held->vertexCount = mesh->vertices && mesh->normals ? 3 * mesh->triangleCount : 0;
    }
    for (Object3D* child : object->children)
        if (child && !uploadMesh(child)) return false;
    return true;
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

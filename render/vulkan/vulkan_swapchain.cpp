// VulkanContext: the swap chain, its render pass, framebuffers and the depth and
// multisampled images that follow its size.
#include <algorithm>

#include "render/vulkan/vulkan_context.h"
#include "render/vulkan/vulkan_enumerate.h"

namespace vyr::test {

using namespace vk;

namespace {

constexpr VkFormat depthFormat = VK_FORMAT_D16_UNORM;

const char* presentModeName(VkPresentModeKHR mode) {
    switch (mode) {
    case VK_PRESENT_MODE_IMMEDIATE_KHR: return "immediate";
    case VK_PRESENT_MODE_MAILBOX_KHR: return "mailbox";
    case VK_PRESENT_MODE_FIFO_RELAXED_KHR: return "fifo relaxed";
    default: return "fifo";
    }
}

}  // namespace

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
    const VkImageUsageFlags copySource =
        captureUsage ? capabilities.supportedUsageFlags & VK_IMAGE_USAGE_TRANSFER_SRC_BIT : 0;
    info.imageUsage = VK_IMAGE_USAGE_COLOR_ATTACHMENT_BIT | copySource;
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
    swapchainReadable = copySource != 0;
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
        VkSubpassDependency dependencies[2] = {};
        dependencies[0].srcSubpass = VK_SUBPASS_EXTERNAL;
        dependencies[0].dstSubpass = 0;
        dependencies[0].srcStageMask =
            VK_PIPELINE_STAGE_COLOR_ATTACHMENT_OUTPUT_BIT | VK_PIPELINE_STAGE_LATE_FRAGMENT_TESTS_BIT;
        dependencies[0].dstStageMask =
            VK_PIPELINE_STAGE_COLOR_ATTACHMENT_OUTPUT_BIT | VK_PIPELINE_STAGE_EARLY_FRAGMENT_TESTS_BIT;
        dependencies[0].srcAccessMask = VK_ACCESS_DEPTH_STENCIL_ATTACHMENT_WRITE_BIT;
        dependencies[0].dstAccessMask =
            VK_ACCESS_COLOR_ATTACHMENT_WRITE_BIT | VK_ACCESS_DEPTH_STENCIL_ATTACHMENT_WRITE_BIT;
        // The frame's pixels, and its move to the present layout, before a
        // capture's copy (the present itself waits for the whole frame).
        dependencies[1].srcSubpass = 0;
        dependencies[1].dstSubpass = VK_SUBPASS_EXTERNAL;
        dependencies[1].srcStageMask = VK_PIPELINE_STAGE_COLOR_ATTACHMENT_OUTPUT_BIT;
        dependencies[1].dstStageMask = VK_PIPELINE_STAGE_TRANSFER_BIT;
        dependencies[1].srcAccessMask = VK_ACCESS_COLOR_ATTACHMENT_WRITE_BIT;
        dependencies[1].dstAccessMask = VK_ACCESS_TRANSFER_READ_BIT;
        VkRenderPassCreateInfo passInfo{VK_STRUCTURE_TYPE_RENDER_PASS_CREATE_INFO};
        passInfo.attachmentCount = resolve ? 3 : 2;
        passInfo.pAttachments = attachments;
        passInfo.subpassCount = 1;
        passInfo.pSubpasses = &subpass;
        passInfo.dependencyCount = 2;
        passInfo.pDependencies = dependencies;
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

}  // namespace vyr::test

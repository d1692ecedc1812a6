// The Vulkan entry points the back-end calls, resolved at run time through the
// loader's vkGetInstanceProcAddr (linked on Linux, from vulkan-1.dll on
// Windows), so that no Vulkan symbol is bound when the program starts.
#pragma once

#ifndef VK_NO_PROTOTYPES
#define VK_NO_PROTOTYPES
#endif
#include <vulkan/vulkan.h>

namespace vyr::test::vk {

#define VYR_VK_GLOBAL_FUNCTIONS(X)          \
    X(vkCreateInstance)                     \
    X(vkEnumerateInstanceExtensionProperties) \
    X(vkEnumerateInstanceLayerProperties)

#define VYR_VK_INSTANCE_FUNCTIONS(X)               \
    X(vkDestroyInstance)                           \
    X(vkEnumeratePhysicalDevices)                  \
    X(vkGetPhysicalDeviceProperties)               \
    X(vkGetPhysicalDeviceProperties2)              \
    X(vkGetPhysicalDeviceQueueFamilyProperties)    \
    X(vkGetPhysicalDeviceMemoryProperties)         \
    X(vkEnumerateDeviceExtensionProperties)        \
    X(vkCreateDevice)                              \
    X(vkGetDeviceProcAddr)                         \
    X(vkDestroySurfaceKHR)                         \
    X(vkGetPhysicalDeviceSurfaceSupportKHR)        \
    X(vkGetPhysicalDeviceSurfaceCapabilitiesKHR)   \
    X(vkGetPhysicalDeviceSurfaceFormatsKHR)        \
    X(vkGetPhysicalDeviceSurfacePresentModesKHR)

#define VYR_VK_DEVICE_FUNCTIONS(X)     \
    X(vkDestroyDevice)                 \
    X(vkGetDeviceQueue)                \
    X(vkDeviceWaitIdle)                \
    X(vkCreateSwapchainKHR)            \
    X(vkDestroySwapchainKHR)           \
    X(vkGetSwapchainImagesKHR)         \
    X(vkAcquireNextImageKHR)           \
    X(vkQueuePresentKHR)               \
    X(vkQueueSubmit)                   \
    X(vkQueueWaitIdle)                 \
    X(vkCreateImage)                   \
    X(vkDestroyImage)                  \
    X(vkCreateImageView)               \
    X(vkDestroyImageView)              \
    X(vkGetImageMemoryRequirements)    \
    X(vkBindImageMemory)               \
    X(vkCreateBuffer)                  \
    X(vkDestroyBuffer)                 \
    X(vkGetBufferMemoryRequirements)   \
    X(vkBindBufferMemory)              \
    X(vkAllocateMemory)                \
    X(vkFreeMemory)                    \
    X(vkMapMemory)                     \
    X(vkUnmapMemory)                   \
    X(vkCreateSampler)                 \
    X(vkDestroySampler)                \
    X(vkCreateRenderPass)              \
    X(vkDestroyRenderPass)             \
    X(vkCreateFramebuffer)             \
    X(vkDestroyFramebuffer)            \
    X(vkCreateShaderModule)            \
    X(vkDestroyShaderModule)           \
    X(vkCreatePipelineLayout)          \
    X(vkDestroyPipelineLayout)         \
    X(vkCreateGraphicsPipelines)       \
    X(vkDestroyPipeline)               \
    X(vkCreateDescriptorSetLayout)     \
    X(vkDestroyDescriptorSetLayout)    \
    X(vkCreateDescriptorPool)          \
    X(vkDestroyDescriptorPool)         \
    X(vkAllocateDescriptorSets)        \
    X(vkFreeDescriptorSets)            \
    X(vkUpdateDescriptorSets)          \
    X(vkCreateCommandPool)             \
    X(vkDestroyCommandPool)            \
    X(vkAllocateCommandBuffers)        \
    X(vkFreeCommandBuffers)            \
    X(vkBeginCommandBuffer)            \
    X(vkEndCommandBuffer)              \
    X(vkResetCommandBuffer)            \
    X(vkCreateFence)                   \
    X(vkDestroyFence)                  \
    X(vkWaitForFences)                 \
    X(vkResetFences)                   \
    X(vkCreateSemaphore)               \
    X(vkDestroySemaphore)              \
    X(vkCmdBeginRenderPass)            \
    X(vkCmdEndRenderPass)              \
    X(vkCmdBindPipeline)               \
    X(vkCmdBindVertexBuffers)          \
    X(vkCmdBindDescriptorSets)         \
    X(vkCmdPushConstants)              \
    X(vkCmdSetViewport)                \
    X(vkCmdSetScissor)                 \
    X(vkCmdDraw)                       \
    X(vkCmdClearAttachments)           \
    X(vkCmdPipelineBarrier)            \
    X(vkCmdCopyBufferToImage)          \
    X(vkCmdCopyImageToBuffer)

#define VYR_VK_DECLARE(name) extern PFN_##name name;
VYR_VK_GLOBAL_FUNCTIONS(VYR_VK_DECLARE)
VYR_VK_INSTANCE_FUNCTIONS(VYR_VK_DECLARE)
VYR_VK_DEVICE_FUNCTIONS(VYR_VK_DECLARE)
#undef VYR_VK_DECLARE
extern PFN_vkGetInstanceProcAddr vkGetInstanceProcAddr;

// The loader and its global entry points; false when there is no loader.
bool loadGlobalFunctions();
// False when the instance lacks one of them.
bool loadInstanceFunctions(VkInstance instance);
bool loadDeviceFunctions(VkDevice device);

}  // namespace vyr::test::vk

// VulkanContext: a frame read back for the picture check. The frame's command
// buffer copies the swap-chain image's drawn region into a host-visible buffer
// after the render pass; present() waits for the frame and converts it to RGBA.
// Frames without a capture record and allocate nothing more.
#include "render/vulkan/vulkan_context.h"

namespace vyr::test {

using namespace vk;

namespace {

bool blueFirst(VkFormat format) { return format == VK_FORMAT_B8G8R8A8_UNORM || format == VK_FORMAT_B8G8R8A8_SRGB; }

bool redFirst(VkFormat format) { return format == VK_FORMAT_R8G8B8A8_UNORM || format == VK_FORMAT_R8G8B8A8_SRGB; }

}  // namespace

void VulkanContext::recordCapture() {
    captured = {0, 0};
    if (!swapchainReadable || !(blueFirst(swapchainFormat) || redFirst(swapchainFormat))) return;
    const VkDeviceSize bytes = VkDeviceSize(drawn.width) * drawn.height * 4;
    if (captureBuffer.size < bytes) {
        // No frame still writes it: every capture waits for the queue.
        destroyBuffer(captureBuffer);
        if (!createBuffer(bytes, VK_BUFFER_USAGE_TRANSFER_DST_BIT, captureBuffer)) return;
    }
    VkCommandBuffer commands = frames[frameIndex].commands;
    // The render pass's last dependency makes its writes and its move to the
    // present layout visible to the transfer stage.
    VkImageMemoryBarrier image{VK_STRUCTURE_TYPE_IMAGE_MEMORY_BARRIER};
    image.srcQueueFamilyIndex = image.dstQueueFamilyIndex = VK_QUEUE_FAMILY_IGNORED;
    image.image = swapchainImages[imageIndex];
    image.subresourceRange = {VK_IMAGE_ASPECT_COLOR_BIT, 0, 1, 0, 1};
    image.oldLayout = VK_IMAGE_LAYOUT_PRESENT_SRC_KHR;
    image.newLayout = VK_IMAGE_LAYOUT_TRANSFER_SRC_OPTIMAL;
    image.dstAccessMask = VK_ACCESS_TRANSFER_READ_BIT;
    vkCmdPipelineBarrier(commands, VK_PIPELINE_STAGE_TRANSFER_BIT, VK_PIPELINE_STAGE_TRANSFER_BIT, 0, 0, nullptr, 0,
                         nullptr, 1, &image);
    VkBufferImageCopy copy{};
    copy.imageSubresource = {VK_IMAGE_ASPECT_COLOR_BIT, 0, 0, 1};
    copy.imageExtent = {drawn.width, drawn.height, 1};
    vkCmdCopyImageToBuffer(commands, image.image, VK_IMAGE_LAYOUT_TRANSFER_SRC_OPTIMAL, captureBuffer.buffer, 1, &copy);
    // Back to the present layout, which the present waits for through the
    // frame's semaphore; the copied bytes made visible to the host.
    image.oldLayout = VK_IMAGE_LAYOUT_TRANSFER_SRC_OPTIMAL;
    image.newLayout = VK_IMAGE_LAYOUT_PRESENT_SRC_KHR;
    image.srcAccessMask = VK_ACCESS_TRANSFER_READ_BIT;
    image.dstAccessMask = 0;
    VkBufferMemoryBarrier buffer{VK_STRUCTURE_TYPE_BUFFER_MEMORY_BARRIER};
    buffer.srcAccessMask = VK_ACCESS_TRANSFER_WRITE_BIT;
    buffer.dstAccessMask = VK_ACCESS_HOST_READ_BIT;
    buffer.srcQueueFamilyIndex = buffer.dstQueueFamilyIndex = VK_QUEUE_FAMILY_IGNORED;
    buffer.buffer = captureBuffer.buffer;
    buffer.size = VK_WHOLE_SIZE;
    vkCmdPipelineBarrier(commands, VK_PIPELINE_STAGE_TRANSFER_BIT,
                         VK_PIPELINE_STAGE_HOST_BIT | VK_PIPELINE_STAGE_BOTTOM_OF_PIPE_BIT, 0, 0, nullptr, 1, &buffer,
                         1, &image);
    captured = drawn;
}

void VulkanContext::readCapture(FrameImage& image) {
    const VkExtent2D size = captured;
    captured = {0, 0};
    if (size.width == 0 || !check(vkWaitForFences(device, 1, &frames[frameIndex].done, VK_TRUE, UINT64_MAX))) return;
    const bool swap = blueFirst(swapchainFormat);
    const size_t pixels = size_t(size.width) * size.height;
    image.rgba.resize(pixels * 4);
    const auto* in = static_cast<const uint8_t*>(captureBuffer.mapped);
    uint8_t* out = image.rgba.data();
    for (size_t i = 0; i < pixels; i++, in += 4, out += 4) {
        out[0] = in[swap ? 2 : 0];
        out[1] = in[1];
        out[2] = in[swap ? 0 : 2];
        out[3] = 255;
    }
    image.width = size.width;
    image.height = size.height;
    image.left = image.top = 0;
}

}  // namespace vyr::test

// VulkanContext: memory, buffers and images, and the scene's textures and
// meshes uploaded into them.
#include <algorithm>
#include <cstring>

#include "render/vulkan/vulkan_context.h"
#include "scene/object3d.h"
#include "scene/texture.h"

namespace vyr::test {

using namespace vk;

namespace {

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

}  // namespace vyr::test

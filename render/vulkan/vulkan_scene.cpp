// The demo scene's primitives recorded into the frame's command buffer. The
// matrices are OpenGL's (column-major, right-handed eye space); each projection
// is turned into Vulkan's clip space (y down, depth 0 to 1) once, when set.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "render/demo_scene.h"
#include "render/vulkan/baked_glyphs.h"
#include "render/vulkan/vulkan_context.h"
#include "render/vulkan/vulkan_platform.h"
#include "scene/object3d.h"

namespace vyr::test {

using namespace vk;

namespace {

constexpr float pi = 3.14159265358979f;

void identity(float (&m)[16]) {
    memset(m, 0, sizeof m);
    m[0] = m[5] = m[10] = m[15] = 1.0f;
}

// m = m x b, as OpenGL's matrix calls compose.
void multiply(float (&m)[16], const float (&b)[16]) {
    float r[16];
    for (int column = 0; column < 4; column++)
        for (int row = 0; row < 4; row++) {
            float sum = 0.0f;
            for (int k = 0; k < 4; k++) sum += m[k * 4 + row] * b[column * 4 + k];
            r[column * 4 + row] = sum;
        }
    memcpy(m, r, sizeof r);
}

void applyStep(float (&m)[16], const TransformStep& step) {
    float s[16];
    identity(s);
    switch (step.kind) {
    case TransformStep::Translate:
        s[12] = step.x, s[13] = step.y, s[14] = step.z;
        break;
    case TransformStep::RotateY: {
        float c = std::cos(step.x * pi / 180.0f), n = std::sin(step.x * pi / 180.0f);
        s[0] = c, s[2] = -n, s[8] = n, s[10] = c;
        break;
    }
    case TransformStep::Scale:
        s[0] = step.x, s[5] = step.y, s[10] = step.z;
        break;
    }
    multiply(m, s);
}

// OpenGL's clip space to Vulkan's: y turned over (OpenGL's windows count rows
// upward), depth from -1..1 to 0..1.
void toVulkanClip(float (&m)[16]) {
    float fix[16];
    identity(fix);
    fix[5] = -1.0f;
    fix[10] = 0.5f;
    fix[14] = 0.5f;
    float r[16];
    memcpy(r, fix, sizeof r);
    multiply(r, m);
    memcpy(m, r, sizeof r);
}

void orthographic(float (&m)[16], float left, float right, float bottom, float top) {
    identity(m);
    m[0] = 2.0f / (right - left);
    m[5] = 2.0f / (top - bottom);
    m[10] = -1.0f;  // near -1, far 1
    m[12] = -(right + left) / (right - left);
    m[13] = -(top + bottom) / (top - bottom);
    toVulkanClip(m);
}

}  // namespace

// OpenGL transforms normals by the inverse transpose of the model-view's upper
// 3 x 3: the cofactors over the determinant, once a placement, not per vertex.
void VulkanContext::writeInstance(float* out) const {
    memcpy(out, model, 64);
    auto a = [this](int row, int column) { return model[column * 4 + row]; };
    float c[3][3];
    for (int row = 0; row < 3; row++)
        for (int column = 0; column < 3; column++) {
            int r0 = (row + 1) % 3, r1 = (row + 2) % 3, c0 = (column + 1) % 3, c1 = (column + 2) % 3;
            c[row][column] = a(r0, c0) * a(r1, c1) - a(r0, c1) * a(r1, c0);
        }
    float determinant = a(0, 0) * c[0][0] + a(0, 1) * c[0][1] + a(0, 2) * c[0][2];
    float scale = determinant != 0.0f ? 1.0f / determinant : 0.0f;
    for (int column = 0; column < 3; column++) {
        for (int row = 0; row < 3; row++) out[16 + column * 4 + row] = c[row][column] * scale;
        out[16 + column * 4 + 3] = 0.0f;
    }
}

void* VulkanContext::stream(VkDeviceSize bytes, VkDeviceSize& offset) {
    Frame& frame = frames[frameIndex];
    VkDeviceSize at = (frame.used + 15) & ~VkDeviceSize(15);
    if (at + bytes > frame.stream.size) return nullptr;
    frame.used = at + bytes;
    offset = at;
    return static_cast<uint8_t*>(frame.stream.mapped) + at;
}

void VulkanContext::pushDraw(const float* projectionMatrix, const float (&colour)[4], const float (&emission)[4]) {
    float constants[24];
    memcpy(constants, projectionMatrix, 64);
    memcpy(constants + 16, colour, 16);
    memcpy(constants + 20, emission, 16);
    vkCmdPushConstants(frames[frameIndex].commands, pipelineLayout,
                       VK_SHADER_STAGE_VERTEX_BIT | VK_SHADER_STAGE_FRAGMENT_BIT, 0, sizeof constants, constants);
}

void VulkanContext::bindTexture(VulkanTexture* texture) {
    VulkanTexture* bound = texture ? texture : &white;
    vkCmdBindDescriptorSets(frames[frameIndex].commands, VK_PIPELINE_BIND_POINT_GRAPHICS, pipelineLayout, 0, 1,
                            &bound->descriptor, 0, nullptr);
}

// >>vulkan scene primitives

bool VulkanContext::beginFrame(float) {
    VulkanDrawable* target = drawable();
    if (!target || !device || deviceLost) return false;
    Frame& frame = frames[frameIndex];
    if (!check(vkWaitForFences(device, 1, &frame.done, VK_TRUE, UINT64_MAX))) return false;
    if (frameCapture && !captureUsage) {
        captureUsage = true;  // images the frame can be copied from; other runs do not need them
        swapchainStale = true;
    }
    if (swapchainStale || !swapchain) {
        vkDeviceWaitIdle(device);
        if (!createSwapchain()) return false;
    }
    if (!swapchain) return false;  // minimised
    VkResult acquired = vkAcquireNextImageKHR(device, swapchain, UINT64_MAX, frame.acquired, VK_NULL_HANDLE, &imageIndex);
    if (acquired == VK_ERROR_OUT_OF_DATE_KHR) {
        swapchainStale = true;
        return false;
    }
    if (acquired == VK_SUBOPTIMAL_KHR) swapchainStale = true;
    else if (!check(acquired)) return false;
    vkResetFences(device, 1, &frame.done);
    vkResetCommandBuffer(frame.commands, 0);
    frame.used = 0;
    VkCommandBufferBeginInfo begin{VK_STRUCTURE_TYPE_COMMAND_BUFFER_BEGIN_INFO};
    begin.flags = VK_COMMAND_BUFFER_USAGE_ONE_TIME_SUBMIT_BIT;
    vkBeginCommandBuffer(frame.commands, &begin);
    VkClearValue clear[2] = {};
    clear[0].color = {{0.0f, 0.0f, 0.0f, 1.0f}};
    clear[1].depthStencil = {1.0f, 0};
    VkRenderPassBeginInfo pass{VK_STRUCTURE_TYPE_RENDER_PASS_BEGIN_INFO};
    pass.renderPass = renderPass;
    pass.framebuffer = framebuffers[imageIndex];
    pass.renderArea = {{0, 0}, extent};
    pass.clearValueCount = 2;
    pass.pClearValues = clear;
    vkCmdBeginRenderPass(frame.commands, &pass, VK_SUBPASS_CONTENTS_INLINE);
    // A capture may ask for a smaller frame, drawn at the target's top-left.
    drawn = extent;
    if (frameCapture && width && height && width <= extent.width && height <= extent.height) drawn = {width, height};
    depthHalved = false;
    setViewport(0.5f, 1.0f);
    VkRect2D scissor{{0, 0}, drawn};
    vkCmdSetScissor(frame.commands, 0, 1, &scissor);
    boundPipeline = VK_NULL_HANDLE;
    frameOpen = true;
    return true;
}

void VulkanContext::endFrame() {
    Frame& frame = frames[frameIndex];
    vkCmdEndRenderPass(frame.commands);
    if (frameCapture) recordCapture();
    vkEndCommandBuffer(frame.commands);
    const VkPipelineStageFlags wait = VK_PIPELINE_STAGE_COLOR_ATTACHMENT_OUTPUT_BIT;
    VkSubmitInfo submit{VK_STRUCTURE_TYPE_SUBMIT_INFO};
    submit.waitSemaphoreCount = 1;
    submit.pWaitSemaphores = &frame.acquired;
    submit.pWaitDstStageMask = &wait;
    submit.commandBufferCount = 1;
    submit.pCommandBuffers = &frame.commands;
    submit.signalSemaphoreCount = 1;
    submit.pSignalSemaphores = &rendered[imageIndex];
    if (!check(vkQueueSubmit(queue, 1, &submit, frame.done))) frameOpen = false;
}

// With a capture: the frame's pixels first, and back once the window system
// has the frame, so that the caller can read the window's copy.
void VulkanContext::present() {
    if (frameCapture) frameCapture->width = frameCapture->height = 0;
    if (!frameOpen) return;
    frameOpen = false;
    if (frameCapture) readCapture(*frameCapture);
    VkPresentInfoKHR info{VK_STRUCTURE_TYPE_PRESENT_INFO_KHR};
    info.waitSemaphoreCount = 1;
    info.pWaitSemaphores = &rendered[imageIndex];
    info.swapchainCount = 1;
    info.pSwapchains = &swapchain;
    info.pImageIndices = &imageIndex;
    handOver();
    if (VulkanDrawable* target = drawable()) vulkanplatform::frameCommitting(target->window);
    VkResult result = vkQueuePresentKHR(queue, &info);
    if (result == VK_ERROR_OUT_OF_DATE_KHR || result == VK_SUBOPTIMAL_KHR) swapchainStale = true;
    else check(result);
    if (frameCapture) check(vkQueueWaitIdle(queue));
    frameIndex = (frameIndex + 1) % framesInFlight;
}

// Two triangles from four corners (x, y, z, u, v), counter-clockwise from bottom-left.
void VulkanContext::drawQuad(const float (&corners)[4][5], VulkanTexture* texture) {
    VkDeviceSize offset = 0;
    auto* vertices = static_cast<float*>(stream(6 * 20, offset));
    if (!vertices) return;
    for (int index : {0, 1, 2, 0, 2, 3}) {
        memcpy(vertices, corners[index], 20);
        vertices += 5;
    }
    VkCommandBuffer commands = frames[frameIndex].commands;
    bindTexture(texture);
    vkCmdBindVertexBuffers(commands, 0, 1, &frames[frameIndex].stream.buffer, &offset);
    vkCmdDraw(commands, 6, 1, 0, 0);
}

void VulkanContext::drawBackground(Texture* image) {
    float w = float(std::max(width, 1u)), h = float(std::max(height, 1u));
    if (h <= w)
        orthographic(projection, -1.0f, 1.0f, -h / w, h / w);
    else
        orthographic(projection, -w / h, w / h, -1.0f, 1.0f);
    VulkanTexture* held = heldTexture(image);
    bindQuadPipeline(held);
    const float white4[4] = {1, 1, 1, 1}, none[4] = {0, 0, 0, 0};
    pushDraw(projection, white4, none);
    // The image repeats twice each way across the square over the longer side.
    const float corners[4][5] = {{-1, -1, -1, 0, 0}, {1, -1, -1, 2, 0}, {1, 1, -1, 2, 2}, {-1, 1, -1, 0, 2}};
    drawQuad(corners, held);
}

// Images blend by their alpha; an opaque one is drawn without reading the target,
// to the same pixels.
void VulkanContext::bindQuadPipeline(const VulkanTexture* image) {
    VkPipeline pipeline = image && image->opaque ? opaqueQuadPipeline : quadPipeline;
    if (boundPipeline != pipeline)
        vkCmdBindPipeline(frames[frameIndex].commands, VK_PIPELINE_BIND_POINT_GRAPHICS, boundPipeline = pipeline);
}

void VulkanContext::setCamera() {
    // gluPerspective(45, aspect, 0.1, 100).
    const float zNear = 0.1f, zFar = 100.0f;
    const float f = 1.0f / std::tan(45.0f * pi / 360.0f);
    const float aspect = float(width) / float(std::max(height, 1u));
    identity(projection);
    projection[0] = f / aspect;
    projection[5] = f;
    projection[10] = (zFar + zNear) / (zNear - zFar);
    projection[11] = -1.0f;
    projection[14] = 2.0f * zFar * zNear / (zNear - zFar);
    projection[15] = 0.0f;
    toVulkanClip(projection);
}

void VulkanContext::beginStars(bool asStreaks, Texture*) {
    inStars = true;
    streaks = asStreaks;
    starsPlaced = 0;
    starBatches.clear();
    starMatrices.clear();
}

// Each placed star is one streak instance, drawn together in endStars.
void VulkanContext::drawStreak() {}

void VulkanContext::endStars(bool) {
    flushStars();
    inStars = false;
}

// One draw for every star: the placements go to the stream once, and each
// mesh of the star (or the streak) is drawn with one instance a star.
void VulkanContext::flushStars() {
    if (starsPlaced == 0) return;
    const size_t bytes = size_t(starsPlaced) * instanceFloats * 4;
    VkDeviceSize offset = 0;
    void* matrices = stream(bytes, offset);
    if (!matrices) return;
    memcpy(matrices, starMatrices.data(), bytes);
    VkCommandBuffer commands = frames[frameIndex].commands;
    if (streaks) {
        vkCmdBindPipeline(commands, VK_PIPELINE_BIND_POINT_GRAPHICS, boundPipeline = streakPipeline);
        const float white4[4] = {1, 1, 1, 1}, none[4] = {0, 0, 0, 0};
        pushDraw(projection, white4, none);
        bindTexture(nullptr);
        VkBuffer buffers[2] = {streakVertices.buffer, frames[frameIndex].stream.buffer};
        VkDeviceSize offsets[2] = {0, offset};
        vkCmdBindVertexBuffers(commands, 0, 2, buffers, offsets);
        vkCmdDraw(commands, 2, starsPlaced, 0, 0);
        return;
    }
    for (const StarBatch& batch : starBatches)
        drawMeshInstances(*batch.mesh, batch.material, batch.texture, batch.alpha, offset, starsPlaced);
}

// Mono logos blend by their alpha; opaque logos only occur in stereo frames,
// which this back-end does not draw.
void VulkanContext::beginLogos(bool) {}

// The frame's first depth clear moves what follows into the nearer half of the
// depth range: whatever is drawn there passes the test against everything drawn
// before in the farther half, as against a cleared buffer. A software device finishes
// every draw before a clear inside a pass, and a draw over the whole target to
// reset the depth costs as much as a logo's fill; the half costs nothing.
void VulkanContext::clearDepth() {
    VkCommandBuffer commands = frames[frameIndex].commands;
    if (!depthHalved) {
        depthHalved = true;
        setViewport(0.0f, 0.5f);
        return;
    }
    VkClearAttachment attachment{VK_IMAGE_ASPECT_DEPTH_BIT, 0, {}};
    attachment.clearValue.depthStencil = {1.0f, 0};
    VkClearRect rect{{{0, 0}, drawn}, 0, 1};
    vkCmdClearAttachments(commands, 1, &attachment, 1, &rect);
}

void VulkanContext::setViewport(float minDepth, float maxDepth) {
    VkViewport viewport{0.0f, 0.0f, float(drawn.width), float(drawn.height), minDepth, maxDepth};
    vkCmdSetViewport(frames[frameIndex].commands, 0, 1, &viewport);
}

void VulkanContext::placeObject(const ModelTransform& transform) {
    identity(model);
    for (int i = 0; i < transform.count; i++) applyStep(model, transform.steps[i]);
    if (inStars) {
        starMatrices.resize(size_t(starsPlaced + 1) * instanceFloats);
        writeInstance(starMatrices.data() + size_t(starsPlaced) * instanceFloats);
        starsPlaced++;
    }
}

void VulkanContext::turnObject(float degrees) { applyStep(model, {TransformStep::RotateY, degrees, 0.0f, 0.0f}); }

void VulkanContext::drawMesh(Mesh3D& mesh, const MeshMaterial* material, Texture* texture, float alpha) {
    if (inStars) {
        // The first star names the meshes; every later star draws the same ones.
        for (const StarBatch& batch : starBatches)
            if (batch.mesh == &mesh) return;
        starBatches.push_back({&mesh, material, texture, alpha});
        return;
    }
    VkDeviceSize offset = 0;
    void* instance = stream(instanceFloats * 4, offset);
    if (!instance) return;
    writeInstance(static_cast<float*>(instance));
    drawMeshInstances(mesh, material, texture, alpha, offset, 1);
}

// A logo blends by its alpha. Blending by 1 over an opaque image, or by 0, gives
// the pixels that drawing without blending, or writing depth alone, gives
// without reading the target.
VkPipeline VulkanContext::meshPipeline(int placement, float alpha, const VulkanTexture* image) const {
    if (inStars) return meshAdditive[placement];
    if (alpha <= 0.0f) return meshDepthOnly;
    if (alpha >= 1.0f && (!image || image->opaque)) return meshOpaque[placement];
    return meshBlended[placement];
}

void VulkanContext::drawMeshInstances(Mesh3D& mesh, const MeshMaterial* material, Texture* texture, float alpha,
                                      VkDeviceSize matrices, uint32_t count) {
    auto found = meshResources.find(&mesh);
    auto* held = found != meshResources.end() ? dynamic_cast<VulkanMesh3D*>(found->second) : nullptr;
    if (!held || held->vertexCount == 0 || !material) return;
    VkCommandBuffer commands = frames[frameIndex].commands;
    VulkanTexture* image = heldTexture(texture);
    const int placement = image ? int(material->placement) : int(TexturePlacement::Untextured);
    VkPipeline pipeline = meshPipeline(placement, alpha, image);
    if (boundPipeline != pipeline) vkCmdBindPipeline(commands, VK_PIPELINE_BIND_POINT_GRAPHICS, boundPipeline = pipeline);
    const float colour[4] = {material->red / 255.0f, material->green / 255.0f, material->blue / 255.0f, alpha};
    const float glow = material->emissive ? 1.0f : 0.0f;
    const float emission[4] = {glow, glow, glow, 0.0f};
    pushDraw(projection, colour, emission);
    bindTexture(image);
    const VkDeviceSize half = VkDeviceSize(held->vertexCount) * 12;
    VkBuffer buffers[3] = {held->vertices.buffer, held->vertices.buffer, frames[frameIndex].stream.buffer};
    VkDeviceSize offsets[3] = {0, half, matrices};
    vkCmdBindVertexBuffers(commands, 0, 3, buffers, offsets);
    vkCmdDraw(commands, held->vertexCount, count, 0, 0);
}

void VulkanContext::beginOverlays() { orthographic(projection, 0.0f, float(width), 0.0f, float(height)); }

void VulkanContext::drawOverlay(Texture* image, float left, bool) {
    VulkanTexture* held = heldTexture(image);
    bindQuadPipeline(held);
    const float white4[4] = {1, 1, 1, 1}, none[4] = {0, 0, 0, 0};
    pushDraw(projection, white4, none);
    const float right = left + float(overlayWidth), top = float(overlayHeight);
    const float corners[4][5] = {{left, 0, 1, 0, 0}, {right, 0, 1, 1, 0}, {right, top, 1, 1, 1}, {left, top, 1, 0, 1}};
    drawQuad(corners, held);
}

void VulkanContext::beginText() {}

// As glBitmap places them: each glyph's pixels from the pen position on the
// baseline, the pen at 3 pixels from the left and 15 (the shadow) or 16 (the
// face) below the top edge, rows counted upward.
void VulkanContext::drawText(const char* text, TextLayer layer) {
    const bool shadow = layer == TextLayer::Shadow;
    VkCommandBuffer commands = frames[frameIndex].commands;
    if (boundPipeline != textPipeline) vkCmdBindPipeline(commands, VK_PIPELINE_BIND_POINT_GRAPHICS, boundPipeline = textPipeline);
    const float colour[4] = {shadow ? 0.0f : 1.0f, shadow ? 0.0f : 1.0f, shadow ? 0.0f : 1.0f, 1.0f};
    const float none[4] = {0, 0, 0, 0};
    pushDraw(projection, colour, none);
    float penX = 3.0f;
    const float penY = float(int(height) - (shadow ? 0 : 1)) - 15.0f;
    for (const char* p = text; *p; ++p) {
        const BakedGlyph& g = bakedGlyphs[static_cast<unsigned char>(*p) & 0x7F];
        if (g.width > 0 && g.rows > 0) {
            const float x0 = std::floor(penX + g.left), y0 = std::floor(penY + g.top - g.rows);
            const float x1 = x0 + g.width, y1 = y0 + g.rows;
            const float u0 = float(glyphAtlasX[static_cast<unsigned char>(*p) & 0x7F]), u1 = u0 + g.width;
            const float corners[4][5] = {{x0, y0, 0, u0, float(g.rows)}, {x1, y0, 0, u1, float(g.rows)},
                                         {x1, y1, 0, u1, 0}, {x0, y1, 0, u0, 0}};
            drawQuad(corners, &glyphAtlas);
        }
        penX += g.advance;
    }
}

// <<vulkan scene primitives

}  // namespace vyr::test

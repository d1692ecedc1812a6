// The Vulkan back-end (-vulkan): the demo scene's primitives recorded into one
// command buffer a frame, presented through a swap chain on the window's
// surface (vulkan_platform_x11.cpp, vulkan_platform_win32.cpp).
//
//  [x] the demo scene's primitives, OpenGL's fixed-function look in shaders
//      (shaders/): lighting, sphere-map and object-linear texturing
//  [x] the stars in one instanced draw (streaks too)
//  [x] multisampling by the largest count the device has up to -ms
//  [x] FIFO presents; -benchmark: immediate or mailbox where the surface has it
//  [x] the swap chain rebuilt on resize, out-of-date and suboptimal
//  [x] a lost device reset through the frame loop's device check
//  [x] the frame read back for the picture check (vulkan_readback.cpp)
//  [ ] stereo: drawn mono (the notice says so)
//  [ ] the frame copy and cursor square of -gdicursor: OpenGL only
#pragma once

#include <cstdint>
#include <vector>

#include "render/rendering_context.h"
#include "render/scene_primitives.h"
#include "render/vulkan/vulkan_api.h"

namespace vyr::test {

RenderingContext* createVulkanContext();

// The window's surface and what the device offers it; owns the instance,
// which outlives the context's device.
class VulkanDrawable : public DrawableContext {
public:
    ~VulkanDrawable() override;
    NativeWindow* window = nullptr;
    VkInstance instance = VK_NULL_HANDLE;
    VkSurfaceKHR surface = VK_NULL_HANDLE;
    VkPhysicalDevice physicalDevice = VK_NULL_HANDLE;
    uint32_t queueFamily = 0;
    VkSampleCountFlagBits samples = VK_SAMPLE_COUNT_1_BIT;
    bool vsync = true;
};

struct VulkanBuffer {
    VkBuffer buffer = VK_NULL_HANDLE;
    VkDeviceMemory memory = VK_NULL_HANDLE;
    void* mapped = nullptr;
    VkDeviceSize size = 0;
};

struct VulkanImage {
    VkImage image = VK_NULL_HANDLE;
    VkDeviceMemory memory = VK_NULL_HANDLE;
    VkImageView view = VK_NULL_HANDLE;
};

class VulkanTexture : public RenderingTexture {
public:
    VulkanImage image;
    VkDescriptorSet descriptor = VK_NULL_HANDLE;
    bool opaque = false;  // every texel's alpha is 1: blending it changes nothing
};

class VulkanMesh3D : public RenderingMesh3D {
public:
    VulkanBuffer vertices;  // positions, then normals
    uint32_t vertexCount = 0;
};

class VulkanContext : public RenderingContext, private ScenePrimitives {
public:
    VulkanContext() = default;
    ~VulkanContext() override;

    DrawableContext* createDrawable(NativeWindow* window, bool multisample, uint32_t samples, bool stereo,
                                    bool vsync) override;
    bool createContext(DrawableContext* drawable) override;
    void setDeviceLost(bool lost) override { deviceLost = lost; }
    bool isDeviceLost() override { return deviceLost; }
    bool resetDevice() override;
    void printCapabilities() override;
    double getVersion() override;
    void setSize(unsigned width, unsigned height) override;
    bool makeCurrent(DrawableContext* drawable) override;
    void present() override;
    void setupRenderState() override;
    void drawObject(Project3D* project, Object3D* object, float alpha) override;
    void drawScene(float eyeOffset, Project3D* project, Texture** overlays) override;
    void renderFrame(Project3D* project, Texture** overlays) override;
    bool uploadTexture(Texture* texture, const float* palette) override;
    bool uploadMesh(Object3D* object) override;

private:
    // What one frame in flight uses.
    struct Frame {
        VkCommandBuffer commands = VK_NULL_HANDLE;
        VkFence done = VK_NULL_HANDLE;
        VkSemaphore acquired = VK_NULL_HANDLE;
        VulkanBuffer stream;  // instance matrices and quad vertices written this frame
        VkDeviceSize used = 0;
    };
    // A star mesh drawn once for every star, by one instanced draw.
    struct StarBatch {
        Mesh3D* mesh;
        const MeshMaterial* material;
        Texture* texture;
        float alpha;
    };
    static constexpr int framesInFlight = 2;
    // A placement as the shaders take it: the model-view matrix (16 floats),
    // then the normals' matrix as three columns of four.
    static constexpr uint32_t instanceFloats = 28;
    void writeInstance(float* out) const;

    VulkanDrawable* drawable() const;
    bool createDevice();
    bool createSwapchain();
    void destroySwapchain();
    void setViewport(float minDepth, float maxDepth);
    void bindQuadPipeline(const VulkanTexture* image);
    VkPipeline meshPipeline(int placement, float alpha, const VulkanTexture* image) const;
    bool createPipelines();
    void destroyDevice();
    bool check(VkResult result);
    bool allocate(VkMemoryRequirements needs, VkMemoryPropertyFlags flags, VkDeviceMemory& memory);
    bool createBuffer(VkDeviceSize size, VkBufferUsageFlags usage, VulkanBuffer& buffer);
    void destroyBuffer(VulkanBuffer& buffer);
    bool createImage(uint32_t w, uint32_t h, VkFormat format, VkImageUsageFlags usage, VkSampleCountFlagBits samples,
                     VkImageAspectFlags aspect, VulkanImage& image);
    void destroyImage(VulkanImage& image);
    bool uploadImage(VulkanTexture& texture, uint32_t w, uint32_t h, VkFormat format, const uint8_t* pixels,
                     size_t bytes);
    void destroyTexture(VulkanTexture& texture);
    VulkanTexture* heldTexture(Texture* texture);
    // Space in this frame's stream buffer; null when it is full.
    void* stream(VkDeviceSize bytes, VkDeviceSize& offset);
    void pushDraw(const float* projection, const float (&colour)[4], const float (&emission)[4]);
    void bindTexture(VulkanTexture* texture);
    void drawQuad(const float (&corners)[4][5], VulkanTexture* texture);
    void drawMeshInstances(Mesh3D& mesh, const MeshMaterial* material, Texture* texture, float alpha,
                           VkDeviceSize matrices, uint32_t count);
    void flushStars();
    // The frame read-back (vulkan_readback.cpp): the copy recorded after the
    // render pass, and the pixels converted once the frame is done.
    void recordCapture();
    void readCapture(FrameImage& image);

    // ScenePrimitives
    bool beginFrame(float eyeOffset) override;
    void endFrame() override;
    void drawBackground(Texture* image) override;
    void setCamera() override;
    void beginStars(bool streaks, Texture* streakImage) override;
    void drawStreak() override;
    void endStars(bool streaks) override;
    void beginLogos(bool blended) override;
    void clearDepth() override;
    void placeObject(const ModelTransform& transform) override;
    void turnObject(float degrees) override;
    void drawMesh(Mesh3D& mesh, const MeshMaterial* material, Texture* texture, float alpha) override;
    void beginOverlays() override;
    void drawOverlay(Texture* image, float left, bool enableBlending) override;
    void beginText() override;
    void drawText(const char* text, TextLayer layer) override;

    bool deviceLost = false;
    VkDevice device = VK_NULL_HANDLE;
    VkQueue queue = VK_NULL_HANDLE;
    VkPhysicalDeviceMemoryProperties memoryProperties = {};
    VkCommandPool commandPool = VK_NULL_HANDLE;
    VkRenderPass renderPass = VK_NULL_HANDLE;
    VkSwapchainKHR swapchain = VK_NULL_HANDLE;
    VkFormat swapchainFormat = VK_FORMAT_UNDEFINED;
    VkExtent2D extent = {0, 0};
    VkPresentModeKHR presentMode = VK_PRESENT_MODE_FIFO_KHR;
    std::vector<VkImage> swapchainImages;
    std::vector<VkImageView> swapchainViews;
    std::vector<VkFramebuffer> framebuffers;
    std::vector<VkSemaphore> rendered;  // one per swap-chain image
    VulkanImage multisampled, depth;
    bool swapchainStale = false;
    bool captureUsage = false;       // the swap chain's images are asked for as copy sources
    bool swapchainReadable = false;  // and the surface gave them that use

    VkDescriptorSetLayout setLayout = VK_NULL_HANDLE;
    VkPipelineLayout pipelineLayout = VK_NULL_HANDLE;
    VkDescriptorPool descriptorPool = VK_NULL_HANDLE;
    VkSampler linearSampler = VK_NULL_HANDLE, nearestSampler = VK_NULL_HANDLE;
    // Meshes, one pipeline a TexturePlacement: the stars add, the logos blend
    // (see meshPipeline).
    static constexpr int texturePlacements = 3;
    VkPipeline meshAdditive[texturePlacements] = {}, meshBlended[texturePlacements] = {};
    VkPipeline meshOpaque[texturePlacements] = {}, meshDepthOnly = VK_NULL_HANDLE;
    VkPipeline streakPipeline = VK_NULL_HANDLE;
    VkPipeline quadPipeline = VK_NULL_HANDLE, opaqueQuadPipeline = VK_NULL_HANDLE, textPipeline = VK_NULL_HANDLE;
    VulkanTexture white, glyphAtlas;
    VulkanBuffer streakVertices;

    Frame frames[framesInFlight];
    uint32_t frameIndex = 0, imageIndex = 0;
    bool frameOpen = false;
    VkExtent2D drawn = {0, 0};     // the frame's viewport: the extent, or a smaller capture's size
    VkExtent2D captured = {0, 0};  // what this frame's capture copies; 0 x 0: nothing
    VulkanBuffer captureBuffer;    // made at the first capture
    VkPipeline boundPipeline = VK_NULL_HANDLE;
    float projection[16] = {};
    float model[16] = {};
    bool inStars = false, streaks = false;
    bool depthHalved = false;  // the frame draws in the nearer half of the depth range (clearDepth)
    std::vector<StarBatch> starBatches;
    std::vector<float> starMatrices;  // instanceFloats a star, in placement order
    uint32_t starsPlaced = 0;
    int glyphAtlasX[128] = {};
};

}  // namespace vyr::test

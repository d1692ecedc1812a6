// VulkanContext: the graphics pipelines, one for each way the scene draws.
#include <cstdint>

#include "render/vulkan/shaders/mesh_frag.h"
#include "render/vulkan/shaders/mesh_vert.h"
#include "render/vulkan/shaders/quad_frag.h"
#include "render/vulkan/shaders/quad_vert.h"
#include "render/vulkan/shaders/streak_frag.h"
#include "render/vulkan/shaders/streak_vert.h"
#include "render/vulkan/shaders/text_frag.h"
#include "render/vulkan/vulkan_context.h"

namespace vyr::test {

using namespace vk;

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

}  // namespace vyr::test

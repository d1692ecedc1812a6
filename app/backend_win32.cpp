// The back-ends of the Windows build.
#include "app/all_backends.h"
#include "app/application.h"
#include "render/d3d9/directx9_context.h"
#include "render/opengl/opengl_context.h"
#include "render/vulkan/vulkan_context.h"

namespace vyr::test {

const std::vector<Backend>& buildBackends() {
    static const std::vector<Backend> backends = {Backend::OpenGL, Backend::Direct3D9, Backend::Vulkan};
    return backends;
}

RenderingContext* createRenderingContext(Backend backend) {
    switch (backend) {
    case Backend::Direct3D9: return createDirectX9Context();
    case Backend::Vulkan: return createVulkanContext();
    case Backend::OpenGL: break;
    }
    return createOpenGLContext();
}

}  // namespace vyr::test

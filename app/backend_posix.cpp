// The back-ends of the Linux build: OpenGL and Vulkan. Without a Direct3D 9
// runtime -directx9 fails the way a machine without the runtime does.
#include "app/all_backends.h"
#include "app/application.h"
#include "render/opengl/opengl_context.h"
#include "render/vulkan/vulkan_context.h"

namespace vyr::test {

const std::vector<Backend>& buildBackends() {
    static const std::vector<Backend> backends = {Backend::OpenGL, Backend::Vulkan};
    return backends;
}

RenderingContext* createRenderingContext(Backend backend) {
    switch (backend) {
    case Backend::Direct3D9: return nullptr;
    case Backend::Vulkan: return createVulkanContext();
    case Backend::OpenGL: break;
    }
    return createOpenGLContext();
}

}  // namespace vyr::test

// The back-ends of the Linux build: OpenGL only. Without a Direct3D 9 runtime
// -directx9 fails the way a machine without the runtime does.
#include "app/application.h"
#include "render/opengl/opengl_context.h"

namespace vyr::test {

RenderingContext* createRenderingContext(bool direct3D9) {
    if (direct3D9) return nullptr;
    return createOpenGLContext();
}

}  // namespace vyr::test

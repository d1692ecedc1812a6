// The back-ends of the Windows build.
#include "app/application.h"
#include "render/d3d9/directx9_context.h"
#include "render/opengl/opengl_context.h"

namespace vyr::test {

RenderingContext* createRenderingContext(bool direct3D9) {
    return direct3D9 ? createDirectX9Context() : createOpenGLContext();
}

}  // namespace vyr::test

// The OpenGL objects behind the scene's textures and meshes. They release no
// OpenGL name themselves: ~OpenGLContext deletes the names while its context
// is current.
#pragma once

#include <cstdint>

#include "render/rendering_context.h"

namespace vyr::test {

class OpenGLTexture : public RenderingTexture {
public:
    uint32_t textureName = 0;
};

class OpenGLMesh3D : public RenderingMesh3D {
public:
    uint32_t vertexBuffer = 0;
    uint32_t normalBuffer = 0;
};

}  // namespace vyr::test

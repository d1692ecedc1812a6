// The Direct3D 9 back-end's texture and mesh objects and its one vertex layout.
#pragma once

#include <d3d9.h>

#include "render/rendering_context.h"

namespace vyr::test {

// Position, normal, one texture coordinate: 32 bytes.
struct SceneVertex {
    float x, y, z;
    float nx, ny, nz;
    float u, v;
};
static_assert(sizeof(SceneVertex) == 32, "SceneVertex is the 32-byte stride of every draw");
constexpr DWORD sceneVertexFormat = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1;  // 0x112

class DirectX9Texture : public RenderingTexture {
public:
    ~DirectX9Texture() override {
        if (d3dTexture) d3dTexture->Release();
    }
    IDirect3DTexture9* d3dTexture = nullptr;
};

class DirectX9Mesh3D : public RenderingMesh3D {
public:
    ~DirectX9Mesh3D() override {
        if (vertexBuffer) vertexBuffer->Release();
    }
    IDirect3DVertexBuffer9* vertexBuffer = nullptr;
};

}  // namespace vyr::test

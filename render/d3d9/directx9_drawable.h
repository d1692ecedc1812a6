// The Direct3D 9 drawable: the window, its presentation parameters and the
// additional swap chain that setSize rebuilds at the client size.
#pragma once

#include <d3d9.h>

#include "render/rendering_context.h"

namespace vyr::test {

class DirectX9Drawable : public DrawableContext {
public:
    ~DirectX9Drawable() override { releaseSurfaces(); }

    // Back buffer, depth surface, swap chain, in that order, leaving each none.
    void releaseSurfaces() {
        if (backBuffer) backBuffer->Release();
        backBuffer = nullptr;
        if (depthSurface) depthSurface->Release();
        depthSurface = nullptr;
        if (swapChain) swapChain->Release();
        swapChain = nullptr;
    }

    HWND window = nullptr;
    D3DPRESENT_PARAMETERS presentParameters = {};
    IDirect3DSwapChain9* swapChain = nullptr;
    IDirect3DSurface9* depthSurface = nullptr;
    IDirect3DSurface9* backBuffer = nullptr;
};

}  // namespace vyr::test

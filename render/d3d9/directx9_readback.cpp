// Reading the frame back before it is presented (the picture check): the back
// buffer may be multisampled, which GetRenderTargetData refuses, so it is
// first resolved into a plain render target of its own.
#include "render/d3d9/directx9_context.h"
#include "render/d3d9/directx9_drawable.h"

#include <algorithm>

namespace vyr::test {

namespace {

template <typename T>
void release(T*& object) {
    if (object) object->Release();
    object = nullptr;
}

bool copyBackBuffer(IDirect3DDevice9& device, IDirect3DSurface9& backBuffer, uint32_t width, uint32_t height,
                    FrameImage& frame) {
    D3DSURFACE_DESC desc;
    if (FAILED(backBuffer.GetDesc(&desc)) || desc.Width < width || desc.Height < height) return false;
    if (desc.Format != D3DFMT_X8R8G8B8 && desc.Format != D3DFMT_A8R8G8B8) return false;
    IDirect3DSurface9* resolved = nullptr;
    IDirect3DSurface9* readable = nullptr;
    bool copied = SUCCEEDED(device.CreateRenderTarget(desc.Width, desc.Height, desc.Format, D3DMULTISAMPLE_NONE, 0,
                                                      FALSE, &resolved, nullptr)) &&
                  SUCCEEDED(device.StretchRect(&backBuffer, nullptr, resolved, nullptr, D3DTEXF_NONE)) &&
                  SUCCEEDED(device.CreateOffscreenPlainSurface(desc.Width, desc.Height, desc.Format,
                                                               D3DPOOL_SYSTEMMEM, &readable, nullptr)) &&
                  SUCCEEDED(device.GetRenderTargetData(resolved, readable));
    D3DLOCKED_RECT locked;
    if (copied && SUCCEEDED(readable->LockRect(&locked, nullptr, D3DLOCK_READONLY))) {
        frame.rgba.resize(size_t(width) * height * 4);
        for (uint32_t y = 0; y < height; y++) {
            const uint8_t* from = static_cast<const uint8_t*>(locked.pBits) + size_t(y) * locked.Pitch;
            uint8_t* to = frame.rgba.data() + size_t(y) * width * 4;
            for (uint32_t x = 0; x < width; x++, from += 4, to += 4) {
                to[0] = from[2];  // the surface is B, G, R, X in memory
                to[1] = from[1];
                to[2] = from[0];
                to[3] = 255;
            }
        }
        readable->UnlockRect();
    } else {
        copied = false;
    }
    release(readable);
    release(resolved);
    return copied;
}

}  // namespace

void DirectX9Context::readFrame(FrameImage& frame) {
    frame = FrameImage();
    auto* drawable = dynamic_cast<DirectX9Drawable*>(currentDrawable);
    if (!drawable || !drawable->backBuffer || !device) return;
    if (copyBackBuffer(*device, *drawable->backBuffer, width, height, frame)) {
        frame.width = width;
        frame.height = height;
    } else {
        frame.rgba.clear();
    }
}

void DirectX9Context::limitViewport(bool toFrameSize) {
    auto* drawable = dynamic_cast<DirectX9Drawable*>(currentDrawable);
    D3DSURFACE_DESC desc;
    if (!drawable || !drawable->backBuffer || !device || FAILED(drawable->backBuffer->GetDesc(&desc))) return;
    D3DVIEWPORT9 viewport = {0, 0, desc.Width, desc.Height, 0.0f, 1.0f};
    if (toFrameSize) {
        viewport.Width = std::min<DWORD>(desc.Width, width);
        viewport.Height = std::min<DWORD>(desc.Height, height);
    }
    device->SetViewport(&viewport);
}

}  // namespace vyr::test

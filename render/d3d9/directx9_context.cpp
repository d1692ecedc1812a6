// The Direct3D 9 device: D3DX loading, the two Direct3D objects, the drawable,
// device creation, the per-size swap chain, presenting, lost-device recovery
// and the remote-session decision.
#include "render/d3d9/directx9_context.h"

#include <cstdio>
#include <new>

#include "platform/window_win32.h"
#include "render/d3d9/directx9_drawable.h"

namespace vyr::test {

namespace {

IDirect3D9* direct3D = nullptr;
bool direct3DTried = false;
IDirect3D9Ex* direct3DEx = nullptr;

template <typename T>
void release(T*& object) {
    if (object) object->Release();
    object = nullptr;
}

}  // namespace

RenderingContext* createDirectX9Context() { return new DirectX9Context(); }

IDirect3D9* getDirect3D() {
    if (!loadD3DX()) return nullptr;
    if (!direct3DTried) {
        direct3DTried = true;
        direct3D = Direct3DCreate9(D3D_SDK_VERSION);
    }
    return direct3D;
}

IDirect3D9Ex* getDirect3DEx() {
    if (!loadD3DX()) return nullptr;
    // The result code is not needed: the variable stays none until a creation succeeds.
    Direct3DCreate9Ex(D3D_SDK_VERSION, &direct3DEx);
    return direct3DEx;
}

DirectX9Context::~DirectX9Context() {
    releaseDeviceResources();
    release(font);
    release(device);
}

DrawableContext* DirectX9Context::createDrawable(NativeWindow* window, bool, uint32_t, bool, bool vsync) {
    auto* drawable = new (std::nothrow) DirectX9Drawable();
    if (!drawable) return nullptr;
    drawable->window = platform::toHwnd(window);
    D3DPRESENT_PARAMETERS& p = drawable->presentParameters;
    p = D3DPRESENT_PARAMETERS{};
    p.BackBufferFormat = D3DFMT_UNKNOWN;
    // Always four samples whatever -ms asked for; -stereo has no meaning here.
    p.MultiSampleType = D3DMULTISAMPLE_4_SAMPLES;
    p.SwapEffect = D3DSWAPEFFECT_DISCARD;
    p.hDeviceWindow = drawable->window;
    p.Windowed = TRUE;
    p.EnableAutoDepthStencil = TRUE;
    p.AutoDepthStencilFormat = D3DFMT_D16;
    p.PresentationInterval = vsync ? D3DPRESENT_INTERVAL_DEFAULT : D3DPRESENT_INTERVAL_IMMEDIATE;
    return drawable;
}

bool DirectX9Context::createContext(DrawableContext* drawableContext) {
    auto* drawable = dynamic_cast<DirectX9Drawable*>(drawableContext);
    if (!drawable) return false;
    IDirect3D9Ex* d3d = getDirect3DEx();
    if (!d3d) return false;
    // Everything later calls through the D3DX table: a library that lacks an
    // export is as unusable as a missing one.
    if (!d3dxComplete()) return false;

    D3DCAPS9 caps = {};
    d3d->GetDeviceCaps(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, &caps);
    DWORD behaviour = (caps.DevCaps & D3DDEVCAPS_HWTRANSFORMANDLIGHT) ? D3DCREATE_HARDWARE_VERTEXPROCESSING
                                                                     : D3DCREATE_SOFTWARE_VERTEXPROCESSING;
    IDirect3DDevice9Ex* created = nullptr;
    HRESULT result = d3d->CreateDeviceEx(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, drawable->window, behaviour,
                                         &drawable->presentParameters, nullptr, &created);
    if (FAILED(result) || !created) return false;
    device = created;
    makeCurrent(drawable);
    return true;
}

void DirectX9Context::setSize(unsigned newWidth, unsigned newHeight) {
    width = newWidth;
    height = newHeight;
    auto* drawable = dynamic_cast<DirectX9Drawable*>(currentDrawable);
    if (!drawable) return;
    drawable->releaseSurfaces();
    if (!device) return;
    D3DPRESENT_PARAMETERS& p = drawable->presentParameters;
    p.BackBufferWidth = newWidth;
    p.BackBufferHeight = newHeight;

    // A piece that cannot be made stays none, and everything later skips it.
    IDirect3DSwapChain9* swapChain = nullptr;
    if (FAILED(device->CreateAdditionalSwapChain(&p, &swapChain))) swapChain = nullptr;
    drawable->swapChain = swapChain;
    if (swapChain) {
        IDirect3DSurface9* backBuffer = nullptr;
        if (FAILED(swapChain->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, &backBuffer))) backBuffer = nullptr;
        drawable->backBuffer = backBuffer;
    }
    IDirect3DSurface9* depthSurface = nullptr;
    if (FAILED(device->CreateDepthStencilSurface(newWidth, newHeight, p.AutoDepthStencilFormat, p.MultiSampleType,
                                                 p.MultiSampleQuality, FALSE, &depthSurface, nullptr)))
        depthSurface = nullptr;
    drawable->depthSurface = depthSurface;

    if (drawable->backBuffer) device->SetRenderTarget(0, drawable->backBuffer);
    if (drawable->depthSurface) device->SetDepthStencilSurface(drawable->depthSurface);
}

bool DirectX9Context::makeCurrent(DrawableContext* drawableContext) {
    auto* drawable = dynamic_cast<DirectX9Drawable*>(drawableContext);
    if (!drawable) return true;
    if (drawable->swapChain && device) {
        if (drawable->backBuffer) device->SetRenderTarget(0, drawable->backBuffer);
        if (drawable->depthSurface) device->SetDepthStencilSurface(drawable->depthSurface);
    }
    currentDrawable = drawable;
    return true;
}

void DirectX9Context::present() {
    auto* drawable = dynamic_cast<DirectX9Drawable*>(currentDrawable);
    if (!drawable || !drawable->swapChain) return;
    if (frameCapture) {
        readFrame(*frameCapture);
        limitViewport(false);
    }
    handOver();
    HRESULT result = drawable->swapChain->Present(nullptr, nullptr, nullptr, nullptr, 0);
    // Occluded and other failures are not a lost device.
    if (result == D3DERR_DEVICELOST) deviceLost = true;
}

void DirectX9Context::releaseDeviceResources() {
    for (auto& entry : textureResources) delete entry.second;
    textureResources.clear();
    for (auto& entry : meshResources) delete entry.second;
    meshResources.clear();
    release(quadBuffer);
}

bool DirectX9Context::resetDevice() {
    auto* drawable = dynamic_cast<DirectX9Drawable*>(currentDrawable);
    if (!drawable) return false;
    drawable->releaseSurfaces();
    // Everything in the default pool must be gone before Reset.
    releaseDeviceResources();
    release(font);
    if (!device || FAILED(device->Reset(&drawable->presentParameters))) return false;
    deviceLost = false;
    setupRenderState();
    setSize(width, height);
    return true;
}

void DirectX9Context::printCapabilities() {
    IDirect3D9* d3d = getDirect3D();
    if (!d3d) return;
    // A standard runtime rejects the made-up adapter (and the missing record);
    // only a remote-visualization session answers it.
    decideRemoteSession(SUCCEEDED(d3d->GetDeviceCaps(markerAdapter, D3DDEVTYPE_HAL, nullptr)));
    gatherDriverFacts(*d3d);
}

// The adapter's identity, for the results file; the console report of this
// back-end is the ON/OFF line alone.
void DirectX9Context::gatherDriverFacts(IDirect3D9& d3d) {
    DriverFacts& facts = driverFacts;
    facts.windowSystem = "Direct3D 9";
    D3DADAPTER_IDENTIFIER9 adapter = {};
    if (SUCCEEDED(d3d.GetAdapterIdentifier(D3DADAPTER_DEFAULT, 0, &adapter))) {
        char text[64];
        snprintf(text, sizeof text, "0x%04lX", static_cast<unsigned long>(adapter.VendorId));
        facts.vendor = text;
        facts.renderer = adapter.Description;
        const LARGE_INTEGER& v = adapter.DriverVersion;
        snprintf(text, sizeof text, "%s %lu.%lu.%lu.%lu", adapter.Driver, static_cast<unsigned long>(HIWORD(v.HighPart)),
                 static_cast<unsigned long>(LOWORD(v.HighPart)), static_cast<unsigned long>(HIWORD(v.LowPart)),
                 static_cast<unsigned long>(LOWORD(v.LowPart)));
        facts.version = text;
    }
    facts.softwareRasteriser = softwareRendererReason(facts.renderer);
    // Texture memory the device can still give out: the nearest to video memory Direct3D 9 tells.
    if (device) facts.gpuMemoryKiB = int64_t(device->GetAvailableTextureMem()) / 1024;
    if (auto* drawable = dynamic_cast<DirectX9Drawable*>(currentDrawable)) {
        const D3DPRESENT_PARAMETERS& p = drawable->presentParameters;
        facts.grantedSamples = p.MultiSampleType == D3DMULTISAMPLE_NONMASKABLE ? 1 : uint32_t(p.MultiSampleType);
        facts.swapInterval = p.PresentationInterval == D3DPRESENT_INTERVAL_IMMEDIATE ? 0 : 1;
    }
}

}  // namespace vyr::test

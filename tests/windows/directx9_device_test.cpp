// The Direct3D 9 device under a real runtime: presentation parameters, the
// per-size swap chain, presenting, and recovery from a lost device.
#include <cstring>

#include "render/d3d9/directx9_resources.h"
#include "scene/asset_loading.h"
#include "scene/project3d.h"
#include "scene/texture.h"
#include "test_window.h"

namespace vyr::test {
namespace {

D3DSURFACE_DESC describe(IDirect3DSurface9* surface) {
    D3DSURFACE_DESC desc = {};
    surface->GetDesc(&desc);
    return desc;
}

TEST(DirectX9Drawable, AlwaysFourSamplesWhateverMultisamplingAndStereoAsk) {
    DirectX9Context context;
    HWND window = createTestWindow(64, 64);
    auto* plain = dynamic_cast<DirectX9Drawable*>(
        context.createDrawable(platform::fromHwnd(window), false, 0, false, true));
    auto* asking = dynamic_cast<DirectX9Drawable*>(
        context.createDrawable(platform::fromHwnd(window), true, 16, true, true));
    ASSERT_TRUE(plain && asking);
    EXPECT_EQ(memcmp(&plain->presentParameters, &asking->presentParameters, sizeof(D3DPRESENT_PARAMETERS)), 0);
    const D3DPRESENT_PARAMETERS& p = plain->presentParameters;
    EXPECT_EQ(p.MultiSampleType, D3DMULTISAMPLE_4_SAMPLES);
    EXPECT_EQ(p.Windowed, TRUE);
    EXPECT_EQ(p.SwapEffect, D3DSWAPEFFECT_DISCARD);
    EXPECT_EQ(p.AutoDepthStencilFormat, D3DFMT_D16);
    EXPECT_EQ(p.hDeviceWindow, window);
    EXPECT_EQ(p.PresentationInterval, UINT(D3DPRESENT_INTERVAL_DEFAULT));
    EXPECT_EQ(plain->swapChain, nullptr);
    delete plain;
    delete asking;
    DestroyWindow(window);
}

// -benchmark asks for no vertical synchronisation: the device presents immediately.
TEST(DirectX9Drawable, BenchmarkPresentsImmediately) {
    auto* context = new DirectX9Context();
    HWND window = createTestWindow(64, 64);
    auto* drawable = dynamic_cast<DirectX9Drawable*>(
        context->createDrawable(platform::fromHwnd(window), false, 0, false, false));
    ASSERT_NE(drawable, nullptr);
    EXPECT_EQ(drawable->presentParameters.PresentationInterval, UINT(D3DPRESENT_INTERVAL_IMMEDIATE));
    ASSERT_TRUE(context->createContext(drawable));
    context->setSize(64, 64);
    ASSERT_NE(drawable->swapChain, nullptr);
    // What the runtime made of it.
    D3DPRESENT_PARAMETERS used = {};
    ASSERT_EQ(drawable->swapChain->GetPresentParameters(&used), D3D_OK);
    EXPECT_EQ(used.PresentationInterval, UINT(D3DPRESENT_INTERVAL_IMMEDIATE));
    // The context goes before its drawable, as at shutdown.
    delete context;
    delete drawable;
    DestroyWindow(window);
}

TEST(DirectX9Context, WithoutAUsableDrawable) {
    DirectX9Context context;
    DrawableContext foreign;
    EXPECT_FALSE(context.createContext(nullptr));
    EXPECT_FALSE(context.createContext(&foreign));
    EXPECT_EQ(context.device, nullptr);
    EXPECT_DOUBLE_EQ(context.getVersion(), 9.0);
    context.setSize(300, 200);  // only stores the size
    EXPECT_EQ(context.width, 300u);
    EXPECT_EQ(context.height, 200u);
    EXPECT_EQ(context.currentDrawable, nullptr);
}

TEST(D3DX, AllTenExportsResolveFromTheRuntimeLibrary) {
    ASSERT_TRUE(loadD3DX());
    EXPECT_TRUE(d3dxComplete());
    HMODULE library = GetModuleHandleA("d3dx9_43.dll");
    ASSERT_NE(library, nullptr);
    for (const char* name : d3dxExportNames) EXPECT_NE(GetProcAddress(library, name), nullptr) << name;
}

// Nothing may be called through a missing entry: such a library fails device creation.
TEST(D3DX, ALibraryLackingAnExportFailsCreateContext) {
    ASSERT_TRUE(loadD3DX());
    HWND window = createTestWindow(64, 64);
    DirectX9Context context;
    DrawableContext* drawable = context.createDrawable(platform::fromHwnd(window), false, 0, false, true);
    D3DXCreateFontAFunction saved = d3dx.createFontA;
    d3dx.createFontA = nullptr;
    EXPECT_FALSE(context.createContext(drawable));
    d3dx.createFontA = saved;
    EXPECT_EQ(context.device, nullptr);
    delete drawable;
    DestroyWindow(window);
}

using DirectX9Device = DirectX9Fixture;

// No swap chain until the first size: presenting before it presents nothing.
TEST_F(DirectX9Device, CreateContextMakesTheDrawableCurrentWithoutASwapChain) {
    EXPECT_NE(context->device, nullptr);
    EXPECT_EQ(context->currentDrawable, drawable);
    EXPECT_TRUE(!drawable->swapChain && !drawable->backBuffer && !drawable->depthSurface);
    context->present();
    EXPECT_EQ(drawable->swapChain, nullptr);
    EXPECT_FALSE(context->isDeviceLost());
}

TEST_F(DirectX9Device, SetSizeBuildsSwapChainAndSurfacesOfExactlyThatSize) {
    context->setSize(320, 200);
    ASSERT_NE(drawable->swapChain, nullptr);
    ASSERT_NE(drawable->backBuffer, nullptr);
    ASSERT_NE(drawable->depthSurface, nullptr);
    D3DSURFACE_DESC back = describe(drawable->backBuffer);
    EXPECT_EQ(back.Width, 320u);
    EXPECT_EQ(back.Height, 200u);
    EXPECT_EQ(back.MultiSampleType, D3DMULTISAMPLE_4_SAMPLES);
    D3DSURFACE_DESC depth = describe(drawable->depthSurface);
    EXPECT_EQ(depth.Width, 320u);
    EXPECT_EQ(depth.Height, 200u);
    EXPECT_EQ(depth.Format, D3DFMT_D16);

    IDirect3DSurface9* target = nullptr;
    ASSERT_EQ(context->device->GetRenderTarget(0, &target), D3D_OK);
    EXPECT_EQ(target, drawable->backBuffer);
    target->Release();

    context->setSize(500, 100);
    ASSERT_NE(drawable->backBuffer, nullptr);
    EXPECT_EQ(describe(drawable->backBuffer).Width, 500u);
    EXPECT_EQ(describe(drawable->depthSurface).Height, 100u);
    EXPECT_EQ(context->width, 500u);
    EXPECT_EQ(context->height, 100u);
    for (int i = 0; i < 3; i++) context->present();
    EXPECT_FALSE(context->isDeviceLost());
}

class DirectX9DeviceLoss : public DirectX9Fixture {
protected:
    void SetUp() override {
        DirectX9Fixture::SetUp();
        if (HasFatalFailure()) return;
        loadAssets(content, context);
        context->setupRenderState();
        context->setSize(320, 200);
        ASSERT_NE(content.project, nullptr);
        textures = context->textureResources.size();
        meshes = context->meshResources.size();
        ASSERT_GT(textures, 3u);
        ASSERT_GT(meshes, 0u);
    }
    void TearDown() override {
        DirectX9Fixture::TearDown();
        context = nullptr;
        releaseAssets(content);
    }

    SceneContent content;
    size_t textures = 0, meshes = 0;
};

TEST_F(DirectX9DeviceLoss, ResetEmptiesTheMapsAndRebuildsBufferFontAndSwapChain) {
    context->setSize(300, 180);
    context->setDeviceLost(true);
    ASSERT_TRUE(context->isDeviceLost());
    ASSERT_TRUE(context->resetDevice());
    EXPECT_FALSE(context->isDeviceLost());
    EXPECT_TRUE(context->textureResources.empty());
    EXPECT_TRUE(context->meshResources.empty());
    EXPECT_NE(context->font, nullptr);
    ASSERT_NE(context->quadBuffer, nullptr);

    void* data = nullptr;
    ASSERT_EQ(context->quadBuffer->Lock(0, 0, &data, D3DLOCK_READONLY), D3D_OK);
    const auto* vertices = static_cast<const SceneVertex*>(data);
    EXPECT_FLOAT_EQ(vertices[5].x, 0.5f);
    EXPECT_FLOAT_EQ(vertices[5].u, 2.0f);
    EXPECT_FLOAT_EQ(vertices[9].z, -0.5f);
    EXPECT_FLOAT_EQ(vertices[9].u, -0.45f);
    context->quadBuffer->Unlock();

    // The swap chain comes back at the last recorded size.
    ASSERT_NE(drawable->swapChain, nullptr);
    ASSERT_NE(drawable->backBuffer, nullptr);
    EXPECT_EQ(describe(drawable->backBuffer).Width, 300u);
    EXPECT_EQ(describe(drawable->backBuffer).Height, 180u);
    EXPECT_EQ(describe(drawable->depthSurface).Width, 300u);
}

// The frame loop's device check: reset, then the whole content handed over again.
TEST_F(DirectX9DeviceLoss, LoopDeviceCheckReuploadsEverything) {
    context->renderFrame(content.project, content.overlays);  // no loss, no reset
    EXPECT_FALSE(context->isDeviceLost());
    EXPECT_EQ(context->textureResources.size(), textures);
    context->setDeviceLost(true);
    if (context->isDeviceLost() && context->resetDevice()) reuploadAssets(content, context);
    EXPECT_FALSE(context->isDeviceLost());
    EXPECT_EQ(context->textureResources.size(), textures);
    EXPECT_EQ(context->meshResources.size(), meshes);
    for (auto& entry : context->textureResources) {
        auto* texture = dynamic_cast<DirectX9Texture*>(entry.second);
        ASSERT_NE(texture, nullptr);
        if (entry.first->pixels) {
            EXPECT_NE(texture->d3dTexture, nullptr) << entry.first->name;
        }
    }
    for (auto& entry : context->meshResources) {
        auto* mesh = dynamic_cast<DirectX9Mesh3D*>(entry.second);
        ASSERT_NE(mesh, nullptr);
        EXPECT_NE(mesh->vertexBuffer, nullptr);
    }
    // And the device draws again.
    context->renderFrame(content.project, content.overlays);
    EXPECT_FALSE(context->isDeviceLost());
}

}  // namespace
}  // namespace vyr::test

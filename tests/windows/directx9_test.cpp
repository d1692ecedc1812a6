// Direct3D 9 under a real runtime (Wine's): the device, uploads and whole frames.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/window_win32.h"
#include "render/d3d9/directx9_context.h"
#include "render/d3d9/directx9_drawable.h"
#include "render/d3d9/directx9_resources.h"
#include "scene/asset_loading.h"
#include "scene/project3d.h"
#include "scene/texture.h"
#include "scene/object3d.h"
#include "render/demo_scene.h"
#include "window/backend_window.h"

namespace vyr::test {

// A hidden window of the platform's own, as the program makes it, and a
// Direct3D 9 context with its drawable.
HWND createTestWindow(int clientWidth, int clientHeight) {
    platform::registerMainWindowClass("vyr_d3d9_test", vyr::testing::ignoreEvents);  // again: refused, harmless
    return platform::toHwnd(platform::createMainWindow("vyr_d3d9_test", "d3d9 test", clientWidth, clientHeight));
}

class DirectX9Fixture : public ::testing::Test {
protected:
    void SetUp() override {
        window = createTestWindow(640, 400);
        ASSERT_NE(window, nullptr);
        context = new DirectX9Context();
        drawable = dynamic_cast<DirectX9Drawable*>(
            context->createDrawable(platform::fromHwnd(window), false, 0, false, true));
        ASSERT_NE(drawable, nullptr);
        ASSERT_TRUE(context->createContext(drawable));
    }
    void TearDown() override {
        delete context;
        delete drawable;
        if (window) DestroyWindow(window);
    }

    HWND window = nullptr;
    DirectX9Context* context = nullptr;
    DirectX9Drawable* drawable = nullptr;
};

namespace {

D3DSURFACE_DESC describe(IDirect3DSurface9* surface) {
    D3DSURFACE_DESC desc = {};
    surface->GetDesc(&desc);
    return desc;
}
// Width and height, to compare with a pair.
std::pair<UINT, UINT> sizeOf(IDirect3DSurface9* surface) {
    D3DSURFACE_DESC desc = describe(surface);
    return {desc.Width, desc.Height};
}
const auto size = [](UINT width, UINT height) { return std::make_pair(width, height); };

// Four samples whatever multisampling and stereo ask; -benchmark asks for no
// vertical synchronisation, and the runtime's swap chain presents immediately.
TEST(DirectX9Drawable, PresentParameters) {
    auto* context = new DirectX9Context();
    HWND window = createTestWindow(64, 64);
    auto drawable = [&](bool multisample, uint32_t samples, bool stereo, bool vsync) {
        return dynamic_cast<DirectX9Drawable*>(
            context->createDrawable(platform::fromHwnd(window), multisample, samples, stereo, vsync));
    };
    DirectX9Drawable *plain = drawable(false, 0, false, true), *asking = drawable(true, 16, true, true);
    DirectX9Drawable* benchmark = drawable(false, 0, false, false);
    ASSERT_TRUE(plain && asking && benchmark);
    EXPECT_EQ(memcmp(&plain->presentParameters, &asking->presentParameters, sizeof(D3DPRESENT_PARAMETERS)), 0);
    // The four samples and the 16-bit depth: the surfaces of DirectX9Device's test.
    const D3DPRESENT_PARAMETERS& p = plain->presentParameters;
    EXPECT_TRUE(p.Windowed && p.SwapEffect == D3DSWAPEFFECT_DISCARD);
    EXPECT_EQ(p.hDeviceWindow, window);
    EXPECT_EQ(p.PresentationInterval, UINT(D3DPRESENT_INTERVAL_DEFAULT));
    ASSERT_TRUE(context->createContext(benchmark));
    context->setSize(64, 64);
    ASSERT_NE(benchmark->swapChain, nullptr);
    D3DPRESENT_PARAMETERS used = {};
    ASSERT_EQ(benchmark->swapChain->GetPresentParameters(&used), D3D_OK);
    EXPECT_EQ(used.PresentationInterval, UINT(D3DPRESENT_INTERVAL_IMMEDIATE));
    delete context;  // the context goes before its drawables, as at shutdown
    for (DirectX9Drawable* d : {plain, asking, benchmark}) delete d;
    DestroyWindow(window);
}

TEST(DirectX9Context, WithoutAUsableDrawable) {
    DirectX9Context context;
    DrawableContext foreign;
    EXPECT_FALSE(context.createContext(nullptr));
    EXPECT_FALSE(context.createContext(&foreign));
    EXPECT_EQ(context.device, nullptr);
    context.setSize(300, 200);  // only stores the size
    EXPECT_EQ(context.width, 300u);
    EXPECT_EQ(context.height, 200u);
    EXPECT_EQ(context.currentDrawable, nullptr);
}

// All ten exports resolve from the runtime's library; nothing may be called
// through a missing entry: such a library fails device creation.
TEST(D3DX, ExportsAndALibraryLackingOne) {
    ASSERT_TRUE(loadD3DX());
    EXPECT_TRUE(d3dxComplete());
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
// Each size then builds the swap chain and surfaces of exactly that size.
TEST_F(DirectX9Device, SetSizeBuildsSwapChainAndSurfacesOfExactlyThatSize) {
    EXPECT_NE(context->device, nullptr);
    EXPECT_EQ(context->currentDrawable, drawable);
    EXPECT_TRUE(!drawable->swapChain && !drawable->backBuffer && !drawable->depthSurface);
    context->present();
    EXPECT_EQ(drawable->swapChain, nullptr);
    context->setSize(320, 200);
    ASSERT_NE(drawable->swapChain, nullptr);
    ASSERT_NE(drawable->backBuffer, nullptr);
    ASSERT_NE(drawable->depthSurface, nullptr);
    EXPECT_EQ(sizeOf(drawable->backBuffer), size(320, 200));
    EXPECT_EQ(describe(drawable->backBuffer).MultiSampleType, D3DMULTISAMPLE_4_SAMPLES);
    EXPECT_EQ(sizeOf(drawable->depthSurface), size(320, 200));
    EXPECT_EQ(describe(drawable->depthSurface).Format, D3DFMT_D16);

    IDirect3DSurface9* target = nullptr;
    ASSERT_EQ(context->device->GetRenderTarget(0, &target), D3D_OK);
    EXPECT_EQ(target, drawable->backBuffer);
    target->Release();

    context->setSize(500, 100);
    ASSERT_NE(drawable->backBuffer, nullptr);
    EXPECT_EQ(sizeOf(drawable->backBuffer), size(500, 100));
    EXPECT_EQ(sizeOf(drawable->depthSurface), size(500, 100));
    EXPECT_EQ(size(context->width, context->height), size(500, 100));
    for (int i = 0; i < 3; i++) context->present();
    EXPECT_FALSE(context->isDeviceLost());
}

// The first count vertices of a vertex buffer, read back; none when it cannot be locked.
std::vector<SceneVertex> readVertices(IDirect3DVertexBuffer9* buffer, size_t count) {
    void* data = nullptr;
    if (!buffer || buffer->Lock(0, 0, &data, D3DLOCK_READONLY) != D3D_OK) return {};
    const auto* first = static_cast<const SceneVertex*>(data);
    std::vector<SceneVertex> vertices(first, first + count);
    buffer->Unlock();
    return vertices;
}

// Each float read back against the value it should hold, numbered in the message.
void expectFields(std::initializer_list<std::pair<float, float>> fields) {
    int i = 0;
    for (const auto& [got, want] : fields) EXPECT_FLOAT_EQ(got, want) << "field " << i++;
}

constexpr unsigned frameWidth = 320, frameHeight = 200;

// The demo's whole content loaded into the device at the frame size.
class DirectX9Content : public DirectX9Fixture {
protected:
    void SetUp() override {
        DirectX9Fixture::SetUp();
        if (HasFatalFailure()) return;
        loadAssets(content, context);
        context->setupRenderState();
        context->setSize(frameWidth, frameHeight);
        ASSERT_NE(content.project, nullptr);
        ASSERT_NE(drawable->backBuffer, nullptr);
        textures = context->textureResources.size();
        meshes = context->meshResources.size();
        ASSERT_GT(textures, 3u);
        ASSERT_GT(meshes, 0u);
    }
    void TearDown() override {
        DirectX9Fixture::TearDown();
        releaseAssets(content);
    }

    SceneContent content;
    size_t textures = 0, meshes = 0;
};
using DirectX9DeviceLoss = DirectX9Content;

// The frame loop's device check: the reset empties the maps and rebuilds the
// quad buffer, the font and the swap chain; then the whole content is handed over again.
TEST_F(DirectX9DeviceLoss, ResetRebuildsAndTheLoopReuploadsEverything) {
    context->renderFrame(content.project, content.overlays);  // no loss, no reset
    EXPECT_FALSE(context->isDeviceLost());
    EXPECT_EQ(context->textureResources.size(), textures);
    context->setSize(300, 180);
    context->setDeviceLost(true);
    ASSERT_TRUE(context->isDeviceLost() && context->resetDevice());
    EXPECT_FALSE(context->isDeviceLost());
    EXPECT_TRUE(context->textureResources.empty() && context->meshResources.empty());
    EXPECT_NE(context->font, nullptr);
    ASSERT_NE(context->quadBuffer, nullptr);

    std::vector<SceneVertex> quad = readVertices(context->quadBuffer, 10);
    ASSERT_EQ(quad.size(), 10u);
    expectFields({{quad[5].x, 0.5f}, {quad[5].u, 2.0f}, {quad[9].z, -0.5f}, {quad[9].u, -0.45f}});

    // The swap chain comes back at the last recorded size.
    ASSERT_NE(drawable->swapChain, nullptr);
    ASSERT_NE(drawable->backBuffer, nullptr);
    EXPECT_EQ(sizeOf(drawable->backBuffer), size(300, 180));
    EXPECT_EQ(sizeOf(drawable->depthSurface), size(300, 180));

    reuploadAssets(content, context);
    EXPECT_EQ(context->textureResources.size(), textures);
    EXPECT_EQ(context->meshResources.size(), meshes);
    for (auto& [texture, held] : context->textureResources) {
        auto* d3d = dynamic_cast<DirectX9Texture*>(held);
        ASSERT_NE(d3d, nullptr);
        EXPECT_TRUE(!texture->pixels || d3d->d3dTexture) << texture->name;
    }
    for (auto& [object, held] : context->meshResources) {
        auto* d3d = dynamic_cast<DirectX9Mesh3D*>(held);
        ASSERT_NE(d3d, nullptr);
        EXPECT_NE(d3d->vertexBuffer, nullptr);
    }
    // And the device draws again.
    context->renderFrame(content.project, content.overlays);
    EXPECT_FALSE(context->isDeviceLost());
}

// Texture and mesh upload read back from the locked Direct3D objects.

using DirectX9Upload = DirectX9Fixture;

// Level 0 as B, G, R, A bytes, rows tightly packed, and its format.
std::vector<uint8_t> readBack(DirectX9Context& context, Texture* texture, D3DFORMAT* format = nullptr) {
    std::vector<uint8_t> bytes;
    auto* held = dynamic_cast<DirectX9Texture*>(context.textureResources[texture]);
    if (!held || !held->d3dTexture) return bytes;
    D3DSURFACE_DESC desc = {};
    if (format && held->d3dTexture->GetLevelDesc(0, &desc) == D3D_OK) *format = desc.Format;
    D3DLOCKED_RECT locked = {};
    if (held->d3dTexture->LockRect(0, &locked, nullptr, D3DLOCK_READONLY) != D3D_OK) return bytes;
    for (uint32_t y = 0; y < texture->height; y++) {
        const uint8_t* row = static_cast<const uint8_t*>(locked.pBits) + y * locked.Pitch;
        bytes.insert(bytes.end(), row, row + texture->width * 4);
    }
    held->d3dTexture->UnlockRect(0);
    return bytes;
}

// Each row: a texture (rows `pitch` bytes apart, padding 0xEE that must not be
// read as pixels), the palette if any, and level 0 read back as B, G, R, A.
TEST_F(DirectX9Upload, FormatsBecomeOpaqueOrAlphaTextures) {
    std::vector<float> palette(256 * 4, 0.0f);
    palette[0] = 12.0f, palette[1] = 34.0f, palette[2] = 56.0f;
    palette[4] = 255.9f, palette[6] = 300.0f, palette[7] = 7.0f;  // truncated to the low byte, alpha ignored
    struct Row {
        uint32_t format, width, height, pitch;
        std::vector<uint8_t> pixels;
        const float* palette;
        D3DFORMAT d3dFormat;
        std::vector<uint8_t> expected;
    } rows[] = {
        {Index8, 3, 2, 4, {10, 20, 30, 0xEE, 40, 50, 60}, nullptr, D3DFMT_X8R8G8B8,
         {10, 10, 10, 255, 20, 20, 20, 255, 30, 30, 30, 255, 40, 40, 40, 255, 50, 50, 50, 255, 60, 60, 60, 255}},
        {Index8, 2, 1, 2, {1, 0}, palette.data(), D3DFMT_X8R8G8B8, {44, 0, 255, 255, 56, 34, 12, 255}},
        {RGBA8, 2, 1, 8, {1, 2, 3, 128, 200, 100, 50, 0}, nullptr, D3DFMT_A8R8G8B8, {3, 2, 1, 128, 50, 100, 200, 0}},
        {RGB8, 2, 2, 8, {1, 2, 3, 4, 5, 6, 0xEE, 0xEE, 7, 8, 9, 10, 11, 12}, nullptr, D3DFMT_X8R8G8B8,
         {3, 2, 1, 255, 6, 5, 4, 255, 9, 8, 7, 255, 12, 11, 10, 255}},
    };
    for (const Row& row : rows) {
        Texture* texture = vyr::testing::makeTexture(row.format, row.width, row.height, row.pitch, row.pixels);
        ASSERT_TRUE(context->uploadTexture(texture, row.palette));
        D3DFORMAT format = D3DFMT_UNKNOWN;
        EXPECT_EQ(readBack(*context, texture, &format), row.expected);
        EXPECT_EQ(format, row.d3dFormat);
        // A second upload refreshes the same texture in place.
        auto* held = dynamic_cast<DirectX9Texture*>(context->textureResources[texture]);
        IDirect3DTexture9* first = held->d3dTexture;
        texture->pixels[0] = 0;
        ASSERT_TRUE(context->uploadTexture(texture, row.palette));
        EXPECT_EQ(context->textureResources.size(), 1u);
        EXPECT_EQ(held->d3dTexture, first);
        EXPECT_NE(readBack(*context, texture), row.expected);
        delete held;
        context->textureResources.clear();
        delete texture;
    }
    Texture empty;  // without pixels: an entry without a Direct3D texture
    EXPECT_FALSE(context->uploadTexture(nullptr, nullptr));
    EXPECT_TRUE(context->uploadTexture(&empty, nullptr));
    auto* held = dynamic_cast<DirectX9Texture*>(context->textureResources[&empty]);
    ASSERT_NE(held, nullptr);
    EXPECT_EQ(held->d3dTexture, nullptr);
    delete held;
    context->textureResources.clear();
}

TEST_F(DirectX9Upload, MeshIsMirroredInZWithCoordinatesFromTheStoredPosition) {
    Object3D root;
    Mesh3D* mesh = vyr::testing::makeMesh("Cone", {1, 2, 3, 4, 5, -6, 0, 0, 0}, {0, 0, 1, 1, 0, 0, 0, 0, 0});
    root.children.push_back(nullptr);
    root.children.push_back(mesh);
    ASSERT_TRUE(context->uploadMesh(&root));
    // The plain node has no entry; its mesh child does.
    EXPECT_EQ(context->meshResources.count(&root), 0u);
    auto* held = dynamic_cast<DirectX9Mesh3D*>(context->meshResources[mesh]);
    ASSERT_NE(held, nullptr);
    std::vector<SceneVertex> v = readVertices(held->vertexBuffer, 3);
    ASSERT_EQ(v.size(), 3u);
    expectFields({{v[0].x, 1}, {v[0].y, 2}, {v[0].z, -3}, {v[0].nx, 0}, {v[0].ny, 0}, {v[0].nz, -1}, {v[0].u, -1.5f},
                  {v[0].v, 1}, {v[1].z, 6}, {v[1].u, 3}, {v[1].v, 4}, {v[1].nx, 1}});

    // Uploading again reuses the buffer and rewrites it.
    IDirect3DVertexBuffer9* buffer = held->vertexBuffer;
    mesh->vertices[0] = 7;
    ASSERT_TRUE(context->uploadMesh(mesh));
    EXPECT_EQ(held->vertexBuffer, buffer);
    EXPECT_FLOAT_EQ(readVertices(buffer, 1).at(0).x, 7);
    D3DVERTEXBUFFER_DESC desc = {};
    buffer->GetDesc(&desc);
    EXPECT_EQ(desc.Size, 96u);
    EXPECT_EQ(desc.FVF, DWORD(0x112));

    context->releaseDeviceResources();
    EXPECT_TRUE(context->meshResources.empty());
}

// Whole frames drawn into the swap chain and read back: each part of the scene
// is found by drawing the frame with and without it.

class DirectX9Scene : public DirectX9Content {
protected:
    // The back buffer resolved and copied to system memory, X8R8G8B8, top row first.
    std::vector<uint32_t> frame(Project3D* project) {
        std::vector<uint32_t> pixels;
        context->drawScene(0.0f, project, content.overlays);
        IDirect3DDevice9Ex* device = context->device;
        IDirect3DSurface9 *resolved = nullptr, *copy = nullptr;
        if (device->CreateRenderTarget(frameWidth, frameHeight, D3DFMT_X8R8G8B8, D3DMULTISAMPLE_NONE, 0, FALSE,
                                       &resolved, nullptr) != D3D_OK)
            return pixels;
        device->CreateOffscreenPlainSurface(frameWidth, frameHeight, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM, &copy,
                                            nullptr);
        device->StretchRect(drawable->backBuffer, nullptr, resolved, nullptr, D3DTEXF_NONE);
        device->GetRenderTargetData(resolved, copy);
        D3DLOCKED_RECT locked = {};
        if (copy->LockRect(&locked, nullptr, D3DLOCK_READONLY) == D3D_OK) {
            for (unsigned y = 0; y < frameHeight; y++) {
                const auto* row = reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(locked.pBits) +
                                                                    y * locked.Pitch);
                pixels.insert(pixels.end(), row, row + frameWidth);
            }
            copy->UnlockRect();
        }
        copy->Release();
        resolved->Release();
        return pixels;
    }

    // Mean absolute difference per channel over the band of whole rows above the logo.
    static double difference(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
        const size_t band = size_t(frameWidth) * (frameHeight / 2 - 40);
        double sum = 0;
        for (size_t i = 0; i < band; i++)
            for (int shift = 0; shift < 24; shift += 8)
                sum += std::abs(int((a[i] >> shift) & 0xFF) - int((b[i] >> shift) & 0xFF));
        return sum / (3.0 * band);
    }
};

// The background, the logo and the OFF indicator: wine_d3d9_program_scene.
TEST_F(DirectX9Scene, BenchmarkDrawsStreaksInsteadOfStars) {
    // Animation time 0 for every frame: the front logo faces the viewer.
    context->pauseState = Paused;
    pauseTime = sceneStart = sceneClock();
    context->remoteActive = true;
    std::vector<uint32_t> bare = frame(nullptr);
    std::vector<uint32_t> stars = frame(content.project);
    ASSERT_EQ(stars.size(), size_t(frameWidth) * frameHeight);
    context->benchmark = true;
    std::vector<uint32_t> streaks = frame(content.project);
    streaks = frame(content.project);  // the second frame blends as the first left the state
    EXPECT_GT(difference(stars, bare), 0.2);
    EXPECT_GT(difference(streaks, bare), 0.05);
    EXPECT_GT(difference(streaks, stars), 0.05);
}

}  // namespace
}  // namespace vyr::test

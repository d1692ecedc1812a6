// Whole frames drawn into the swap chain and read back: each part of the scene
// is found by drawing the frame with and without it.
#include <cstdlib>
#include <vector>

#include "render/d3d9/directx9_resources.h"
#include "render/demo_scene.h"
#include "scene/asset_loading.h"
#include "scene/project3d.h"
#include "test_window.h"

namespace vyr::test {
namespace {

constexpr unsigned frameWidth = 320, frameHeight = 200;

struct Region {
    unsigned left, top, right, bottom;  // pixels, rows counted from the top
};

class DirectX9Scene : public DirectX9Fixture {
protected:
    void SetUp() override {
        DirectX9Fixture::SetUp();
        if (HasFatalFailure()) return;
        loadAssets(content, context);
        context->setupRenderState();
        context->setSize(frameWidth, frameHeight);
        ASSERT_NE(drawable->backBuffer, nullptr);
        // Animation time 0 for every frame: the front logo faces the viewer.
        context->pauseState = Paused;
        pauseTime = sceneStart = sceneClock();
    }
    void TearDown() override {
        DirectX9Fixture::TearDown();
        releaseAssets(content);
    }

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

    // Mean absolute difference per channel over the region.
    static double difference(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b, Region r) {
        double sum = 0;
        for (unsigned y = r.top; y < r.bottom; y++)
            for (unsigned x = r.left; x < r.right; x++) {
                uint32_t p = a[y * frameWidth + x], q = b[y * frameWidth + x];
                for (int shift = 0; shift < 24; shift += 8)
                    sum += std::abs(int((p >> shift) & 0xFF) - int((q >> shift) & 0xFF));
            }
        return sum / (3.0 * (r.right - r.left) * (r.bottom - r.top));
    }
    static double brightness(const std::vector<uint32_t>& a, Region r) {
        std::vector<uint32_t> black(a.size(), 0);
        return difference(a, black, r);
    }

    SceneContent content;
};

const Region offIndicator = {frameWidth - 138, frameHeight - 41, frameWidth - 10, frameHeight};
const Region centre = {frameWidth / 2 - 20, frameHeight / 2 - 20, frameWidth / 2 + 20, frameHeight / 2 + 20};
const Region upperBand = {0, 0, frameWidth, frameHeight / 2 - 40};

TEST_F(DirectX9Scene, BackgroundLogoAndOffIndicator) {
    std::vector<uint32_t> full = frame(content.project);
    ASSERT_EQ(full.size(), size_t(frameWidth) * frameHeight);
    // The tiled background alone already lights the frame.
    std::vector<uint32_t> bare = frame(nullptr);
    EXPECT_GT(brightness(bare, upperBand), 2.0);
    // The logo stands at the centre.
    EXPECT_GT(difference(full, bare, centre), 10.0);
    context->remoteActive = true;
    std::vector<uint32_t> remote = frame(content.project);
    EXPECT_GT(difference(full, remote, offIndicator), 5.0);
    EXPECT_LT(difference(full, remote, centre), 0.5);
}

TEST_F(DirectX9Scene, BenchmarkDrawsStreaksInsteadOfStars) {
    context->remoteActive = true;
    std::vector<uint32_t> bare = frame(nullptr);
    std::vector<uint32_t> stars = frame(content.project);
    context->benchmark = true;
    std::vector<uint32_t> streaks = frame(content.project);
    streaks = frame(content.project);  // the second frame blends as the first left the state
    EXPECT_GT(difference(stars, bare, upperBand), 0.2);
    EXPECT_GT(difference(streaks, bare, upperBand), 0.05);
    EXPECT_GT(difference(streaks, stars, upperBand), 0.05);
}

}  // namespace
}  // namespace vyr::test

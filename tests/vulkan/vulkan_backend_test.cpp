// The Vulkan back-end against a real X server and lavapipe, under the
// validation layer: a lost device is reset through the same steps the frame
// loop takes, and draws again; a captured frame is the picture the window shows.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/native_window.h"
#include "platform/window_x11.h"
#include "render/demo_scene.h"
#include "render/vulkan/vulkan_context.h"
#include "scene/project3d.h"
#include "scene/texture.h"
#include "window/backend_window.h"
#include "window/x_test_server.h"

#include <X11/Xutil.h>  // after gtest: X defines None and Bool

namespace {

using namespace vyr::test;
using vyr::testing::ignoreEvents;
using vyr::testing::solidTexture;

// A shown window with a 4-sample Vulkan context drawing the scene's background
// (blue) and overlays (the OFF indicator red) into it.
class VulkanBackend : public ::testing::Test {
protected:
    void open(unsigned width, unsigned height) {
        ASSERT_TRUE(server.start());
        setenv("VK_INSTANCE_LAYERS", "VK_LAYER_KHRONOS_validation", 1);
        ASSERT_TRUE(vyr::platform::registerMainWindowClass("VYRTEST", ignoreEvents));
        window = vyr::platform::createMainWindow("VYRTEST", "TARSEL VYR - Test Application (Vulkan)", width, height);
        ASSERT_NE(window, nullptr);
        context = static_cast<VulkanContext*>(createVulkanContext());
        drawable = context->createDrawable(window, true, 4, false, true);
        ASSERT_NE(drawable, nullptr);
        ASSERT_TRUE(context->createContext(drawable));
        upload();
        context->setSize(width, height);
        context->setupRenderState();
        vyr::platform::showWindow(window, 1);
        user = XOpenDisplay(nullptr);
        shown = vyr::testing::waitForMappedWindow(user);
    }

    void upload() {
        for (Texture* t : overlays) ASSERT_TRUE(context->uploadTexture(t, nullptr));
        ASSERT_TRUE(context->uploadProject(&project));
    }

    // The background's blue fills the middle of the window once a frame is there.
    bool drawsBackground() {
        for (int attempt = 0; attempt < 600; attempt++) {
            context->renderFrame(&project, overlays);
            std::vector<char> pixels = vyr::testing::windowPixels(user, shown);
            size_t middle = (200 * context->width + 320) * 4;
            if (pixels.size() > middle + 2 && uint8_t(pixels[middle]) > 150 && uint8_t(pixels[middle + 2]) < 50)
                return true;  // BGRA: blue high, red low
        }
        return false;
    }

    void SetUp() override { testing::internal::CaptureStdout(); }
    void TearDown() override {
        delete context;
        delete drawable;
        for (Texture* t : overlays) delete t;
        if (user) XCloseDisplay(user);
        std::string printed = testing::internal::GetCapturedStdout();
        for (const char* word : {"Validation", "VUID"}) EXPECT_EQ(printed.find(word), std::string::npos) << printed;
    }

    vyr::testing::XTestServer server;
    NativeWindow* window = nullptr;
    VulkanContext* context = nullptr;
    DrawableContext* drawable = nullptr;
    Texture* overlays[3] = {solidTexture(0, 0, 200), solidTexture(255, 255, 0), solidTexture(255, 0, 0)};
    Project3D project;
    Display* user = nullptr;
    ::Window shown = 0;
};

TEST_F(VulkanBackend, LostDeviceIsResetAndTakesTheContentAgain) {
    open(640, 400);
    EXPECT_TRUE(drawsBackground());

    context->setDeviceLost(true);
    ASSERT_TRUE(context->isDeviceLost());
    ASSERT_TRUE(context->resetDevice());
    EXPECT_FALSE(context->isDeviceLost());
    EXPECT_TRUE(context->textureResources.empty()) << "a reset device holds nothing of the old one";
    upload();
    EXPECT_TRUE(drawsBackground());
}

// A 640 x 400 capture from a larger window: drawn at its top-left, top row
// first, red first, and what the window system holds once present() returns.
TEST_F(VulkanBackend, CapturedFrameIsWhatTheWindowShows) {
    open(800, 500);
    ASSERT_TRUE(drawsBackground());
    FrameImage frame;
    frame.width = 1;  // a capture says its own size
    context->frameCapture = &frame;
    context->width = 640, context->height = 400;
    context->renderFrame(&project, overlays);
    context->frameCapture = nullptr;
    context->width = 800, context->height = 500;
    ASSERT_EQ(std::make_pair(frame.width, frame.height), std::make_pair(640u, 400u));
    ASSERT_EQ(frame.rgba.size(), size_t(640) * 400 * 4);

    // Read at once through the window's own connection, as the program reads it.
    Display* own = vyr::platform::x11Display(window);
    XImage* image = XGetImage(own, vyr::platform::x11Window(window), 0, 0, 800, 500, AllPlanes, ZPixmap);
    ASSERT_NE(image, nullptr);
    auto screen = [&](int x, int y, int channel) {  // BGRX
        return int(uint8_t(image->data[y * image->bytes_per_line + x * 4 + 2 - channel]));
    };
    auto captured = [&](int x, int y, int channel) { return int(frame.rgba[(size_t(y) * 640 + x) * 4 + channel]); };
    double difference = 0.0;
    for (int y = 0; y < 400; y++)
        for (int x = 0; x < 640; x++)
            for (int channel = 0; channel < 3; channel++) difference += std::abs(captured(x, y, channel) - screen(x, y, channel));
    difference /= 640.0 * 400.0 * 3.0;
    EXPECT_LT(difference, 0.5) << "mean difference in levels of 255";
    EXPECT_EQ(screen(720, 450, 0) + screen(720, 450, 1) + screen(720, 450, 2), 0) << "nothing drawn beyond 640 x 400";
    XDestroyImage(image);

    for (size_t i = 3; i < frame.rgba.size(); i += 4) ASSERT_EQ(frame.rgba[i], 255) << "not opaque: pixel " << i / 4;
    auto isColour = [&](int x, int y, int r, int g, int b) {
        return std::abs(captured(x, y, 0) - r) < 40 && std::abs(captured(x, y, 1) - g) < 40 &&
               std::abs(captured(x, y, 2) - b) < 40;
    };
    const int offX = 640 - offIndicatorRightMargin - overlayWidth / 2;
    EXPECT_TRUE(isColour(320, 200, 0, 0, 200)) << "the background";
    EXPECT_TRUE(isColour(offX, 400 - overlayHeight / 2, 255, 0, 0)) << "the OFF indicator at the bottom right";
    EXPECT_TRUE(isColour(offX, overlayHeight / 2, 0, 0, 200)) << "the background above it";
}

}  // namespace

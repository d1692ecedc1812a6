// The Vulkan back-end against a real X server and lavapipe: a lost device is
// reset through the same steps the frame loop takes, and draws again.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/native_window.h"
#include "render/vulkan/vulkan_context.h"
#include "scene/project3d.h"
#include "scene/texture.h"
#include "window/x_test_server.h"

namespace {

using namespace vyr::test;

vyr::platform::EventDisposition ignoreEvents(NativeWindow*, const vyr::platform::WindowEvent&) {
    return vyr::platform::EventDisposition::DefaultHandling;
}

Texture* solidTexture(uint8_t r, uint8_t g, uint8_t b) {
    Texture* texture = new Texture();
    texture->width = texture->height = 4;
    texture->pitch = 16;
    texture->format = RGBA8;
    texture->pixels = static_cast<uint8_t*>(malloc(64));
    for (int i = 0; i < 16; i++) {
        uint8_t* p = texture->pixels + i * 4;
        p[0] = r, p[1] = g, p[2] = b, p[3] = 255;
    }
    return texture;
}

TEST(VulkanBackend, LostDeviceIsResetAndTakesTheContentAgain) {
    vyr::testing::XTestServer server;
    ASSERT_TRUE(server.start());
    setenv("VK_INSTANCE_LAYERS", "VK_LAYER_KHRONOS_validation", 1);
    testing::internal::CaptureStdout();
    ASSERT_TRUE(vyr::platform::registerMainWindowClass("VYRTEST", ignoreEvents));
    NativeWindow* window = vyr::platform::createMainWindow("VYRTEST", "TARSEL VYR - Test Application (Vulkan)", 640, 400);
    ASSERT_NE(window, nullptr);
    auto* context = static_cast<VulkanContext*>(createVulkanContext());
    DrawableContext* drawable = context->createDrawable(window, true, 4, false, true);
    ASSERT_NE(drawable, nullptr);
    ASSERT_TRUE(context->createContext(drawable));
    Texture* overlays[3] = {solidTexture(0, 0, 200), solidTexture(255, 255, 0), solidTexture(255, 0, 0)};
    Project3D project;
    auto upload = [&] {
        for (Texture* t : overlays) ASSERT_TRUE(context->uploadTexture(t, nullptr));
        ASSERT_TRUE(context->uploadProject(&project));
    };
    upload();
    context->setSize(640, 400);
    context->setupRenderState();
    vyr::platform::showWindow(window, 1);
    Display* user = XOpenDisplay(nullptr);
    ::Window shown = vyr::testing::waitForMappedWindow(user);
    // The background's blue fills the middle of the window once a frame is there.
    auto drawsBackground = [&] {
        for (int attempt = 0; attempt < 600; attempt++) {
            context->renderFrame(&project, overlays);
            std::vector<char> pixels = vyr::testing::windowPixels(user, shown);
            size_t middle = (200 * 640 + 320) * 4;
            if (pixels.size() > middle + 2 && uint8_t(pixels[middle]) > 150 && uint8_t(pixels[middle + 2]) < 50)
                return true;  // BGRA: blue high, red low
        }
        return false;
    };
    EXPECT_TRUE(drawsBackground());

    context->setDeviceLost(true);
    ASSERT_TRUE(context->isDeviceLost());
    ASSERT_TRUE(context->resetDevice());
    EXPECT_FALSE(context->isDeviceLost());
    EXPECT_TRUE(context->textureResources.empty()) << "a reset device holds nothing of the old one";
    upload();
    EXPECT_TRUE(drawsBackground());

    delete context;
    delete drawable;
    for (Texture* t : overlays) delete t;
    XCloseDisplay(user);
    std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(printed.find("Validation"), std::string::npos) << printed;
    EXPECT_EQ(printed.find("VUID"), std::string::npos) << printed;
}

}  // namespace

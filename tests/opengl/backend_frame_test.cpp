// The back-end against a real X server (a test display with Mesa): one window, frames
// drawn with drawScene and read back, regions compared.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "platform/native_window.h"
#include "render/demo_scene.h"
#include "render/opengl/gl_api.h"
#include "render/opengl/opengl_context.h"
#include "render/opengl/opengl_resources.h"
#include "scene/project3d.h"
#include "scene/texture.h"
#include "window/backend_window.h"
#include "window/x_test_server.h"

namespace {

using namespace vyr::test;
using vyr::testing::ignoreEvents;
using vyr::testing::solidTexture;

class BackendFrame : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        server = new vyr::testing::XTestServer();
        ASSERT_TRUE(server->start({"-screen", "0", "1280x1024x24", "+extension", "GLX"}));
        setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
        ASSERT_TRUE(vyr::platform::registerMainWindowClass("VYRTEST", ignoreEvents));
        window = vyr::platform::createMainWindow("VYRTEST", "TARSEL VYR - Test Application (OpenGL)", 640, 400);
        ASSERT_NE(window, nullptr);
        context = new OpenGLContext();
        drawable = context->createDrawable(window, false, 0, true, true);
        ASSERT_NE(drawable, nullptr);
        ASSERT_TRUE(context->createContext(drawable));
        for (Texture* t : overlays) ASSERT_TRUE(context->uploadTexture(t, nullptr));
        context->setSize(640, 400);
        context->setupRenderState();
        vyr::platform::showWindow(window, 1);
    }
    static void TearDownTestSuite() {
        delete context;
        delete drawable;
        for (Texture*& t : overlays) delete t;
        delete server;
    }

    void SetUp() override {
        context->pauseState = Running;
        context->showFrameRate = false;
        context->remoteActive = false;
    }

    // Draws one mono frame (empty project: background and overlays only) and reads it back.
    std::vector<uint8_t> frame() {
        context->drawScene(0.0f, &project, overlays);
        std::vector<uint8_t> pixels(640 * 400 * 4);
        glReadPixels(0, 0, 640, 400, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
        return pixels;
    }
    static const uint8_t* at(const std::vector<uint8_t>& pixels, int x, int y) { return &pixels[(y * 640 + x) * 4]; }

    static inline vyr::testing::XTestServer* server = nullptr;
    static inline NativeWindow* window = nullptr;
    static inline OpenGLContext* context = nullptr;
    static inline DrawableContext* drawable = nullptr;
    static inline Texture* overlays[3] = {solidTexture(0, 0, 200), solidTexture(255, 255, 0), solidTexture(255, 0, 0)};
    Project3D project;
};

// Blue background, the yellow pause label at the bottom left while paused,
// the red OFF indicator at the bottom right (x from width - 138 to width - 10,
// y from 0 to 41) unless the session is remote.
TEST_F(BackendFrame, BackgroundPauseLabelAndOffIndicator) {
    struct Level {
        int x, y, channel, value;
    };
    const Level local[] = {
        {320, 200, 2, 200}, {320, 200, 0, 0}, {640 - 74, 20, 0, 255}, {640 - 74, 20, 2, 0},
        {640 - 5, 20, 2, 200},  // the right margin shows the background
        {640 - 74, 45, 2, 200}, {64, 20, 1, 0}};
    const Level remotePaused[] = {{640 - 74, 20, 2, 200}, {64, 20, 0, 255}, {64, 20, 1, 255}, {200, 20, 2, 200}};
    auto pixels = frame();
    for (const Level& l : local) EXPECT_EQ(at(pixels, l.x, l.y)[l.channel], l.value) << l.x << "," << l.y;
    context->remoteActive = true;
    context->pauseState = PauseRequested;
    pixels = frame();
    for (const Level& l : remotePaused) EXPECT_EQ(at(pixels, l.x, l.y)[l.channel], l.value) << l.x << "," << l.y;
    EXPECT_EQ(context->pauseState, Paused);
}

TEST_F(BackendFrame, FrameRateTextAtTheTopLeft) {
    context->showFrameRate = true;
    context->statistics.currentFrameRate = 60;
    auto pixels = frame();
    int white = 0, black = 0;
    for (int y = 400 - 22; y < 400; y++)
        for (int x = 0; x < 160; x++) {
            const uint8_t* p = at(pixels, x, y);
            if (p[0] == 255 && p[1] == 255 && p[2] == 255) white++;
            // Lighting stays on for the raster position: the "black" shadow
            // picks up the material's specular part and shows dark grey.
            if (p[0] == p[1] && p[1] == p[2] && p[0] < 128) black++;
        }
    EXPECT_GT(white, 100);
    EXPECT_GT(black, 20);  // the shadow
}

// A second upload refreshes the texture in place; one without pixels gets an empty entry.
TEST_F(BackendFrame, TextureUploads) {
    auto* held = dynamic_cast<OpenGLTexture*>(context->textureResources[overlays[0]]);
    ASSERT_NE(held, nullptr);
    uint32_t name = held->textureName;
    EXPECT_TRUE(context->uploadTexture(overlays[0], nullptr));
    EXPECT_EQ(context->textureResources.count(overlays[0]), 1u);
    EXPECT_EQ(dynamic_cast<OpenGLTexture*>(context->textureResources[overlays[0]])->textureName, name);
    Texture empty;
    EXPECT_TRUE(context->uploadTexture(&empty, nullptr));
    held = dynamic_cast<OpenGLTexture*>(context->textureResources[&empty]);
    ASSERT_NE(held, nullptr);
    EXPECT_EQ(held->textureName, 0u);
}

}  // namespace

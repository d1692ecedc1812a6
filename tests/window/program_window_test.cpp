// The real program in its window on a private X server, bare and managed:
// Escape (at the end of each case) and the close box end it with 0, a held
// Space pauses once on its release, F11 switches to fullscreen and back,
// -fullscreen starts there, and -gdicursor inverts a square where the pointer
// moves while paused.
#include <gtest/gtest.h>

#include <X11/XKBlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include "window/x_test_server.h"

namespace vyr::testing {
namespace {

class ProgramWindow : public ::testing::TestWithParam<bool> {
protected:
    void start(std::vector<std::string> arguments = {}) {
        ASSERT_TRUE(session.open(GetParam())) << "no X server or window manager";
        arguments.insert(arguments.begin(), {VYRTEST_PROGRAM, "-nosound"});
        ASSERT_TRUE(session.start(arguments)) << "no mapped VYRTEST window";
        user = session.user;
    }
    bool waitForSize(unsigned width, unsigned height) {
        return waitUntil([&] {
            Geometry g = geometryOf(user, session.window);
            return g.width == width && g.height == height;
        });
    }
    ProgramSession session;
    Display* user = nullptr;
};

TEST_P(ProgramWindow, TheCloseBoxEndsItWithZero) {
    start();
    sendDeleteWindow(user, session.window);
    EXPECT_EQ(session.program.wait(), 0);
}

// Each step waits for the picture to move or to stand still, however slowly
// frames come on a loaded machine: a fixed pause once failed there.
TEST_P(ProgramWindow, HeldSpacePausesOnceOnRelease) {
    start();
    ASSERT_TRUE(pictureChanges(user, session.window));
    XkbSetAutoRepeatRate(user, XkbUseCoreKbd, 100, 20);
    pressKey(user, XK_space, true);
    // Repeats arrive while it is held, and none of them may act.
    EXPECT_TRUE(pictureChanges(user, session.window)) << "paused before the key was released";
    pressKey(user, XK_space, false);
    EXPECT_TRUE(pictureStandsStill(user, session.window)) << "a held Space toggled the pause more than once";
    tapKey(user, XK_space);
    EXPECT_TRUE(pictureChanges(user, session.window)) << "Space did not resume";
    EXPECT_EQ(session.quit(), 0);
}

TEST_P(ProgramWindow, F11SwitchesToFullscreenAndBack) {
    start();
    Geometry before = geometryOf(user, session.window);
    ASSERT_EQ(before.width, 640u);
    ASSERT_EQ(before.height, 400u);
    tapKey(user, XK_F11);
    EXPECT_TRUE(waitForSize(1280, 1024));
    EXPECT_EQ(geometryOf(user, session.window).x, 0);
    EXPECT_EQ(geometryOf(user, session.window).y, 0);
    tapKey(user, XK_F11);
    EXPECT_TRUE(waitUntil([&] { return geometryOf(user, session.window) == before; }));
    EXPECT_EQ(session.quit(), 0);
}

TEST_P(ProgramWindow, StartsFullscreenWithTheOption) {
    start({"-fullscreen"});
    EXPECT_TRUE(waitForSize(1280, 1024));
    tapKey(user, XK_F11);
    EXPECT_TRUE(waitForSize(640, 400));
    EXPECT_EQ(session.quit(), 0);
}

// Whether each sampled pixel of the 50 x 50 square around (x, y) is the
// inverse of what it was, and the pixels just outside it are as they were.
bool invertedAround(const std::vector<char>& before, const std::vector<char>& now, unsigned width, int x, int y) {
    if (now.size() != before.size()) return false;
    auto at = [&](int px, int py, int channel) { return size_t(py) * width * 4 + size_t(px) * 4 + channel; };
    for (int d : {-25, 0, 24})
        for (int channel = 0; channel < 3; ++channel) {
            const size_t inside = at(x + d, y + d, channel), outside = at(x + d, y - 27, channel);
            if (uint8_t(now[inside]) != uint8_t(~before[inside]) || now[outside] != before[outside]) return false;
        }
    return true;
}

TEST_P(ProgramWindow, GdiCursorInvertsASquareWhereThePointerMovesWhilePaused) {
    start({"-gdicursor"});
    tapKey(user, XK_space);
    ASSERT_TRUE(pictureStandsStill(user, session.window));
    const std::vector<char> paused = windowPixels(user, session.window);
    const Geometry g = geometryOf(user, session.window);
    const int moves[][2] = {{200, 150}, {420, 260}};
    for (const auto& move : moves) {
        XTestFakeMotionEvent(user, -1, g.x + move[0], g.y + move[1], CurrentTime);
        XSync(user, False);
        EXPECT_TRUE(waitUntil([&] {
            return invertedAround(paused, windowPixels(user, session.window), g.width, move[0], move[1]);
        })) << "no inverted square at (" << move[0] << ", " << move[1] << ")";
    }
    // The square moved with the pointer: where it was, the frame is whole again.
    EXPECT_FALSE(invertedAround(paused, windowPixels(user, session.window), g.width, 200, 150));
    EXPECT_EQ(session.quit(), 0);
}

INSTANTIATE_TEST_SUITE_P(Servers, ProgramWindow, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Openbox" : "Bare"; });

}  // namespace
}  // namespace vyr::testing

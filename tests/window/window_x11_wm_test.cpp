// The X11 main window under an EWMH window manager (openbox): iconify and
// restore, the window manager's close. Fullscreen through it: the program
// window tests.
#include "window/window_test_support.h"

#include <X11/Xutil.h>

#include "platform/window_x11.h"
#include "window/x_test_server.h"

namespace vyr::testing {
namespace {

using platform::x11Window;

auto* const managedServer = ::testing::AddGlobalTestEnvironment(new ServerEnvironment(true));

class ManagedWindow : public WindowTest {
protected:
    // Shown, and taken over by the window manager (which then sets WM_STATE).
    void showManaged() {
        showAndWait();
        ASSERT_TRUE(pumpUntil([&] { return !propertyItems(user, x11Window(window), "WM_STATE", "WM_STATE").empty(); }));
        // The frame's first placement settles before anything is measured.
        pumpFor(200);
    }
};

TEST_F(ManagedWindow, IconifyIsMinimisedAndRestoringGivesTheSize) {
    showManaged();
    recordedEvents().clear();
    XIconifyWindow(user, x11Window(window), DefaultScreen(user));
    XFlush(user);
    ASSERT_TRUE(pumpUntil([] { return countOf(WindowEventType::Size) >= 1; }));
    EXPECT_TRUE(recordedEvents().back().minimized);
    pumpFor(100);
    EXPECT_EQ(countOf(WindowEventType::Size), 1) << "minimised twice";

    sendClientMessage(user, x11Window(window), "_NET_ACTIVE_WINDOW", {1, CurrentTime, 0}, true);
    ASSERT_TRUE(pumpUntil([] { return countOf(WindowEventType::Size) >= 2; }));
    const WindowEvent& restored = recordedEvents().back();
    EXPECT_FALSE(restored.minimized);
    EXPECT_EQ(restored.width, 640u);
    EXPECT_EQ(restored.height, 400u);
}

TEST_F(ManagedWindow, ClosingThroughTheWindowManagerIsClose) {
    showManaged();
    sendClientMessage(user, x11Window(window), "_NET_CLOSE_WINDOW", {CurrentTime, 1}, true);
    EXPECT_TRUE(pumpUntil([] { return countOf(WindowEventType::Close) == 1; }));
}

}  // namespace
}  // namespace vyr::testing

// Without a display the window cannot be made, and the pump still works.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/native_window.h"

namespace {

using namespace vyr::platform;

TEST(X11WindowWithoutDisplay, CreationFailsAndQuitStillArrives) {
    // A display number that no server in this test run uses.
    setenv("DISPLAY", ":65000", 1);
    EXPECT_EQ(createMainWindow("VYRTEST", "TARSEL VYR - Test Application (OpenGL)", 640, 400), nullptr);
    int quitCode = -1;
    EXPECT_EQ(peekAndDispatch(quitCode), MessageResult::None);
    postQuit();
    EXPECT_EQ(peekAndDispatch(quitCode), MessageResult::Quit);
    EXPECT_EQ(quitCode, 0);
    EXPECT_EQ(peekAndDispatch(quitCode), MessageResult::None);
}

}  // namespace

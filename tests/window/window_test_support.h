// What the window tests share: a recording window procedure, an event pump
// with a deadline, and a second X connection that plays the user and the
// window manager.
#pragma once

// GoogleTest and the platform's header before Xlib: X.h's None macro would
// break both.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/native_window.h"

namespace vyr::testing {
constexpr platform::MessageResult nothingWaiting = platform::MessageResult::None;
}

#include "window/x_test_server.h"

namespace vyr::testing {

using vyr::test::NativeWindow;

using platform::WindowEvent;
using platform::WindowEventType;

extern const char* const testTitle;

std::vector<WindowEvent>& recordedEvents();
platform::EventDisposition recordEvent(NativeWindow* window, const WindowEvent& event);

// Pumps the platform's queue until done() holds; false when it did not within
// a generous deadline (the test then fails, it never waits for ever).
bool pumpUntil(const std::function<bool()>& done);
// Pumps for a while so that anything still on its way arrives.
void pumpFor(int milliseconds);
constexpr uint32_t anyKey = 0xFFFFFFFF;
int countOf(WindowEventType type, uint32_t key = anyKey);
bool sawSize(unsigned width, unsigned height);

// The one X server of a window test program, with openbox on it if asked.
class ServerEnvironment : public ::testing::Environment {
public:
    explicit ServerEnvironment(bool windowManager) : windowManager_(windowManager) {}
    void SetUp() override {
        ASSERT_TRUE(server.start());
        ASSERT_TRUE(!windowManager_ || server.startWindowManager()) << "openbox did not start";
    }
    void TearDown() override { server.stop(); }
    XTestServer server;

private:
    bool windowManager_;
};

// One window of the platform under test, seen from a second connection.
class WindowTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Shows the window and waits until the server has mapped it.
    void showAndWait();

    NativeWindow* window = nullptr;
    Display* user = nullptr;
};

}  // namespace vyr::testing

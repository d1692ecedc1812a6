#include "window/window_test_support.h"

#include <chrono>

#include "platform/window_x11.h"

namespace vyr::testing {

const char* const testTitle = "TARSEL VYR - Test Application (OpenGL)";

namespace {
NativeWindow* recordedWindow = nullptr;
}

std::vector<WindowEvent>& recordedEvents() {
    static std::vector<WindowEvent> events;
    return events;
}

platform::EventDisposition recordEvent(NativeWindow* window, const WindowEvent& event) {
    if (window == recordedWindow) recordedEvents().push_back(event);
    return platform::EventDisposition::DefaultHandling;
}

bool pumpUntil(const std::function<bool()>& done) {
    // Each look dispatches whatever is waiting, then waitUntil sleeps a moment.
    return waitUntil([&] {
        int quitCode = 0;
        while (!done())
            if (platform::peekAndDispatch(quitCode) == nothingWaiting) return false;
        return true;
    }, 10000);
}

void pumpFor(int milliseconds) {
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    pumpUntil([&] { return std::chrono::steady_clock::now() > until; });
}

int countOf(WindowEventType type, uint32_t key) {
    int n = 0;
    for (const WindowEvent& e : recordedEvents()) n += e.type == type && (key == anyKey || e.key == key);
    return n;
}

bool sawSize(unsigned width, unsigned height) {
    for (const WindowEvent& e : recordedEvents())
        if (e.type == WindowEventType::Size && !e.minimized && e.width == width && e.height == height) return true;
    return false;
}

void WindowTest::SetUp() {
    recordedEvents().clear();
    platform::registerMainWindowClass("VYRTEST", recordEvent);
    window = platform::createMainWindow("VYRTEST", testTitle, 640, 400);
    ASSERT_NE(window, nullptr);
    recordedWindow = window;
    user = XOpenDisplay(nullptr);
    ASSERT_NE(user, nullptr);
}

void WindowTest::TearDown() {
    if (window) {
        platform::showWindow(window, 0);
        pumpFor(20);
    }
    recordedWindow = nullptr;
    if (user) XCloseDisplay(user);
}

void WindowTest::showAndWait() {
    platform::showWindow(window, 1);
    ASSERT_TRUE(pumpUntil([&] {
        XWindowAttributes attributes;
        return XGetWindowAttributes(user, platform::x11Window(window), &attributes) &&
               attributes.map_state == IsViewable;
    }));
    XSetInputFocus(user, platform::x11Window(window), RevertToPointerRoot, CurrentTime);
    XSync(user, False);
}

}  // namespace vyr::testing

// The two window systems of the Linux build, each implementing the platform
// functions of native_window.h, desktop.h, window_capture.h and
// screen_watch.h in a namespace of its own: x11 (platform/*_x11.cpp) and
// wayland (platform/*_wayland.cpp). platform/window_system_posix.cpp hands each
// call to the one chosen at start-up. The meaning of each function is in the
// public headers.
#pragma once

#include <cstdint>
#include <string>

#include "platform/desktop.h"
#include "platform/native_window.h"
#include "platform/screen_watch.h"
#include "render/frame_image.h"

#define VYR_WINDOW_SYSTEM_FUNCTIONS                                                                           \
    bool registerMainWindowClass(const char* className, WindowProcedure procedure);                           \
    void unregisterMainWindowClass(const char* className);                                                    \
    NativeWindow* createMainWindow(const char* className, const char* title, int clientWidth,                 \
                                   int clientHeight);                                                         \
    void showWindow(NativeWindow* window, int showState);                                                     \
    void setFullscreen(NativeWindow* window, bool fullscreen);                                                \
    void postQuit();                                                                                          \
    MessageResult peekAndDispatch(int& quitCode);                                                             \
    DesktopFacts desktopFacts(NativeWindow* window);                                                          \
    bool clientAreaSize(NativeWindow* window, uint32_t& width, uint32_t& height);                             \
    bool captureClientArea(NativeWindow* window, int32_t left, int32_t top, uint32_t width, uint32_t height,  \
                           vyr::test::FrameImage& image, std::string& why);                                   \
    bool screenReadable(NativeWindow* window, std::string& why);                                              \
    bool screenResamples(NativeWindow* window, std::string& why);                                             \
    std::string screenSourceName(NativeWindow* window);                                                       \
    bool clientAreaInView(NativeWindow* window, int32_t left, int32_t top, uint32_t width, uint32_t height,   \
                          std::string& why);                                                                  \
    bool windowMinimised(NativeWindow* window);                                                               \
    void bringIntoView(NativeWindow* window);                                                                 \
    ScreenWatch* openScreenWatch(NativeWindow* window, std::string& how, std::string& why);                   \
    void runScreenWatch(ScreenWatch* watch, ScreenChanged changed, void* user);                               \
    void stopScreenWatch(ScreenWatch* watch);                                                                 \
    void closeScreenWatch(ScreenWatch* watch);                                                                \
    bool screenWatchAnswered(const ScreenWatch* watch, std::string& why);                                     \
    bool watchesCompositorFrames(const ScreenWatch* watch);

namespace vyr::platform::x11 {
VYR_WINDOW_SYSTEM_FUNCTIONS
}  // namespace vyr::platform::x11

namespace vyr::platform::wayland {
VYR_WINDOW_SYSTEM_FUNCTIONS
// X11 tells every window's place; only a Wayland window is found by its frame.
void expectClientPicture(NativeWindow* window, const vyr::test::FrameImage& frame);
}  // namespace vyr::platform::wayland

#undef VYR_WINDOW_SYSTEM_FUNCTIONS

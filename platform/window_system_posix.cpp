// Pairs with platform/window_system.h on Linux: the window system chosen at
// start-up, and every platform function of the window handed to it.
#include "platform/window_system.h"

#include <cstdlib>

#include "platform/desktop.h"
#include "platform/native_window.h"
#include "platform/screen_watch.h"
#include "platform/window_capture.h"
#include "platform/window_systems_posix.h"

namespace vyr::platform {

namespace {

WindowSystem chosen = WindowSystem::X11;

bool isSet(const char* variable) {
    const char* value = std::getenv(variable);
    return value && *value;
}

bool onWayland() { return chosen == WindowSystem::Wayland; }

}  // namespace

WindowSystem chooseWindowSystem(bool askWayland) {
    chosen = askWayland || (!isSet("DISPLAY") && isSet("WAYLAND_DISPLAY")) ? WindowSystem::Wayland : WindowSystem::X11;
    return chosen;
}

WindowSystem windowSystem() { return chosen; }

std::vector<WindowSystem> sessionWindowSystems(bool askWayland) {
    if (!askWayland && isSet("DISPLAY") && isSet("WAYLAND_DISPLAY")) return {WindowSystem::X11, WindowSystem::Wayland};
    return {askWayland || (!isSet("DISPLAY") && isSet("WAYLAND_DISPLAY")) ? WindowSystem::Wayland : WindowSystem::X11};
}

const char* windowSystemName(WindowSystem system) {
    switch (system) {
    case WindowSystem::Wayland: return "Wayland";
    case WindowSystem::Win32: return "Windows";
    default: return "X11";
    }
}

bool registerMainWindowClass(const char* className, WindowProcedure procedure) {
    return onWayland() ? wayland::registerMainWindowClass(className, procedure)
                       : x11::registerMainWindowClass(className, procedure);
}

void unregisterMainWindowClass(const char* className) {
    onWayland() ? wayland::unregisterMainWindowClass(className) : x11::unregisterMainWindowClass(className);
}

NativeWindow* createMainWindow(const char* className, const char* title, int clientWidth, int clientHeight) {
    return onWayland() ? wayland::createMainWindow(className, title, clientWidth, clientHeight)
                       : x11::createMainWindow(className, title, clientWidth, clientHeight);
}

void showWindow(NativeWindow* window, int showState) {
    onWayland() ? wayland::showWindow(window, showState) : x11::showWindow(window, showState);
}

void setFullscreen(NativeWindow* window, bool fullscreen) {
    onWayland() ? wayland::setFullscreen(window, fullscreen) : x11::setFullscreen(window, fullscreen);
}

void postQuit() { onWayland() ? wayland::postQuit() : x11::postQuit(); }

MessageResult peekAndDispatch(int& quitCode) {
    return onWayland() ? wayland::peekAndDispatch(quitCode) : x11::peekAndDispatch(quitCode);
}

DesktopFacts desktopFacts(NativeWindow* window) {
    return onWayland() ? wayland::desktopFacts(window) : x11::desktopFacts(window);
}

bool clientAreaSize(NativeWindow* window, uint32_t& width, uint32_t& height) {
    return onWayland() ? wayland::clientAreaSize(window, width, height) : x11::clientAreaSize(window, width, height);
}

bool captureClientArea(NativeWindow* window, int32_t left, int32_t top, uint32_t width, uint32_t height,
                       vyr::test::FrameImage& image, std::string& why) {
    return onWayland() ? wayland::captureClientArea(window, left, top, width, height, image, why)
                       : x11::captureClientArea(window, left, top, width, height, image, why);
}

void expectClientPicture(NativeWindow* window, const vyr::test::FrameImage& frame) {
    if (onWayland()) wayland::expectClientPicture(window, frame);
}

bool screenReadable(NativeWindow* window, std::string& why) {
    return onWayland() ? wayland::screenReadable(window, why) : x11::screenReadable(window, why);
}

bool screenResamples(NativeWindow* window, std::string& why) {
    return onWayland() ? wayland::screenResamples(window, why) : x11::screenResamples(window, why);
}

std::string screenSourceName(NativeWindow* window) {
    return onWayland() ? wayland::screenSourceName(window) : x11::screenSourceName(window);
}

bool clientAreaInView(NativeWindow* window, int32_t left, int32_t top, uint32_t width, uint32_t height,
                      std::string& why) {
    return onWayland() ? wayland::clientAreaInView(window, left, top, width, height, why)
                       : x11::clientAreaInView(window, left, top, width, height, why);
}

bool windowMinimised(NativeWindow* window) {
    return onWayland() ? wayland::windowMinimised(window) : x11::windowMinimised(window);
}

void bringIntoView(NativeWindow* window) {
    onWayland() ? wayland::bringIntoView(window) : x11::bringIntoView(window);
}

ScreenWatch* openScreenWatch(NativeWindow* window, std::string& how, std::string& why) {
    return onWayland() ? wayland::openScreenWatch(window, how, why) : x11::openScreenWatch(window, how, why);
}

void runScreenWatch(ScreenWatch* watch, ScreenChanged changed, void* user) {
    onWayland() ? wayland::runScreenWatch(watch, changed, user) : x11::runScreenWatch(watch, changed, user);
}

void stopScreenWatch(ScreenWatch* watch) {
    onWayland() ? wayland::stopScreenWatch(watch) : x11::stopScreenWatch(watch);
}

void closeScreenWatch(ScreenWatch* watch) {
    onWayland() ? wayland::closeScreenWatch(watch) : x11::closeScreenWatch(watch);
}

bool screenWatchAnswered(const ScreenWatch* watch, std::string& why) {
    return onWayland() ? wayland::screenWatchAnswered(watch, why) : x11::screenWatchAnswered(watch, why);
}

bool watchesCompositorFrames(const ScreenWatch* watch) {
    return onWayland() ? wayland::watchesCompositorFrames(watch) : x11::watchesCompositorFrames(watch);
}

}  // namespace vyr::platform

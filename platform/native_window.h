// The main window as the shell sees it: native events become one small neutral
// event set, handed to one window procedure (app/window_procedure.cpp).
// Implemented by platform/window_x11.cpp and platform/window_win32.cpp.
#pragma once

#include <cstdint>

namespace vyr::test {

// Opaque per platform: on Windows it stands for the HWND, on X11 for the
// display connection and window (see the platform's window header).
struct NativeWindow;

}  // namespace vyr::test

namespace vyr::platform {

using vyr::test::NativeWindow;

enum class WindowEventType {
    Close,           // WM_CLOSE, the close box, WM_DELETE_WINDOW
    Destroy,         // WM_DESTROY
    Move,            // WM_MOVE
    Size,            // WM_SIZE: width, height, minimized
    Paint,           // WM_PAINT, Expose
    KeyDown,         // WM_KEYDOWN: key
    KeyUp,           // WM_KEYUP (a physical release, never an auto-repeat): key
    SystemKeyDown,   // WM_SYSKEYDOWN (keys with Alt held, F10): key
    SystemKeyUp,     // WM_SYSKEYUP: key
    MouseMove,       // WM_MOUSEMOVE: x, y (client coordinates)
    LeftButtonDown,  // WM_LBUTTONDOWN: x, y
    Other,
};

// Windows virtual-key codes serve as the neutral key codes on every platform.
enum VirtualKey : uint32_t {
    KeyEscape = 0x1B,
    KeySpace = 0x20,
    KeyF = 0x46,
    KeyM = 0x4D,
    KeyF10 = 0x79,
    KeyF11 = 0x7A,
    KeyMenu = 0x12,  // Alt
};

struct WindowEvent {
    WindowEventType type = WindowEventType::Other;
    uint32_t key = 0;
    bool minimized = false;
    uint32_t width = 0, height = 0;
    int16_t x = 0, y = 0;
};

// What the window procedure asks of the platform after an event.
enum class EventDisposition { Handled, DefaultHandling };
using WindowProcedure = EventDisposition (*)(NativeWindow* window, const WindowEvent& event);

bool registerMainWindowClass(const char* className, WindowProcedure procedure);
void unregisterMainWindowClass(const char* className);
// The window is created hidden with the given client size; null on failure.
NativeWindow* createMainWindow(const char* className, const char* title, int clientWidth,
                               int clientHeight);
void showWindow(NativeWindow* window, int showState);
// Fullscreen on the monitor holding the window, or back to the saved placement.
void setFullscreen(NativeWindow* window, bool fullscreen);

// Queues the quit message (value 0); the frame loop sees it after the events before it.
void postQuit();
// Xlib's X.h defines None as a macro; the enum must not see it, whichever
// header comes first.
#pragma push_macro("None")
#undef None
enum class MessageResult { None, Quit, Dispatched };
#pragma pop_macro("None")
// Takes one waiting event without blocking and hands it to the window procedure.
MessageResult peekAndDispatch(int& quitCode);

}  // namespace vyr::platform

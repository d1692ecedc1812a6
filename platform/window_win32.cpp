// Pairs with platform/native_window.h on Windows: the Win32 main window. Native
// messages become neutral events in one switch.
#include "platform/window_win32.h"

namespace vyr::platform {

namespace {

WindowProcedure windowProcedure = nullptr;
HWND mainWindow = nullptr;
WINDOWPLACEMENT savedPlacement = {};

constexpr LONG overlappedBits = 0x00CF0000;  // WS_OVERLAPPEDWINDOW

bool translate(UINT message, WPARAM wParam, LPARAM lParam, WindowEvent& event) {
    switch (message) {
    case WM_DESTROY: event.type = WindowEventType::Destroy; return true;
    case WM_CLOSE: event.type = WindowEventType::Close; return true;
    case WM_MOVE: event.type = WindowEventType::Move; return true;
    case WM_SIZE:
        event.type = WindowEventType::Size;
        event.minimized = wParam == SIZE_MINIMIZED;
        event.width = LOWORD(lParam);
        event.height = HIWORD(lParam);
        return true;
    case WM_PAINT: event.type = WindowEventType::Paint; return true;
    case WM_KEYDOWN: event.type = WindowEventType::KeyDown; break;
    case WM_KEYUP: event.type = WindowEventType::KeyUp; break;
    case WM_SYSKEYDOWN: event.type = WindowEventType::SystemKeyDown; break;
    case WM_SYSKEYUP: event.type = WindowEventType::SystemKeyUp; break;
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
        event.type = message == WM_MOUSEMOVE ? WindowEventType::MouseMove : WindowEventType::LeftButtonDown;
        event.x = int16_t(LOWORD(lParam));
        event.y = int16_t(HIWORD(lParam));
        return true;
    default: return false;
    }
    event.key = uint32_t(wParam);
    return true;
}

LRESULT CALLBACK nativeProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    WindowEvent event;
    if (!windowProcedure || !translate(message, wParam, lParam, event))
        return DefWindowProcA(window, message, wParam, lParam);
    if (windowProcedure(fromHwnd(window), event) == EventDisposition::DefaultHandling) {
        LRESULT result = DefWindowProcA(window, message, wParam, lParam);
        return message == WM_MOVE || message == WM_PAINT || message == WM_MOUSEMOVE ||
                       message == WM_LBUTTONDOWN
                   ? 0
                   : result;
    }
    return 0;
}

}  // namespace

bool registerMainWindowClass(const char* className, WindowProcedure procedure) {
    windowProcedure = procedure;
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = nativeProcedure;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(109));
    windowClass.hIconSm = LoadIconA(instance, MAKEINTRESOURCEA(109));
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.lpszClassName = className;
    return RegisterClassExA(&windowClass) != 0;
}

void unregisterMainWindowClass(const char* className) { UnregisterClassA(className, GetModuleHandleA(nullptr)); }

NativeWindow* createMainWindow(const char* className, const char* title, int clientWidth, int clientHeight) {
    RECT rect = {0, 0, clientWidth, clientHeight};
    AdjustWindowRect(&rect, WS_OVERLAPPEDWINDOW, FALSE);
    mainWindow = CreateWindowExA(0, className, title, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0,
                                 rect.right - rect.left, rect.bottom - rect.top, nullptr, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
    return fromHwnd(mainWindow);
}

void showWindow(NativeWindow* window, int showState) { ShowWindow(toHwnd(window), showState); }

void setFullscreen(NativeWindow* nativeWindow, bool fullscreen) {
    HWND window = toHwnd(nativeWindow);
    LONG style = GetWindowLongA(window, GWL_STYLE);
    if (fullscreen) {
        savedPlacement.length = sizeof savedPlacement;
        if (!GetWindowPlacement(window, &savedPlacement)) return;
        MONITORINFO monitor = {};
        monitor.cbSize = sizeof monitor;
        if (!GetMonitorInfoA(MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &monitor)) return;
        SetWindowLongA(window, GWL_STYLE, style & ~overlappedBits);
        const RECT& r = monitor.rcMonitor;
        SetWindowPos(window, HWND_TOP, r.left, r.top, r.right - r.left, r.bottom - r.top,
                     SWP_NOOWNERZORDER | SWP_FRAMECHANGED);
    } else {
        SetWindowLongA(window, GWL_STYLE, style | overlappedBits);
        // Before fullscreen was ever entered the record is empty: the window keeps its place.
        if (savedPlacement.length != 0) SetWindowPlacement(window, &savedPlacement);
        SetWindowPos(window, nullptr, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOOWNERZORDER | SWP_FRAMECHANGED);
    }
}

void postQuit() {
    if (mainWindow)
        PostMessageA(mainWindow, WM_QUIT, 0, 0);
    else
        PostQuitMessage(0);
}

MessageResult peekAndDispatch(int& quitCode) {
    MSG message;
    if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) return MessageResult::None;
    if (message.message == WM_QUIT) {
        quitCode = int(message.wParam);
        return MessageResult::Quit;
    }
    DispatchMessageA(&message);
    return MessageResult::Dispatched;
}

}  // namespace vyr::platform

// Pairs with platform/window_capture.h on Windows: whether the screen can show
// the client area, from the minimised state, the Z-order above the window, the
// input desktop (a locked workstation) and the session's connection, asked
// once per check (never per frame).
#include <windows.h>
#include <dwmapi.h>
#include <wtsapi32.h>

#include <string>

#include "platform/window_capture.h"
#include "platform/window_win32.h"

namespace vyr::platform {

namespace {

std::string utf8(const wchar_t* text) {
    int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) return {};
    std::string result(size_t(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &result[0], size, nullptr, nullptr);
    result.resize(size_t(size) - 1);
    return result;
}

std::string coveredBy(HWND window) {
    wchar_t text[256] = {};
    if (!GetWindowTextW(window, text, 256) || !text[0]) GetClassNameW(window, text, 256);
    return "covered by the window \"" + utf8(text) + "\"";
}

// Shown on the screen: visible, not minimised, not hidden by the desktop
// window manager (a window of another virtual desktop, a suspended app).
bool showsOnScreen(HWND window) {
    if (!IsWindowVisible(window) || IsIconic(window)) return false;
    DWORD cloaked = 0;
    return FAILED(DwmGetWindowAttribute(window, DWMWA_CLOAKED, &cloaked, sizeof cloaked)) || !cloaked;
}

// The topmost window above ours in the Z-order that shows over `area`, or null.
HWND windowAbove(HWND ours, const RECT& area) {
    HWND found = nullptr;
    for (HWND w = GetWindow(GetAncestor(ours, GA_ROOT), GW_HWNDPREV); w; w = GetWindow(w, GW_HWNDPREV)) {
        RECT its, common;
        if (showsOnScreen(w) && GetWindowRect(w, &its) && IntersectRect(&common, &its, &area)) found = w;
    }
    return found;
}

// Another desktop than the user's own takes the input while the workstation
// is locked (or the secure desktop of a consent prompt shows).
bool workstationLocked() {
    HDESK desktop = OpenInputDesktop(0, FALSE, DESKTOP_READOBJECTS);
    if (!desktop) return true;
    wchar_t name[64] = {};
    bool own = GetUserObjectInformationW(desktop, UOI_NAME, name, sizeof name, nullptr) &&
               lstrcmpiW(name, L"Default") == 0;
    CloseDesktop(desktop);
    return !own;
}

bool sessionDisconnected() {
    WTS_CONNECTSTATE_CLASS* state = nullptr;
    DWORD size = 0;
    if (!WTSQuerySessionInformationW(WTS_CURRENT_SERVER_HANDLE, WTS_CURRENT_SESSION, WTSConnectState,
                                     reinterpret_cast<LPWSTR*>(&state), &size) ||
        !state)
        return false;
    bool disconnected = size >= sizeof *state && *state == WTSDisconnected;
    WTSFreeMemory(state);
    return disconnected;
}

bool screenArea(HWND window, int32_t left, int32_t top, uint32_t width, uint32_t height, RECT& area) {
    POINT origin = {left, top};
    if (!ClientToScreen(window, &origin)) return false;
    area = {origin.x, origin.y, LONG(origin.x + LONG(width)), LONG(origin.y + LONG(height))};
    return true;
}

}  // namespace

bool clientAreaInView(NativeWindow* window, int32_t left, int32_t top, uint32_t width, uint32_t height,
                      std::string& why) {
    HWND hwnd = toHwnd(window);
    RECT area, screen = {GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN), 0, 0};
    screen.right = screen.left + GetSystemMetrics(SM_CXVIRTUALSCREEN);
    screen.bottom = screen.top + GetSystemMetrics(SM_CYVIRTUALSCREEN);
    if (sessionDisconnected()) {
        why = "the session is disconnected";
    } else if (workstationLocked()) {
        why = "the screen is locked";
    } else if (IsIconic(hwnd)) {
        why = "minimised";
    } else if (!IsWindowVisible(hwnd)) {
        why = "the window is not shown";
    } else if (!screenArea(hwnd, left, top, width, height, area)) {
        why = "the window's place on the screen could not be had";
    } else if (area.left < screen.left || area.top < screen.top || area.right > screen.right ||
               area.bottom > screen.bottom) {
        why = "partly off the screen";
    } else if (HWND cover = windowAbove(hwnd, area)) {
        why = coveredBy(cover);
    } else {
        why.clear();
        return true;
    }
    return false;
}

bool windowMinimised(NativeWindow* window) { return IsIconic(toHwnd(window)) != 0; }

void bringIntoView(NativeWindow* window) {
    HWND hwnd = toHwnd(window);
    if (sessionDisconnected() || workstationLocked()) return;
    if (IsIconic(hwnd)) {
        // Restored where it was, the active window stays active.
        ShowWindow(hwnd, SW_SHOWNOACTIVATE);
    } else {
        // Above every window that is not kept on top, without activating it.
        SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
}

}  // namespace vyr::platform

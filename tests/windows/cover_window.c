/* A window kept above every other (WS_EX_TOPMOST) over the whole primary
   screen, titled "cover", until it is closed or killed: what a screen-check
   test puts over the program under Wine. */
#include <windows.h>

static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM w, LPARAM l) {
    if (message == WM_DESTROY) PostQuitMessage(0);
    return DefWindowProcW(window, message, w, l);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR line, int show) {
    WNDCLASSW c = {0};
    c.lpfnWndProc = procedure;
    c.hInstance = instance;
    c.hbrBackground = (HBRUSH)GetStockObject(GRAY_BRUSH);
    c.lpszClassName = L"cover";
    RegisterClassW(&c);
    CreateWindowExW(WS_EX_TOPMOST, L"cover", L"cover", WS_POPUP | WS_VISIBLE, 0, 0, GetSystemMetrics(SM_CXSCREEN),
                    GetSystemMetrics(SM_CYSCREEN), NULL, NULL, instance, NULL);
    MSG m;
    while (GetMessageW(&m, NULL, 0, 0) > 0) DispatchMessageW(&m);
    return 0;
}

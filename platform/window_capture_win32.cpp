// Pairs with platform/window_capture.h on Windows: the screen's copy of the
// client area, copied through GDI into a top-down 32-bit DIB.
#include "platform/window_capture.h"

#include <windows.h>

#include "platform/window_win32.h"

namespace vyr::platform {

bool clientAreaSize(NativeWindow* window, uint32_t& width, uint32_t& height) {
    RECT client;
    if (!GetClientRect(toHwnd(window), &client)) return false;
    width = uint32_t(client.right - client.left);
    height = uint32_t(client.bottom - client.top);
    return true;
}

std::string screenSourceName(NativeWindow*) { return "the screen's device context (GDI)"; }

void expectClientPicture(NativeWindow*, const vyr::test::FrameImage&) {}  // GDI tells the window's place

bool screenReadable(NativeWindow*, std::string&) { return true; }

bool screenResamples(NativeWindow*, std::string&) { return false; }

bool captureClientArea(NativeWindow* window, int32_t left, int32_t top, uint32_t width, uint32_t height,
                       vyr::test::FrameImage& image, std::string& why) {
    HWND hwnd = toHwnd(window);
    uint32_t clientWidth = 0, clientHeight = 0;
    if (!IsWindowVisible(hwnd) || IsIconic(hwnd) || !clientAreaSize(window, clientWidth, clientHeight)) {
        why = "the window is not shown";
        return false;
    }
    if (left < 0 || top < 0 || width == 0 || height == 0 || left + int64_t(width) > clientWidth ||
        top + int64_t(height) > clientHeight) {
        why = "the frame is not inside the window";
        return false;
    }
    POINT origin = {left, top};
    ClientToScreen(hwnd, &origin);

    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = LONG(width);
    info.bmiHeader.biHeight = -LONG(height);  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    HDC screen = GetDC(nullptr);
    HDC memory = screen ? CreateCompatibleDC(screen) : nullptr;
    void* bits = nullptr;
    HBITMAP bitmap = memory ? CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0) : nullptr;
    bool copied = false;
    if (bitmap && bits) {
        HGDIOBJ previous = SelectObject(memory, bitmap);
        copied = BitBlt(memory, 0, 0, int(width), int(height), screen, origin.x, origin.y, SRCCOPY | CAPTUREBLT) != 0;
        GdiFlush();
        SelectObject(memory, previous);
    }
    if (copied) {
        image.place(width, height, left, top);
        const uint8_t* from = static_cast<const uint8_t*>(bits);
        uint8_t* to = image.rgba.data();
        for (size_t i = 0; i < size_t(width) * height; i++, from += 4, to += 4) {
            to[0] = from[2];  // the DIB is B, G, R, unused
            to[1] = from[1];
            to[2] = from[0];
            to[3] = 255;
        }
    }
    if (bitmap) DeleteObject(bitmap);
    if (memory) DeleteDC(memory);
    if (screen) ReleaseDC(nullptr, screen);
    if (!copied) why = "the screen's pixels could not be copied";
    return copied;
}

}  // namespace vyr::platform

// The OpenGL window-system binding on Windows: WGL pixel formats with the
// multisample probe on a hidden window, GDI fonts, the DIB frame copy and the
// R2_NOT cursor square.
#include "render/opengl/gl_api.h"
#include "render/driver_facts.h"
#include "render/opengl/gl_window_binding.h"

#include <GL/wglew.h>

#include <cstdio>

#include "platform/window_win32.h"
#include "render/opengl/opengl_context.h"
#include "render/opengl/opengl_drawable.h"

namespace vyr::test::glbinding {

namespace {

HDC dcOf(OpenGLDrawable& drawable) { return static_cast<HDC>(drawable.deviceContext); }

PIXELFORMATDESCRIPTOR describeFormat(bool stereo) {
    PIXELFORMATDESCRIPTOR descriptor = {};
    descriptor.nSize = sizeof(PIXELFORMATDESCRIPTOR);
    descriptor.nVersion = 1;
    descriptor.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER | (stereo ? PFD_STEREO : 0);
    descriptor.iPixelType = PFD_TYPE_RGBA;
    descriptor.cColorBits = 32;
    descriptor.cAlphaBits = 8;
    descriptor.cDepthBits = 16;
    descriptor.cStencilBits = 0;
    descriptor.iLayerType = PFD_MAIN_PLANE;
    return descriptor;
}

using GetExtensionsString = const char*(WINAPI*)(HDC);
using ChoosePixelFormat = BOOL(WINAPI*)(HDC, const int*, const FLOAT*, UINT, int*, UINT*);

// wglGetProcAddress hands out a generic pointer; the detour through void(*)()
// keeps the cast to the real signature free of warnings.
template <typename Fn>
Fn entryPoint(const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(wglGetProcAddress(name)));
}

const char* const dummyClass = "Dummy window";

// Asks a throw-away context on a hidden window for a multisampled format;
// returns it, or 0 with the reason printed.
int probeMultisampleFormat(uint32_t samples, bool stereo, const PIXELFORMATDESCRIPTOR& descriptor,
                           uint32_t& granted) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA windowClass = {};
    windowClass.style = CS_HREDRAW | CS_VREDRAW | CS_OWNDC;
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(nullptr, IDI_WINLOGO);
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.lpszClassName = dummyClass;
    RegisterClassA(&windowClass);
    RECT rect = {0, 0, 640, 400};
    AdjustWindowRectEx(&rect, WS_OVERLAPPEDWINDOW, FALSE, WS_EX_APPWINDOW | WS_EX_WINDOWEDGE);
    HWND window = CreateWindowExA(WS_EX_APPWINDOW | WS_EX_WINDOWEDGE, dummyClass, dummyClass,
                                  WS_OVERLAPPEDWINDOW | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0, 0,
                                  rect.right - rect.left, rect.bottom - rect.top, nullptr, nullptr, instance, nullptr);
    ShowWindow(window, SW_HIDE);
    HDC dc = GetDC(window);
    SetPixelFormat(dc, ::ChoosePixelFormat(dc, &descriptor), &descriptor);
    HGLRC context = wglCreateContext(dc);
    wglMakeCurrent(dc, context);

    int chosen = 0;
    auto getExtensions = entryPoint<GetExtensionsString>("wglGetExtensionsStringARB");
    if (getExtensions) {
        if (!OpenGLContext::hasExtension(getExtensions(dc), "WGL_ARB_multisample")) {
            printf(" - WGL_ARB_multisample not found (MSAA is OFF)\n");
        } else {
            auto choose = entryPoint<ChoosePixelFormat>("wglChoosePixelFormatARB");
            int n = firstSampleCount(samples);
            int attributes[] = {WGL_DRAW_TO_WINDOW_ARB, 1, WGL_SUPPORT_OPENGL_ARB, 1,
                                WGL_ACCELERATION_ARB, WGL_FULL_ACCELERATION_ARB, WGL_COLOR_BITS_ARB, 32,
                                WGL_ALPHA_BITS_ARB, 8, WGL_DEPTH_BITS_ARB, 16, WGL_STENCIL_BITS_ARB, 0,
                                WGL_DOUBLE_BUFFER_ARB, 1, WGL_SAMPLE_BUFFERS_ARB, 1, WGL_SAMPLES_ARB, n,
                                WGL_STEREO_ARB, stereo ? 1 : 0, 0, 0};
            const FLOAT floatAttributes[] = {0, 0};
            for (; choose && n >= 1; n /= 2) {
                attributes[19] = n;
                int format = 0;
                UINT count = 0;
                if (choose(dc, attributes, floatAttributes, 1, &format, &count) == 1 && count != 0) {
                    chosen = format;
                    break;
                }
            }
            if (chosen) {
                granted = uint32_t(n);
                printf(" - Valid MSAA samples: %d (MSAA is ON)\n", n);
            }
            else
                printf(" - No valid MSAA samples were found (MSAA is OFF)\n");
        }
    }

    wglMakeCurrent(dc, nullptr);
    wglDeleteContext(context);
    ReleaseDC(window, dc);
    DestroyWindow(window);
    UnregisterClassA(dummyClass, instance);
    return chosen;
}

}  // namespace

bool prepareDrawable(OpenGLDrawable& drawable, NativeWindow* window, bool multisample, uint32_t samples,
                     bool stereo) {
    PIXELFORMATDESCRIPTOR descriptor = describeFormat(stereo);
    HWND hwnd = platform::toHwnd(window);
    drawable.window = window;
    HDC dc = GetDC(hwnd);
    if (!dc) return false;
    drawable.deviceContext = dc;
    drawable.pixelFormat = ::ChoosePixelFormat(dc, &descriptor);
    drawable.stereo = stereo;
    if (!multisample) {
        printf(" - MSAA is OFF\n");
    } else if (int format = probeMultisampleFormat(samples, stereo, descriptor, drawable.samples)) {
        drawable.pixelFormat = format;
    }
    fflush(stdout);
    SetPixelFormat(dc, drawable.pixelFormat, &descriptor);
    // A stereo request the driver cannot grant gives a mono format.
    PIXELFORMATDESCRIPTOR granted = {};
    if (stereo && DescribePixelFormat(dc, drawable.pixelFormat, sizeof granted, &granted))
        drawable.stereo = (granted.dwFlags & PFD_STEREO) != 0;
    return true;
}

void releaseDrawable(OpenGLDrawable& drawable) {
    if (drawable.window && drawable.deviceContext) ReleaseDC(platform::toHwnd(drawable.window), dcOf(drawable));
    drawable.deviceContext = nullptr;
}

NativeGLContext createContext(OpenGLDrawable& drawable) { return wglCreateContext(dcOf(drawable)); }

bool makeCurrent(OpenGLDrawable* drawable, NativeGLContext context) {
    return wglMakeCurrent(drawable ? dcOf(*drawable) : nullptr, static_cast<HGLRC>(context)) != FALSE;
}

void deleteContext(NativeGLContext context) { wglDeleteContext(static_cast<HGLRC>(context)); }

void swapBuffers(OpenGLDrawable& drawable) { SwapBuffers(dcOf(drawable)); }

const char* windowSystemName() { return "WGL"; }

const char* windowSystemExtensions(OpenGLDrawable& drawable) {
    auto getExtensions = entryPoint<GetExtensionsString>("wglGetExtensionsStringARB");
    return getExtensions ? getExtensions(dcOf(drawable)) : nullptr;
}

void disableSwapWait(OpenGLDrawable& drawable) {
    if (wglSwapIntervalEXT) wglSwapIntervalEXT(0);
}

int swapInterval(OpenGLDrawable&) { return wglGetSwapIntervalEXT ? wglGetSwapIntervalEXT() : -1; }

// WGL contexts are always direct.
int directRendering(OpenGLDrawable&, NativeGLContext) { return -1; }

int64_t videoMemoryKiB(OpenGLDrawable&) { return -1; }

void buildFont(OpenGLDrawable& drawable, uint32_t listBase) {
    HDC dc = dcOf(drawable);
    HFONT font = CreateFontA(-19, 0, 0, 0, FW_DONTCARE, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_TT_PRECIS,
                             CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                             "Times New Roman");
    HGDIOBJ previous = SelectObject(dc, font);
    wglUseFontBitmapsA(dc, 0, 128, listBase);
    SelectObject(dc, previous);
    DeleteObject(font);
}

void copyToWindow(OpenGLDrawable& drawable, const uint8_t* pixels, uint32_t width, uint32_t height) {
    BITMAPINFOHEADER* header = new BITMAPINFOHEADER();
    header->biSize = sizeof(BITMAPINFOHEADER);
    header->biWidth = LONG(width);
    header->biHeight = LONG(height);  // positive: bottom row first, as glReadPixels gives it
    header->biPlanes = 1;
    header->biBitCount = 32;
    header->biCompression = BI_RGB;
    SetDIBitsToDevice(dcOf(drawable), 0, 0, width, height, 0, 0, 0, height, pixels,
                      reinterpret_cast<BITMAPINFO*>(header), DIB_RGB_COLORS);
    delete header;
}

void invertSquare(OpenGLDrawable& drawable, int x, int y) {
    HDC dc = dcOf(drawable);
    SetROP2(dc, R2_NOT);
    Rectangle(dc, x - 25, y - 25, x + 25, y + 25);
}

}  // namespace vyr::test::glbinding

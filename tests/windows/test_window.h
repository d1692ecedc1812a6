// A plain Win32 window and a Direct3D 9 context with its drawable, for the
// Windows test programs.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include "platform/window_win32.h"
#include "render/d3d9/directx9_context.h"
#include "render/d3d9/directx9_drawable.h"

namespace vyr::test {

inline HWND createTestWindow(int clientWidth, int clientHeight) {
    static bool registered = false;
    const char* className = "vyr_d3d9_test";
    if (!registered) {
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = DefWindowProcA;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = className;
        RegisterClassA(&windowClass);
        registered = true;
    }
    RECT rect = {0, 0, clientWidth, clientHeight};
    AdjustWindowRect(&rect, WS_OVERLAPPEDWINDOW, FALSE);
    return CreateWindowA(className, "d3d9 test", WS_OVERLAPPEDWINDOW, 0, 0, rect.right - rect.left,
                         rect.bottom - rect.top, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
}

class DirectX9Fixture : public ::testing::Test {
protected:
    void SetUp() override {
        window = createTestWindow(640, 400);
        ASSERT_NE(window, nullptr);
        context = new DirectX9Context();
        drawable = dynamic_cast<DirectX9Drawable*>(
            context->createDrawable(platform::fromHwnd(window), false, 0, false, true));
        ASSERT_NE(drawable, nullptr);
        ASSERT_TRUE(context->createContext(drawable));
    }
    void TearDown() override {
        delete context;
        delete drawable;
        if (window) DestroyWindow(window);
    }

    HWND window = nullptr;
    DirectX9Context* context = nullptr;
    DirectX9Drawable* drawable = nullptr;
};

}  // namespace vyr::test

// The OpenGL drawable of the main window.
#pragma once

#include <cstdint>

#include "render/rendering_context.h"

namespace vyr::test {

class OpenGLDrawable : public DrawableContext {
public:
    OpenGLDrawable() = default;
    ~OpenGLDrawable() override;
    OpenGLDrawable(const OpenGLDrawable&) = delete;
    OpenGLDrawable& operator=(const OpenGLDrawable&) = delete;

    // While gdiMode is set: inverts the 50 x 50 square at the old position
    // back and the one at (x, y) in, straight on the window.
    void moveCursor(int x, int y);

    NativeWindow* window = nullptr;
    // The window system's drawing handle: the HDC with WGL, the binding's own
    // record (display, framebuffer configuration, GC) with GLX.
    void* deviceContext = nullptr;
    int32_t pixelFormat = 0;  // pixel-format index, or the GLX fbconfig id
    bool stereo = false;      // what the window system granted, not what was asked
    uint32_t samples = 0;     // multisampling granted; 0 for none
    bool gdiMode = false;
    int32_t cursorX = -25;
    int32_t cursorY = -25;
};

}  // namespace vyr::test

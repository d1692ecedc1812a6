// The window-system half of the OpenGL back-end, one implementation per
// platform: gl_binding_wgl.cpp (Windows), gl_binding_glx.cpp (X11).
#pragma once

#include <cstdint>

#include "platform/native_window.h"

namespace vyr::test {

class OpenGLDrawable;

namespace glbinding {

using NativeGLContext = void*;

// Takes the window's drawing handle and sets its pixel format, probing for
// multisampling and printing the MSAA line; also records the stereo grant.
bool prepareDrawable(OpenGLDrawable& drawable, NativeWindow* window, bool multisample,
                     uint32_t samples, bool stereo);
void releaseDrawable(OpenGLDrawable& drawable);

NativeGLContext createContext(OpenGLDrawable& drawable);
// A null drawable releases the window but keeps the context bound (WGL's
// wglMakeCurrent(null, context)); a null context unbinds everything.
bool makeCurrent(OpenGLDrawable* drawable, NativeGLContext context);
void deleteContext(NativeGLContext context);

void swapBuffers(OpenGLDrawable& drawable);
// "WGL" or "GLX", for the report's heading.
const char* windowSystemName();
// The window system's extension list, or null when it cannot be asked.
const char* windowSystemExtensions(OpenGLDrawable& drawable);
void disableSwapWait(OpenGLDrawable& drawable);
// Frames per swap in force, or -1 when the window system cannot be asked.
int swapInterval(OpenGLDrawable& drawable);
// 1 when the current context renders directly, 0 when every call goes through
// the display server, -1 where the question does not arise.
int directRendering(OpenGLDrawable& drawable, NativeGLContext context);
// The renderer's video memory in KiB where the window system tells, else -1.
int64_t videoMemoryKiB(OpenGLDrawable& drawable);
// 128 display lists from listBase on: character c in 19-pixel "Times New Roman".
void buildFont(OpenGLDrawable& drawable, uint32_t listBase);
// Puts a bottom-up BGRA frame onto the window.
void copyToWindow(OpenGLDrawable& drawable, const uint8_t* pixels, uint32_t width, uint32_t height);
// Inverts the 50 x 50 square centred on (x, y).
void invertSquare(OpenGLDrawable& drawable, int x, int y);

}  // namespace glbinding
}  // namespace vyr::test

// The two OpenGL bindings of the Linux build, each implementing
// gl_window_binding.h in a namespace of its own: glx (gl_binding_glx.cpp, on
// X11) and egl (gl_binding_egl.cpp, on Wayland). gl_binding_posix.cpp hands
// each call to the one of the window system chosen at start-up.
#pragma once

#include "render/opengl/gl_window_binding.h"

#define VYR_GL_BINDING_FUNCTIONS                                                                        \
    bool prepareDrawable(OpenGLDrawable& drawable, NativeWindow* window, bool multisample, uint32_t samples, \
                         bool stereo);                                                                  \
    void releaseDrawable(OpenGLDrawable& drawable);                                                     \
    NativeGLContext createContext(OpenGLDrawable& drawable);                                            \
    bool makeCurrent(OpenGLDrawable* drawable, NativeGLContext context);                                \
    void deleteContext(NativeGLContext context);                                                        \
    void swapBuffers(OpenGLDrawable& drawable);                                                         \
    const char* windowSystemName();                                                                     \
    const char* windowSystemExtensions(OpenGLDrawable& drawable);                                       \
    void disableSwapWait(OpenGLDrawable& drawable);                                                     \
    int swapInterval(OpenGLDrawable& drawable);                                                         \
    int directRendering(OpenGLDrawable& drawable, NativeGLContext context);                             \
    int64_t videoMemoryKiB(OpenGLDrawable& drawable);                                                   \
    void buildFont(OpenGLDrawable& drawable, uint32_t listBase);                                        \
    void copyToWindow(OpenGLDrawable& drawable, const uint8_t* pixels, uint32_t width, uint32_t height); \
    void invertSquare(OpenGLDrawable& drawable, int x, int y);

namespace vyr::test::glbinding::glx {
VYR_GL_BINDING_FUNCTIONS
}  // namespace vyr::test::glbinding::glx

namespace vyr::test::glbinding::egl {
VYR_GL_BINDING_FUNCTIONS
}  // namespace vyr::test::glbinding::egl

#undef VYR_GL_BINDING_FUNCTIONS

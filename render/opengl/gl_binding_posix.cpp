// Pairs with gl_window_binding.h on Linux: each call goes to GLX on X11 and to
// EGL on Wayland, as the window system chosen at start-up says.
#include "platform/window_system.h"
#include "render/opengl/gl_bindings_posix.h"

namespace vyr::test::glbinding {

namespace {
bool onWayland() { return platform::windowSystem() == platform::WindowSystem::Wayland; }
}  // namespace

bool prepareDrawable(OpenGLDrawable& drawable, NativeWindow* window, bool multisample, uint32_t samples,
                     bool stereo) {
    return onWayland() ? egl::prepareDrawable(drawable, window, multisample, samples, stereo)
                       : glx::prepareDrawable(drawable, window, multisample, samples, stereo);
}

void releaseDrawable(OpenGLDrawable& drawable) {
    onWayland() ? egl::releaseDrawable(drawable) : glx::releaseDrawable(drawable);
}

NativeGLContext createContext(OpenGLDrawable& drawable) {
    return onWayland() ? egl::createContext(drawable) : glx::createContext(drawable);
}

bool makeCurrent(OpenGLDrawable* drawable, NativeGLContext context) {
    return onWayland() ? egl::makeCurrent(drawable, context) : glx::makeCurrent(drawable, context);
}

void deleteContext(NativeGLContext context) { onWayland() ? egl::deleteContext(context) : glx::deleteContext(context); }

void swapBuffers(OpenGLDrawable& drawable) { onWayland() ? egl::swapBuffers(drawable) : glx::swapBuffers(drawable); }

const char* windowSystemName() { return onWayland() ? egl::windowSystemName() : glx::windowSystemName(); }

const char* windowSystemExtensions(OpenGLDrawable& drawable) {
    return onWayland() ? egl::windowSystemExtensions(drawable) : glx::windowSystemExtensions(drawable);
}

void disableSwapWait(OpenGLDrawable& drawable) {
    onWayland() ? egl::disableSwapWait(drawable) : glx::disableSwapWait(drawable);
}

int swapInterval(OpenGLDrawable& drawable) {
    return onWayland() ? egl::swapInterval(drawable) : glx::swapInterval(drawable);
}

int directRendering(OpenGLDrawable& drawable, NativeGLContext context) {
    return onWayland() ? egl::directRendering(drawable, context) : glx::directRendering(drawable, context);
}

int64_t videoMemoryKiB(OpenGLDrawable& drawable) {
    return onWayland() ? egl::videoMemoryKiB(drawable) : glx::videoMemoryKiB(drawable);
}

void buildFont(OpenGLDrawable& drawable, uint32_t listBase) {
    onWayland() ? egl::buildFont(drawable, listBase) : glx::buildFont(drawable, listBase);
}

void copyToWindow(OpenGLDrawable& drawable, const uint8_t* pixels, uint32_t width, uint32_t height) {
    onWayland() ? egl::copyToWindow(drawable, pixels, width, height)
                : glx::copyToWindow(drawable, pixels, width, height);
}

void invertSquare(OpenGLDrawable& drawable, int x, int y) {
    onWayland() ? egl::invertSquare(drawable, x, y) : glx::invertSquare(drawable, x, y);
}

}  // namespace vyr::test::glbinding

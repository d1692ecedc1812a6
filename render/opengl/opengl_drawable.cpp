#include "render/opengl/opengl_drawable.h"

#include "render/opengl/gl_window_binding.h"

namespace vyr::test {

OpenGLDrawable::~OpenGLDrawable() { glbinding::releaseDrawable(*this); }

void OpenGLDrawable::moveCursor(int x, int y) {
    if (!gdiMode) return;
    // Inverting twice restores: the old square goes away, the new one appears.
    glbinding::invertSquare(*this, cursorX, cursorY);
    glbinding::invertSquare(*this, x, y);
    cursorX = x;
    cursorY = y;
}

}  // namespace vyr::test

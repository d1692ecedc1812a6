#include "render/opengl/opengl_drawable.h"

#include "render/opengl/gl_window_binding.h"

namespace vyr::test {

int glbinding::firstSampleCount(uint32_t requested) {
    // Halving the request never overflows, whatever -ms asked for.
    uint32_t limit = requested < 0x40000000u ? requested : 0x40000000u;
    uint32_t n = 1;
    while (n <= limit / 2) n *= 2;
    return int(n);
}

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

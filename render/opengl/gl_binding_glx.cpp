// The OpenGL window-system binding on X11: GLX framebuffer configurations,
// a FreeType bitmap font, and the frame copy and cursor square through Xlib.
// platform/native_window.h must come before Xlib's None macro is defined.
#include "render/driver_facts.h"
#include "render/opengl/font_glyphs.h"
#include "render/opengl/gl_bindings_posix.h"
#include "render/opengl/opengl_drawable.h"
#include "render/opengl/gl_api.h"
#include "platform/window_x11.h"

#include <GL/glx.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "render/opengl/opengl_context.h"

namespace vyr::test::glbinding::glx {

namespace {

// What deviceContext points to on X11.
struct GlxSurface {
    Display* display = nullptr;
    int screen = 0;
    GLXFBConfig config = nullptr;
    XVisualInfo* visual = nullptr;
    GC gc = nullptr;
};

GlxSurface* surfaceOf(OpenGLDrawable& drawable) { return static_cast<GlxSurface*>(drawable.deviceContext); }

// RGBA8 with 8 bits of alpha, 16 of depth, no stencil, double-buffered.
GLXFBConfig chooseConfig(Display* display, int screen, bool stereo, int samples) {
    std::vector<int> attributes = {GLX_X_RENDERABLE, True, GLX_DRAWABLE_TYPE, GLX_WINDOW_BIT,
                                   GLX_RENDER_TYPE, GLX_RGBA_BIT, GLX_X_VISUAL_TYPE, GLX_TRUE_COLOR,
                                   GLX_RED_SIZE, 8, GLX_GREEN_SIZE, 8, GLX_BLUE_SIZE, 8,
                                   GLX_ALPHA_SIZE, 8, GLX_DEPTH_SIZE, 16, GLX_STENCIL_SIZE, 0,
                                   GLX_DOUBLEBUFFER, True, GLX_STEREO, stereo ? True : False};
    if (samples > 0) {
        attributes.insert(attributes.end(), {GLX_SAMPLE_BUFFERS, 1, GLX_SAMPLES, samples});
    }
    attributes.push_back(0);
    int count = 0;
    GLXFBConfig* configs = glXChooseFBConfig(display, screen, attributes.data(), &count);
    GLXFBConfig chosen = nullptr;
    if (configs && count > 0) chosen = configs[0];
    if (configs) XFree(configs);
    return chosen;
}

Window windowOf(OpenGLDrawable& drawable) { return platform::x11Window(drawable.window); }

// GLX destroys a context through its display, which WGL does not need to name.
Display* contextDisplay = nullptr;

}  // namespace

bool prepareDrawable(OpenGLDrawable& drawable, NativeWindow* window, bool multisample, uint32_t samples,
                     bool stereo) {
    Display* display = window ? platform::x11Display(window) : nullptr;
    if (!display) return false;
    GlxSurface* surface = new GlxSurface();
    surface->display = display;
    surface->screen = platform::x11Screen(window);
    drawable.window = window;
    drawable.deviceContext = surface;

    // A stereo request nothing can grant gives a mono drawable.
    bool granted = stereo;
    GLXFBConfig config = chooseConfig(display, surface->screen, granted, 0);
    if (!config && granted) {
        granted = false;
        config = chooseConfig(display, surface->screen, false, 0);
    }
    drawable.stereo = granted;

    if (!multisample) {
        printf(" - MSAA is OFF\n");
    } else if (!OpenGLContext::hasExtension(glXQueryExtensionsString(display, surface->screen),
                                            "GLX_ARB_multisample")) {
        printf(" - GLX_ARB_multisample not found (MSAA is OFF)\n");
    } else {
        int n = firstSampleCount(samples);
        GLXFBConfig found = nullptr;
        for (; n >= 1 && !found; n /= 2) {
            found = chooseConfig(display, surface->screen, granted, n);
            if (found) break;
        }
        if (found) {
            printf(" - Valid MSAA samples: %d (MSAA is ON)\n", n);
            config = found;
            drawable.samples = uint32_t(n);
        } else {
            printf(" - No valid MSAA samples were found (MSAA is OFF)\n");
        }
    }
    fflush(stdout);
    if (!config) return true;  // surfaces as a failing createContext

    surface->config = config;
    glXGetFBConfigAttrib(display, config, GLX_FBCONFIG_ID, &drawable.pixelFormat);
    surface->visual = glXGetVisualFromFBConfig(display, config);
    if (surface->visual) platform::x11UseVisual(window, surface->visual->visual, surface->visual->depth);
    return true;
}

void releaseDrawable(OpenGLDrawable& drawable) {
    GlxSurface* surface = surfaceOf(drawable);
    if (!surface) return;
    if (surface->gc) XFreeGC(surface->display, surface->gc);
    if (surface->visual) XFree(surface->visual);
    delete surface;
    drawable.deviceContext = nullptr;
}

NativeGLContext createContext(OpenGLDrawable& drawable) {
    GlxSurface* surface = surfaceOf(drawable);
    if (!surface || !surface->config) return nullptr;
    contextDisplay = surface->display;
    return glXCreateNewContext(surface->display, surface->config, GLX_RGBA_TYPE, nullptr, True);
}

bool makeCurrent(OpenGLDrawable* drawable, NativeGLContext context) {
    if (drawable) {
        GlxSurface* surface = surfaceOf(*drawable);
        if (!surface) return false;
        return glXMakeCurrent(surface->display, windowOf(*drawable), static_cast<GLXContext>(context));
    }
    // GLX cannot keep a context current without a drawable: release both.
    Display* display = glXGetCurrentDisplay();
    if (!display) return true;
    return glXMakeCurrent(display, 0, nullptr);
}

void deleteContext(NativeGLContext context) {
    if (context && contextDisplay) glXDestroyContext(contextDisplay, static_cast<GLXContext>(context));
}

void swapBuffers(OpenGLDrawable& drawable) {
    GlxSurface* surface = surfaceOf(drawable);
    if (surface) glXSwapBuffers(surface->display, windowOf(drawable));
}

const char* windowSystemName() { return "GLX"; }

const char* windowSystemExtensions(OpenGLDrawable& drawable) {
    GlxSurface* surface = surfaceOf(drawable);
    if (!surface) return nullptr;
    return glXQueryExtensionsString(surface->display, surface->screen);
}

void disableSwapWait(OpenGLDrawable& drawable) {
    GlxSurface* surface = surfaceOf(drawable);
    if (!surface) return;
    const char* extensions = glXQueryExtensionsString(surface->display, surface->screen);
    auto entry = [](const char* name) { return glXGetProcAddressARB(reinterpret_cast<const GLubyte*>(name)); };
    if (OpenGLContext::hasExtension(extensions, "GLX_EXT_swap_control")) {
        using Fn = void (*)(Display*, GLXDrawable, int);
        if (Fn f = reinterpret_cast<Fn>(entry("glXSwapIntervalEXT"))) return f(surface->display, windowOf(drawable), 0);
    }
    if (OpenGLContext::hasExtension(extensions, "GLX_MESA_swap_control")) {
        using Fn = int (*)(unsigned);
        if (Fn f = reinterpret_cast<Fn>(entry("glXSwapIntervalMESA"))) {
            f(0);
            return;
        }
    }
    if (OpenGLContext::hasExtension(extensions, "GLX_SGI_swap_control")) {
        // SGI's variant refuses 0; there is nothing lower to ask for.
        using Fn = int (*)(int);
        if (Fn f = reinterpret_cast<Fn>(entry("glXSwapIntervalSGI"))) f(0);
    }
}

int swapInterval(OpenGLDrawable& drawable) {
    GlxSurface* surface = surfaceOf(drawable);
    if (!surface) return -1;
    const char* extensions = glXQueryExtensionsString(surface->display, surface->screen);
    if (OpenGLContext::hasExtension(extensions, "GLX_EXT_swap_control")) {
        unsigned value = 0;
        glXQueryDrawable(surface->display, windowOf(drawable), GLX_SWAP_INTERVAL_EXT, &value);
        return int(value);
    }
    if (OpenGLContext::hasExtension(extensions, "GLX_MESA_swap_control")) {
        using Fn = int (*)();
        auto f = reinterpret_cast<Fn>(glXGetProcAddressARB(reinterpret_cast<const GLubyte*>("glXGetSwapIntervalMESA")));
        if (f) return f();
    }
    return -1;
}

int directRendering(OpenGLDrawable& drawable, NativeGLContext context) {
    GlxSurface* surface = surfaceOf(drawable);
    if (!surface || !context) return -1;
    return glXIsDirect(surface->display, static_cast<GLXContext>(context)) ? 1 : 0;
}

int64_t videoMemoryKiB(OpenGLDrawable& drawable) {
    GlxSurface* surface = surfaceOf(drawable);
    if (!surface) return -1;
    const char* extensions = glXQueryExtensionsString(surface->display, surface->screen);
    if (!OpenGLContext::hasExtension(extensions, "GLX_MESA_query_renderer")) return -1;
    using Fn = Bool (*)(int, unsigned*);
    auto query = reinterpret_cast<Fn>(
        glXGetProcAddressARB(reinterpret_cast<const GLubyte*>("glXQueryCurrentRendererIntegerMESA")));
    unsigned megabytes = 0;
    if (!query || !query(GLX_RENDERER_VIDEO_MEMORY_MESA, &megabytes)) return -1;
    return int64_t(megabytes) * 1024;
}

void buildFont(OpenGLDrawable& drawable, uint32_t listBase) {
    std::vector<BitmapGlyph> glyphs;
    renderBitmapFont(glyphs);
    GLint alignment = 4;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    std::vector<GLubyte> rows;
    for (uint32_t c = 0; c < 128; c++) {
        glNewList(listBase + c, GL_COMPILE);
        const BitmapGlyph& glyph = glyphs[c];
        if (glyph.present) {
            int rowBytes = (glyph.width + 7) / 8;
            rows.assign(size_t(rowBytes) * glyph.rows + 1, 0);
            // glBitmap wants the bottom row first, eight pixels a byte.
            for (int y = 0; y < glyph.rows; y++) {
                GLubyte* target = rows.data() + size_t(glyph.rows - 1 - y) * rowBytes;
                for (int x = 0; x < glyph.width; x++)
                    if (glyph.pixels[size_t(y) * glyph.width + x]) target[x / 8] |= GLubyte(0x80 >> (x % 8));
            }
            glBitmap(GLsizei(glyph.width), GLsizei(glyph.rows), GLfloat(-glyph.left), GLfloat(glyph.rows - glyph.top),
                     glyph.advanceX, glyph.advanceY, rows.data());
        }
        glEndList();
    }
    glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
}

namespace {

GC gcOf(OpenGLDrawable& drawable) {
    GlxSurface* surface = surfaceOf(drawable);
    if (!surface->gc) surface->gc = XCreateGC(surface->display, windowOf(drawable), 0, nullptr);
    return surface->gc;
}

}  // namespace

void copyToWindow(OpenGLDrawable& drawable, const uint8_t* pixels, uint32_t width, uint32_t height) {
    GlxSurface* surface = surfaceOf(drawable);
    if (!surface || !surface->visual) return;
    // BGRA bytes are the 32-bit pixels of a 24-bit TrueColor visual; X wants the top row first.
    size_t rowBytes = size_t(width) * 4;
    std::vector<char> flipped(rowBytes * height);
    for (uint32_t y = 0; y < height; y++)
        memcpy(flipped.data() + rowBytes * y, pixels + rowBytes * (height - 1 - y), rowBytes);
    XImage* image = XCreateImage(surface->display, surface->visual->visual, unsigned(surface->visual->depth),
                                 ZPixmap, 0, flipped.data(), width, height, 32, int(rowBytes));
    if (!image) return;
    GC gc = gcOf(drawable);
    XSetFunction(surface->display, gc, GXcopy);
    XPutImage(surface->display, windowOf(drawable), gc, image, 0, 0, 0, 0, width, height);
    image->data = nullptr;  // the vector owns the pixels
    XDestroyImage(image);
    XFlush(surface->display);
}

void invertSquare(OpenGLDrawable& drawable, int x, int y) {
    GlxSurface* surface = surfaceOf(drawable);
    if (!surface) return;
    GC gc = gcOf(drawable);
    // Not restored, as the mix mode of the Windows device context is not.
    XSetFunction(surface->display, gc, GXinvert);
    XFillRectangle(surface->display, windowOf(drawable), gc, x - 25, y - 25, 50, 50);
    XFlush(surface->display);
}

}  // namespace vyr::test::glbinding::glx

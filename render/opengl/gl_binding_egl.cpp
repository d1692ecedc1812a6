// The OpenGL window-system binding on Wayland: desktop OpenGL through EGL on
// the window's wl_surface, the frame-rate text from the glyphs baked for the
// Vulkan back-end, and the frame copy and cursor square of -gdicursor drawn
// into the back buffer (a Wayland client cannot draw on its window otherwise).
#include "render/opengl/gl_bindings_posix.h"

#include <algorithm>
#include <cstdio>
#include <utility>
#include <vector>

#include "platform/window_wayland.h"
#include "render/driver_facts.h"
#include "render/opengl/gl_api.h"
#include "render/opengl/opengl_context.h"
#include "render/opengl/opengl_drawable.h"
#include "render/vulkan/baked_glyphs.h"

// EGL's native types as plain pointers, without Xlib's macros.
#define EGL_NO_X11
#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <wayland-egl.h>

#ifndef EGL_PRESENT_OPAQUE_EXT
#define EGL_PRESENT_OPAQUE_EXT 0x31DF
#endif

namespace vyr::test::glbinding::egl {

namespace {

// What deviceContext points to on Wayland.
struct EglSurface {
    EGLDisplay display = EGL_NO_DISPLAY;
    EGLConfig config = nullptr;
    wl_egl_window* native = nullptr;
    EGLSurface surface = EGL_NO_SURFACE;
    uint32_t width = 0, height = 0;  // of the wl_egl_window
    int interval = -1;               // frames per swap in force
    bool presentsOpaque = false;     // EGL ignores the alpha the frame leaves
    // -gdicursor: the last frame put on the window (bottom-up BGRA) and the
    // centres of the squares inverted on it.
    std::vector<uint8_t> frame;
    uint32_t frameWidth = 0, frameHeight = 0;
    bool frameFromSwap = false;
    std::vector<std::pair<int, int>> inverted;
};

EglSurface* surfaceOf(OpenGLDrawable& drawable) { return static_cast<EglSurface*>(drawable.deviceContext); }

// EGL destroys a context through its display, which WGL does not need to name.
EGLDisplay contextDisplay = EGL_NO_DISPLAY;

EGLDisplay openDisplay(wl_display* connection) {
    EGLDisplay display = eglGetPlatformDisplay(EGL_PLATFORM_WAYLAND_KHR, connection, nullptr);
    // An EGL before 1.5 knows the connection only as its native display.
    if (display == EGL_NO_DISPLAY) display = eglGetDisplay(reinterpret_cast<EGLNativeDisplayType>(connection));
    return display;
}

int configAttribute(EGLDisplay display, EGLConfig config, EGLint name) {
    EGLint value = 0;
    eglGetConfigAttrib(display, config, name, &value);
    return value;
}

// RGBA8 with 8 bits of alpha, 16 of depth, for desktop OpenGL on a window: of
// those, the first in EGL's order whose samples are the most not above
// maxSamples (0: none). Null when no configuration qualifies.
EGLConfig chooseConfig(EGLDisplay display, int maxSamples) {
    const EGLint attributes[] = {EGL_SURFACE_TYPE, EGL_WINDOW_BIT, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT,
                                 EGL_COLOR_BUFFER_TYPE, EGL_RGB_BUFFER, EGL_RED_SIZE, 8, EGL_GREEN_SIZE, 8,
                                 EGL_BLUE_SIZE, 8, EGL_ALPHA_SIZE, 8, EGL_DEPTH_SIZE, 16, EGL_NONE};
    EGLint count = 0;
    if (!eglChooseConfig(display, attributes, nullptr, 0, &count) || count <= 0) return nullptr;
    std::vector<EGLConfig> configs(size_t(count), nullptr);
    if (!eglChooseConfig(display, attributes, configs.data(), count, &count)) return nullptr;
    EGLConfig chosen = nullptr;
    int chosenSamples = -1;
    for (EGLint i = 0; i < count; i++) {
        int samples = configAttribute(display, configs[size_t(i)], EGL_SAMPLES);
        if (samples <= maxSamples && samples > chosenSamples) {
            chosen = configs[size_t(i)];
            chosenSamples = samples;
        }
    }
    return chosen;
}

void resizeToWindow(OpenGLDrawable& drawable, EglSurface& surface) {
    uint32_t width = 0, height = 0;
    platform::waylandClientSize(drawable.window, width, height);
    if (width == 0 || height == 0 || (width == surface.width && height == surface.height)) return;
    wl_egl_window_resize(surface.native, int(width), int(height), 0, 0);
    surface.width = width;
    surface.height = height;
}

}  // namespace

bool prepareDrawable(OpenGLDrawable& drawable, NativeWindow* window, bool multisample, uint32_t samples,
                     bool stereo) {
    (void)stereo;  // EGL has no stereo configurations: the drawable is mono
    wl_display* connection = window ? platform::waylandDisplay(window) : nullptr;
    wl_surface* windowSurface = window ? platform::waylandSurface(window) : nullptr;
    if (!connection || !windowSurface) return false;
    EGLDisplay display = openDisplay(connection);
    if (display == EGL_NO_DISPLAY || !eglInitialize(display, nullptr, nullptr)) {
        fprintf(stderr, "EGL cannot be initialised on the Wayland display (error 0x%x)\n", unsigned(eglGetError()));
        return false;
    }
    // Desktop OpenGL, not OpenGL ES: the scene is fixed-function.
    if (!eglBindAPI(EGL_OPENGL_API)) {
        fprintf(stderr, "EGL offers no desktop OpenGL (error 0x%x)\n", unsigned(eglGetError()));
        eglTerminate(display);
        return false;
    }
    EglSurface* surface = new EglSurface();
    surface->display = display;
    drawable.window = window;
    drawable.deviceContext = surface;
    drawable.stereo = false;

    EGLConfig config = chooseConfig(display, 0);
    if (!multisample) {
        printf(" - MSAA is OFF\n");
    } else {
        EGLConfig found = chooseConfig(display, firstSampleCount(samples));
        int n = found ? configAttribute(display, found, EGL_SAMPLES) : 0;
        if (n > 0) {
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
    drawable.pixelFormat = configAttribute(display, config, EGL_CONFIG_ID);
    uint32_t width = 0, height = 0;
    platform::waylandClientSize(window, width, height);
    surface->width = std::max(width, 1u);
    surface->height = std::max(height, 1u);
    surface->native = wl_egl_window_create(windowSurface, int(surface->width), int(surface->height));
    if (!surface->native) return true;
    // The alpha the blended scene leaves must not show the desktop through the window.
    std::vector<EGLint> attributes;
    surface->presentsOpaque =
        OpenGLContext::hasExtension(eglQueryString(display, EGL_EXTENSIONS), "EGL_EXT_present_opaque");
    if (surface->presentsOpaque) attributes = {EGL_PRESENT_OPAQUE_EXT, EGL_TRUE};
    attributes.push_back(EGL_NONE);
    surface->surface = eglCreateWindowSurface(display, config, reinterpret_cast<EGLNativeWindowType>(surface->native),
                                              attributes.data());
    if (surface->surface == EGL_NO_SURFACE)
        fprintf(stderr, "EGL cannot make the window's surface (error 0x%x)\n", unsigned(eglGetError()));
    // EGL starts every window surface at one frame per swap, within the configuration's bounds.
    surface->interval = std::clamp(1, configAttribute(display, config, EGL_MIN_SWAP_INTERVAL),
                                   configAttribute(display, config, EGL_MAX_SWAP_INTERVAL));
    return true;
}

void releaseDrawable(OpenGLDrawable& drawable) {
    EglSurface* surface = surfaceOf(drawable);
    if (!surface) return;
    if (eglGetCurrentSurface(EGL_DRAW) == surface->surface)
        eglMakeCurrent(surface->display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (surface->surface != EGL_NO_SURFACE) eglDestroySurface(surface->display, surface->surface);
    if (surface->native) wl_egl_window_destroy(surface->native);
    // The context went first (OpenGLContext before its drawable); EGL lets go
    // of the Wayland connection here, before the window closes it.
    eglTerminate(surface->display);
    eglReleaseThread();
    if (contextDisplay == surface->display) contextDisplay = EGL_NO_DISPLAY;
    delete surface;
    drawable.deviceContext = nullptr;
}

NativeGLContext createContext(OpenGLDrawable& drawable) {
    EglSurface* surface = surfaceOf(drawable);
    if (!surface || !surface->config || surface->surface == EGL_NO_SURFACE) return nullptr;
    contextDisplay = surface->display;
    // No version or profile asked: a compatibility context, which has the fixed-function pipeline.
    EGLContext context = eglCreateContext(surface->display, surface->config, EGL_NO_CONTEXT, nullptr);
    if (context == EGL_NO_CONTEXT) {
        fprintf(stderr, "EGL cannot make an OpenGL context (error 0x%x)\n", unsigned(eglGetError()));
        return nullptr;
    }
    return context;
}

bool makeCurrent(OpenGLDrawable* drawable, NativeGLContext context) {
    if (drawable) {
        EglSurface* surface = surfaceOf(*drawable);
        if (!surface) return false;
        // OpenGLContext::setSize makes the drawable current: the frame drawn
        // next, at the new size, needs a buffer of that size.
        if (surface->native) resizeToWindow(*drawable, *surface);
        return eglMakeCurrent(surface->display, surface->surface, surface->surface, static_cast<EGLContext>(context));
    }
    // As on GLX, without a drawable both are released.
    EGLDisplay display = eglGetCurrentDisplay();
    if (display == EGL_NO_DISPLAY) return true;
    return eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
}

void deleteContext(NativeGLContext context) {
    if (context && contextDisplay != EGL_NO_DISPLAY) eglDestroyContext(contextDisplay, static_cast<EGLContext>(context));
}

namespace {

// A compositor blends a window by its alpha: where EGL cannot be told to
// ignore it, the frame's alpha is made opaque before it is shown.
void makeOpaque() {
    glPushAttrib(GL_COLOR_BUFFER_BIT | GL_ENABLE_BIT | GL_SCISSOR_BIT);
    glDisable(GL_SCISSOR_TEST);
    glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_TRUE);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glPopAttrib();
}

// Keeps the frame about to be shown, for copyToWindow: after a swap the
// back buffer EGL hands out holds no defined frame.
void keepBackBuffer(EglSurface& surface, uint32_t width, uint32_t height) {
    surface.frame.resize(size_t(width) * height * 4);
    surface.frameWidth = width;
    surface.frameHeight = height;
    GLint alignment = 4;
    glGetIntegerv(GL_PACK_ALIGNMENT, &alignment);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, GLsizei(width), GLsizei(height), GL_BGRA, GL_UNSIGNED_BYTE, surface.frame.data());
    glPixelStorei(GL_PACK_ALIGNMENT, alignment);
    surface.frameFromSwap = true;
}

}  // namespace

void swapBuffers(OpenGLDrawable& drawable) {
    EglSurface* surface = surfaceOf(drawable);
    if (!surface || surface->surface == EGL_NO_SURFACE) return;
    if (!surface->presentsOpaque) makeOpaque();
    if (drawable.gdiMode) {
        EGLint width = 0, height = 0;
        eglQuerySurface(surface->display, surface->surface, EGL_WIDTH, &width);
        eglQuerySurface(surface->display, surface->surface, EGL_HEIGHT, &height);
        if (width > 0 && height > 0) keepBackBuffer(*surface, uint32_t(width), uint32_t(height));
    }
    platform::waylandFrameCommitting(drawable.window);
    eglSwapBuffers(surface->display, surface->surface);
    // The next frame is drawn at the size the compositor configured since.
    resizeToWindow(drawable, *surface);
}

const char* windowSystemName() { return "EGL"; }

const char* windowSystemExtensions(OpenGLDrawable& drawable) {
    EglSurface* surface = surfaceOf(drawable);
    if (!surface) return nullptr;
    return eglQueryString(surface->display, EGL_EXTENSIONS);
}

void disableSwapWait(OpenGLDrawable& drawable) {
    EglSurface* surface = surfaceOf(drawable);
    if (!surface || !surface->config) return;
    if (!eglSwapInterval(surface->display, 0)) return;
    // EGL clamps the interval to the configuration's bounds without telling.
    surface->interval = std::max(0, configAttribute(surface->display, surface->config, EGL_MIN_SWAP_INTERVAL));
}

// EGL cannot be asked the interval in force: it is the one set last.
int swapInterval(OpenGLDrawable& drawable) {
    EglSurface* surface = surfaceOf(drawable);
    return surface ? surface->interval : -1;
}

int directRendering(OpenGLDrawable&, NativeGLContext) { return -1; }

int64_t videoMemoryKiB(OpenGLDrawable&) { return -1; }

void buildFont(OpenGLDrawable& drawable, uint32_t listBase) {
    (void)drawable;
    GLint alignment = 4;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    std::vector<GLubyte> rows;
    for (uint32_t c = 0; c < 128; c++) {
        glNewList(listBase + c, GL_COMPILE);
        const BakedGlyph& glyph = bakedGlyphs[c];
        const unsigned char* pixels = bakedGlyphPixels + glyph.offset;
        int rowBytes = (glyph.width + 7) / 8;
        rows.assign(size_t(rowBytes) * glyph.rows + 1, 0);
        // glBitmap wants the bottom row first, eight pixels a byte.
        for (int y = 0; y < glyph.rows; y++) {
            GLubyte* target = rows.data() + size_t(glyph.rows - 1 - y) * rowBytes;
            for (int x = 0; x < glyph.width; x++)
                if (pixels[size_t(y) * glyph.width + x]) target[x / 8] |= GLubyte(0x80 >> (x % 8));
        }
        glBitmap(GLsizei(glyph.width), GLsizei(glyph.rows), GLfloat(-glyph.left), GLfloat(glyph.rows - glyph.top),
                 glyph.advance, 0.0f, rows.data());
        glEndList();
    }
    glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
}

namespace {

// The kept frame with the inverted squares on it, into the back buffer and
// onto the window. Every state changed is put back for the next frame.
void showKeptFrame(OpenGLDrawable& drawable, EglSurface& surface) {
    if (surface.frame.empty()) return;
    EGLint width = 0, height = 0;
    eglQuerySurface(surface.display, surface.surface, EGL_WIDTH, &width);
    eglQuerySurface(surface.display, surface.surface, EGL_HEIGHT, &height);
    if (width <= 0 || height <= 0) return;

    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0.0, double(width), 0.0, double(height), -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glViewport(0, 0, width, height);
    for (GLenum capability : {GL_DEPTH_TEST, GL_LIGHTING, GL_TEXTURE_2D, GL_BLEND, GL_ALPHA_TEST, GL_FOG, GL_CULL_FACE,
                              GL_SCISSOR_TEST, GL_STENCIL_TEST, GL_COLOR_MATERIAL})
        glDisable(capability);
    glDrawBuffer(GL_BACK);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelZoom(1.0f, 1.0f);
    glRasterPos2i(0, 0);
    glDrawPixels(GLsizei(surface.frameWidth), GLsizei(surface.frameHeight), GL_BGRA, GL_UNSIGNED_BYTE,
                 surface.frame.data());
    // The squares' y counts from the window's top, OpenGL's from its bottom.
    glEnable(GL_COLOR_LOGIC_OP);
    glLogicOp(GL_INVERT);
    for (const auto& centre : surface.inverted) {
        int top = height - centre.second;
        glRecti(centre.first - 25, top - 25, centre.first + 25, top + 25);
    }
    glDisable(GL_COLOR_LOGIC_OP);
    if (!surface.presentsOpaque) makeOpaque();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopClientAttrib();
    glPopAttrib();

    platform::waylandFrameCommitting(drawable.window);
    eglSwapBuffers(surface.display, surface.surface);
}

}  // namespace

void copyToWindow(OpenGLDrawable& drawable, const uint8_t* pixels, uint32_t width, uint32_t height) {
    EglSurface* surface = surfaceOf(drawable);
    if (!surface || surface->surface == EGL_NO_SURFACE) return;
    // A frame read at the swap just made wins over one read back after it.
    if (!surface->frameFromSwap) {
        surface->frame.assign(pixels, pixels + size_t(width) * height * 4);
        surface->frameWidth = width;
        surface->frameHeight = height;
    }
    surface->frameFromSwap = false;
    // As on X11 the copy covers the window: squares inverted before are gone.
    surface->inverted.clear();
    showKeptFrame(drawable, *surface);
}

void invertSquare(OpenGLDrawable& drawable, int x, int y) {
    EglSurface* surface = surfaceOf(drawable);
    if (!surface || surface->surface == EGL_NO_SURFACE) return;
    // Inverting the same square twice restores it.
    auto found = std::find(surface->inverted.begin(), surface->inverted.end(), std::make_pair(x, y));
    if (found != surface->inverted.end())
        surface->inverted.erase(found);
    else
        surface->inverted.emplace_back(x, y);
    showKeptFrame(drawable, *surface);
}

}  // namespace vyr::test::glbinding::egl

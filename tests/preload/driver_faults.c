// A driver put in front of the real one with LD_PRELOAD, for the tests of the
// real program: it fails as a driver or a display would, tells another name,
// and stamps its presents. DRIVER_FAULT names the fault, if any; what it says
// of glXSwapBuffers holds for eglSwapBuffers (a Wayland window's OpenGL) too,
// which a skipped present leaves returning EGL_TRUE:
//   present-nothing      glXSwapBuffers shows nothing: the window stays black;
//                        for Vulkan (Mesa's software swap chain), the image
//                        put on the window is black (a skipped
//                        vkQueuePresentKHR would keep its image, and the swap
//                        chain run dry)
//   present-every-other  every second glXSwapBuffers shows nothing: half the
//                        frames never reach the window; for Vulkan (Mesa's
//                        software swap chain) every second vkQueuePresentKHR
//                        puts no image on the window, which keeps the last one
//   present-late         glXSwapBuffers and vkQueuePresentKHR wait 40 ms before
//                        the real present: each frame reaches the window late
//   drop-meshes          glDrawArrays of triangles draws nothing (logos, star spikes)
//   drop-textures        glTexImage2D keeps nothing: every image (background,
//                        overlays, the logos' reflection) stays blank
//   drop-overlays        the two 128 x 41 images (pause label, OFF indicator)
//                        arrive fully transparent: the overlays are missing
//   present-segv         the fifth glXSwapBuffers ends the process with SIGSEGV
//   present-abort        the fifth glXSwapBuffers aborts (SIGABRT)
//   present-hang         the fifth glXSwapBuffers never returns (a hung GPU, a
//                        display that stopped reading); signals interrupt the
//                        wait, which goes on. It first writes "driver_faults:
//                        present-hang after N presents" on standard error
//   present-stop         the fifth glXSwapBuffers stops the whole process
//                        (SIGSTOP): not even the program's watchdog runs
//   swap-red-blue        glReadPixels hands back blue and red swapped
//   depth-clear-nothing  a depth-only glClear does nothing; for Vulkan, a
//                        viewport that moves the frame into the nearer half of
//                        the depth range keeps the farther half
//   hold-first-present   the first glXSwapBuffers or vkQueuePresentKHR waits
//                        (at most 60 s) until the file DRIVER_FAULT_GATE
//                        exists: a slow driver, during which the test changes
//                        the desktop around the shown window
// DRIVER_FAULT_TOOK=<file>: the first time the fault acts, its name is
// appended to the file, so a test knows the fault took before it judges what
// followed (a run may end before a fault that waits for presents comes).
// DRIVER_FAULT_AFTER=<n> lets n presents through before the present-segv,
// -abort, -hang or -stop fault (4 when unset), so a test knows how many frames
// were shown.
//
// Whatever the fault, it tells something else when asked:
//   VYR_TEST_GLX_EXTENSION=<name>  glXQueryExtensionsString ends with <name>
//                                  (what a remote-visualization server's GLX adds)
//   VYR_TEST_GL_RENDERER=<text>    glGetString(GL_RENDERER) returns <text>
//   VYR_TEST_GL_VERSION=<text>     glGetString(GL_VERSION) returns <text>
//
// Every present passed on to the driver (glXSwapBuffers, eglSwapBuffers,
// vkQueuePresentKHR) is stamped (present_stamps.c, in the same library).
//
// Vulkan calls come through the loader's vkGetInstanceProcAddr, which the
// program links: it is wrapped to hand out a wrapped vkGetDeviceProcAddr.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <GL/gl.h>
#include <GL/glx.h>
#include <EGL/egl.h>
#include <xcb/xcb.h>
#define VK_NO_PROTOTYPES
#include <vulkan/vulkan.h>

static int fault(const char* name) {
    const char* chosen = getenv("DRIVER_FAULT");
    return chosen && strcmp(chosen, name) == 0;
}

static int took(const char* name) {
    static int told;
    const char* file = getenv("DRIVER_FAULT_TOOK");
    if (!told && file && *file) {
        told = 1;
        FILE* f = fopen(file, "a");
        if (f) {
            fprintf(f, "%s\n", name);
            fclose(f);
        }
    }
    return 1;
}

#define REAL(name) ((__typeof__(&name))dlsym(RTLD_NEXT, #name))

// present_stamps.c
void stampBeforePresent(void);
void stampAfterPresent(void);

static void holdFirstPresent(void) {
    static int held;
    const char* gate = getenv("DRIVER_FAULT_GATE");
    if (held++ || !fault("hold-first-present") || !gate) return;
    took("hold-first-present");
    for (int i = 0; i < 6000 && access(gate, F_OK) != 0; i++) usleep(10000);
}

static void presentLate(void) {
    struct timespec wait = {0, 40 * 1000000L};
    if (fault("present-late") && took("present-late"))
        while (nanosleep(&wait, &wait) != 0) {
        }
}

// What a present of OpenGL's (glXSwapBuffers, eglSwapBuffers) meets before the
// driver: 1 when it goes on to the driver, 0 when a fault keeps it back.
static int openglPresentGoesOn(void) {
    static int presents;
    const char* after = getenv("DRIVER_FAULT_AFTER");
    if (++presents == (after ? atoi(after) : 4) + 1) {
        if (fault("present-segv") && took("present-segv")) raise(SIGSEGV);
        if (fault("present-abort") && took("present-abort")) abort();
        if (fault("present-hang") && took("present-hang")) {
            fprintf(stderr, "driver_faults: present-hang after %d presents\n", presents - 1);
            for (;;) pause();
        }
        if (fault("present-stop") && took("present-stop")) raise(SIGSTOP);
    }
    holdFirstPresent();
    if ((fault("present-nothing") && took("present-nothing")) ||
        (fault("present-every-other") && presents % 2 == 0 && took("present-every-other")))
        return 0;
    presentLate();
    return 1;
}

void glXSwapBuffers(Display* display, GLXDrawable drawable) {
    if (!openglPresentGoesOn()) return;
    stampBeforePresent();
    REAL(glXSwapBuffers)(display, drawable);
    stampAfterPresent();
}

// A Wayland window's OpenGL: the program links libEGL and calls it directly.
EGLBoolean eglSwapBuffers(EGLDisplay display, EGLSurface surface) {
    if (!openglPresentGoesOn()) return EGL_TRUE;
    stampBeforePresent();
    EGLBoolean done = REAL(eglSwapBuffers)(display, surface);
    stampAfterPresent();
    return done;
}

void glDrawArrays(GLenum mode, GLint first, GLsizei count) {
    if (fault("drop-meshes") && mode == GL_TRIANGLES && took("drop-meshes")) return;
    REAL(glDrawArrays)(mode, first, count);
}

void glTexImage2D(GLenum target, GLint level, GLint internalFormat, GLsizei width, GLsizei height, GLint border,
                  GLenum format, GLenum type, const void* pixels) {
    static const unsigned char transparent[128 * 41 * 4];
    if (fault("drop-textures") && took("drop-textures")) pixels = NULL;
    if (fault("drop-overlays") && width == 128 && height == 41 && took("drop-overlays")) pixels = transparent;
    REAL(glTexImage2D)(target, level, internalFormat, width, height, border, format, type, pixels);
}

void glClear(GLbitfield mask) {
    if (fault("depth-clear-nothing") && mask == GL_DEPTH_BUFFER_BIT && took("depth-clear-nothing")) return;
    REAL(glClear)(mask);
}

void glReadPixels(GLint x, GLint y, GLsizei width, GLsizei height, GLenum format, GLenum type, void* pixels) {
    REAL(glReadPixels)(x, y, width, height, format, type, pixels);
    if (!fault("swap-red-blue") || type != GL_UNSIGNED_BYTE || (format != GL_RGBA && format != GL_BGRA)) return;
    took("swap-red-blue");
    unsigned char* p = pixels;
    for (long i = 0; i < (long)width * height; i++, p += 4) {
        unsigned char red = p[0];
        p[0] = p[2];
        p[2] = red;
    }
}

const char* glXQueryExtensionsString(Display* display, int screen) {
    // Long enough for any driver's list; the program may keep the pointer, as it may the driver's.
    static char extended[65536];
    const char* list = REAL(glXQueryExtensionsString)(display, screen);
    const char* added = getenv("VYR_TEST_GLX_EXTENSION");
    if (!list || !added || !*added) return list;
    size_t length = strlen(list);
    const char* gap = length && list[length - 1] != ' ' ? " " : "";
    int written = snprintf(extended, sizeof extended, "%s%s%s ", list, gap, added);
    return written > 0 && (size_t)written < sizeof extended ? extended : list;
}

const GLubyte* glGetString(GLenum name) {
    const char* renderer = getenv("VYR_TEST_GL_RENDERER");
    const char* version = getenv("VYR_TEST_GL_VERSION");
    if (name == GL_RENDERER && renderer) return (const GLubyte*)renderer;
    if (name == GL_VERSION && version) return (const GLubyte*)version;
    return REAL(glGetString)(name);
}

// GLEW asks for glGetString through the window system rather than linking it.
static __GLXextFuncPtr disguisedEntry(const GLubyte* name, __GLXextFuncPtr (*real)(const GLubyte*)) {
    return strcmp((const char*)name, "glGetString") == 0 ? (__GLXextFuncPtr)glGetString : real(name);
}

__GLXextFuncPtr glXGetProcAddressARB(const GLubyte* name) { return disguisedEntry(name, REAL(glXGetProcAddressARB)); }
__GLXextFuncPtr glXGetProcAddress(const GLubyte* name) { return disguisedEntry(name, REAL(glXGetProcAddress)); }

static PFN_vkGetDeviceProcAddr realGetDeviceProcAddr;
static PFN_vkCmdSetViewport realCmdSetViewport;

static void VKAPI_CALL faultyCmdSetViewport(VkCommandBuffer commands, uint32_t first, uint32_t count,
                                           const VkViewport* viewports) {
    if (count == 1 && viewports[0].maxDepth <= 0.5f) {
        VkViewport kept = viewports[0];
        kept.minDepth = 0.5f;
        kept.maxDepth = 1.0f;
        realCmdSetViewport(commands, first, 1, &kept);
        return;
    }
    realCmdSetViewport(commands, first, count, viewports);
}

// Which presents' images are not put on the window, in order: the swap chain
// may put them from a thread of its own, each frame's image in one PutImage.
static _Atomic unsigned long presentsDecided, putsMade;
static _Atomic unsigned char skipped[256];

static void decidePut(int skip) {
    const unsigned long present = presentsDecided;
    skipped[present % 256] = (unsigned char)skip;
    presentsDecided = present + 1;
}

static int skippedPut(void) {
    const unsigned long put = putsMade++;
    return put < presentsDecided && skipped[put % 256];
}

// Mesa's software swap chains (lavapipe) hand each image to the X server with
// PutImage: black pixels go instead, after the program has read its frame back.
xcb_void_cookie_t xcb_put_image(xcb_connection_t* c, uint8_t format, xcb_drawable_t drawable, xcb_gcontext_t gc,
                                uint16_t width, uint16_t height, int16_t dst_x, int16_t dst_y, uint8_t left_pad,
                                uint8_t depth, uint32_t data_len, const uint8_t* data) {
    static uint8_t* black;
    static uint32_t blackSize;
    if (fault("present-nothing") && data_len > blackSize) {
        free(black);
        black = calloc(data_len, 1);
        blackSize = black ? data_len : 0;
    }
    if (fault("present-nothing") && black && took("present-nothing")) data = black;
    if (fault("present-every-other") && width * height >= 64 * 64 && skippedPut()) {
        xcb_void_cookie_t none = {0};
        return none;
    }
    return REAL(xcb_put_image)(c, format, drawable, gc, width, height, dst_x, dst_y, left_pad, depth, data_len, data);
}

static PFN_vkQueuePresentKHR realQueuePresent;

static VkResult VKAPI_CALL faultyQueuePresent(VkQueue queue, const VkPresentInfoKHR* info) {
    static unsigned presents;
    holdFirstPresent();
    presentLate();
    // The swap chain goes on; only the image's way to the window is cut.
    if (fault("present-every-other")) {
        const int skip = ++presents % 2 == 0 && took("present-every-other");
        decidePut(skip);
        if (skip) return realQueuePresent(queue, info);
    }
    stampBeforePresent();
    VkResult result = realQueuePresent(queue, info);
    stampAfterPresent();
    return result;
}

static PFN_vkVoidFunction VKAPI_CALL faultyGetDeviceProcAddr(VkDevice device, const char* name) {
    PFN_vkVoidFunction real = realGetDeviceProcAddr(device, name);
    if (real && strcmp(name, "vkQueuePresentKHR") == 0) {
        realQueuePresent = (PFN_vkQueuePresentKHR)real;
        return (PFN_vkVoidFunction)faultyQueuePresent;
    }
    if (real && fault("depth-clear-nothing") && strcmp(name, "vkCmdSetViewport") == 0 && took("depth-clear-nothing")) {
        realCmdSetViewport = (PFN_vkCmdSetViewport)real;
        return (PFN_vkVoidFunction)faultyCmdSetViewport;
    }
    return real;
}

VKAPI_ATTR PFN_vkVoidFunction VKAPI_CALL vkGetInstanceProcAddr(VkInstance instance, const char* name) {
    PFN_vkGetInstanceProcAddr real = (PFN_vkGetInstanceProcAddr)dlsym(RTLD_NEXT, "vkGetInstanceProcAddr");
    PFN_vkVoidFunction found = real(instance, name);
    if (found && strcmp(name, "vkGetDeviceProcAddr") == 0) {
        realGetDeviceProcAddr = (PFN_vkGetDeviceProcAddr)found;
        return (PFN_vkVoidFunction)faultyGetDeviceProcAddr;
    }
    return found;
}

/* Preloaded into vyrtest by bench/run: stamps the moments of start-up that can
 * be seen from outside the program, on CLOCK_MONOTONIC (the clock of Python's
 * time.monotonic, which bench/run reads just before it starts the program):
 *   context   glXCreateNewContext returned
 *   shown     the window was first mapped (the last step of start-up)
 *   first     the first glXSwapBuffers returned
 * Each is appended once as "<name> <seconds>" to the file named by
 * VYR_STARTUP_STAMPS.
 *
 * Build: cc -shared -fPIC -O2 -o startup_stamps.so startup_stamps.c -ldl
 */
#define _GNU_SOURCE
#include <GL/glx.h>
#include <X11/Xlib.h>
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

static void stamp(const char* name, int* done) {
    if (*done) return;
    *done = 1;
    const char* path = getenv("VYR_STARTUP_STAMPS");
    FILE* file = path ? fopen(path, "a") : NULL;
    if (!file) return;
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    fprintf(file, "%s %ld.%09ld\n", name, (long)now.tv_sec, now.tv_nsec);
    fclose(file);
}

static int contextDone, shownDone, firstDone;

GLXContext glXCreateNewContext(Display* display, GLXFBConfig config, int renderType, GLXContext share,
                               Bool direct) {
    GLXContext (*real)(Display*, GLXFBConfig, int, GLXContext, Bool) = dlsym(RTLD_NEXT, "glXCreateNewContext");
    GLXContext context = real(display, config, renderType, share, direct);
    stamp("context", &contextDone);
    return context;
}

static int mapped(int result) {
    stamp("shown", &shownDone);
    return result;
}

int XMapWindow(Display* display, Window window) {
    int (*real)(Display*, Window) = dlsym(RTLD_NEXT, "XMapWindow");
    return mapped(real(display, window));
}

int XMapRaised(Display* display, Window window) {
    int (*real)(Display*, Window) = dlsym(RTLD_NEXT, "XMapRaised");
    return mapped(real(display, window));
}

void glXSwapBuffers(Display* display, GLXDrawable drawable) {
    void (*real)(Display*, GLXDrawable) = dlsym(RTLD_NEXT, "glXSwapBuffers");
    real(display, drawable);
    stamp("first", &firstDone);
}

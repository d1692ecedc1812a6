/* Preloaded into the real program (LD_PRELOAD): a driver whose present never
 * returns. glXSwapBuffers passes the first VYR_STALL_AFTER calls (default 30)
 * to the real one, then writes "stall_swap: blocked after N presents" on
 * standard error and blocks for ever, as a hung GPU or a display that stopped
 * reading does. Signals interrupt the wait, which goes on. */
#define _GNU_SOURCE
#include <GL/glx.h>
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

static unsigned long presents;

void glXSwapBuffers(Display* display, GLXDrawable drawable) {
    static void (*real)(Display*, GLXDrawable);
    const char* after = getenv("VYR_STALL_AFTER");
    unsigned long limit = after ? strtoul(after, NULL, 10) : 30;
    if (presents >= limit) {
        fprintf(stderr, "stall_swap: blocked after %lu presents\n", presents);
        fflush(stderr);
        for (;;) pause();
    }
    if (!real) real = (void (*)(Display*, GLXDrawable))dlsym(RTLD_NEXT, "glXSwapBuffers");
    real(display, drawable);
    ++presents;
}

/* Preloaded into vyrtest by bench/run: counts the heap allocations made by the
 * program's own code (callers inside the main executable, not in Mesa, Xlib or
 * libstdc++) and the presented frames. On SIGUSR1 the next present
 * appends "<allocations> <frames>" to the file named by VYR_ALLOC_COUNT_FILE.
 * Frames are counted at glXSwapBuffers or eglSwapBuffers (OpenGL) or
 * vkQueuePresentKHR (Vulkan).
 *
 * Build: cc -shared -fPIC -O2 -o alloc_counter.so alloc_counter.c -ldl
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <link.h>
#include <signal.h>
#include <stdatomic.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

extern void* __libc_malloc(size_t);
extern void* __libc_calloc(size_t, size_t);
extern void* __libc_realloc(void*, size_t);

static uintptr_t programStart, programEnd;
static atomic_ulong allocations;
static atomic_ulong frames;
static atomic_int reportWanted;

static int findProgram(struct dl_phdr_info* info, size_t size, void* data) {
    (void)size;
    (void)data;
    /* The first entry is the main program. */
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)* p = &info->dlpi_phdr[i];
        if (p->p_type != PT_LOAD) continue;
        uintptr_t start = info->dlpi_addr + p->p_vaddr, end = start + p->p_memsz;
        if (!programStart || start < programStart) programStart = start;
        if (end > programEnd) programEnd = end;
    }
    return 1;
}

static void onSignal(int s) {
    (void)s;
    reportWanted = 1;
}

__attribute__((constructor)) static void setUp(void) {
    dl_iterate_phdr(findProgram, NULL);
    signal(SIGUSR1, onSignal);
}

static inline void count(void* caller) {
    uintptr_t a = (uintptr_t)caller;
    if (a >= programStart && a < programEnd) atomic_fetch_add(&allocations, 1);
}

void* malloc(size_t n) {
    count(__builtin_return_address(0));
    return __libc_malloc(n);
}

void* calloc(size_t n, size_t m) {
    count(__builtin_return_address(0));
    return __libc_calloc(n, m);
}

void* realloc(void* p, size_t n) {
    count(__builtin_return_address(0));
    return __libc_realloc(p, n);
}

/* operator new and new[]: the caller is the program's code itself. */
static void* newBlock(size_t n, void* caller) {
    count(caller);
    void* p = __libc_malloc(n ? n : 1);
    if (!p) abort();
    return p;
}
void* _Znwm(size_t n) { return newBlock(n, __builtin_return_address(0)); }
void* _Znam(size_t n) { return newBlock(n, __builtin_return_address(0)); }

static void framePresented(void) {
    atomic_fetch_add(&frames, 1);
    if (reportWanted) {
        reportWanted = 0;
        const char* path = getenv("VYR_ALLOC_COUNT_FILE");
        FILE* f = path ? fopen(path, "a") : NULL;
        if (f) {
            fprintf(f, "%lu %lu\n", (unsigned long)allocations, (unsigned long)frames);
            fclose(f);
        }
    }
}

void glXSwapBuffers(void* display, unsigned long drawable) {
    static void (*real)(void*, unsigned long);
    if (!real) real = (void (*)(void*, unsigned long))dlsym(RTLD_NEXT, "glXSwapBuffers");
    real(display, drawable);
    framePresented();
}

/* OpenGL on Wayland. */
unsigned eglSwapBuffers(void* display, void* surface) {
    static unsigned (*real)(void*, void*);
    if (!real) real = (unsigned (*)(void*, void*))dlsym(RTLD_NEXT, "eglSwapBuffers");
    unsigned result = real(display, surface);
    framePresented();
    return result;
}

/* Vulkan: the program resolves every entry point through the loader's
 * vkGetInstanceProcAddr, the one it links; the wrappers below hand out a
 * counting vkQueuePresentKHR through it. */
typedef void (*VoidFunction)(void);
typedef VoidFunction (*GetProcAddress)(void*, const char*);
typedef int (*QueuePresent)(void*, const void*);
static GetProcAddress realInstanceProcAddr, realDeviceProcAddr;
static QueuePresent realQueuePresent;

static int countingQueuePresent(void* queue, const void* info) {
    int result = realQueuePresent(queue, info);
    framePresented();
    return result;
}

static VoidFunction countingDeviceProcAddr(void* device, const char* name) {
    VoidFunction f = realDeviceProcAddr(device, name);
    if (f && strcmp(name, "vkQueuePresentKHR") == 0) {
        realQueuePresent = (QueuePresent)f;
        return (VoidFunction)countingQueuePresent;
    }
    return f;
}

VoidFunction vkGetInstanceProcAddr(void* instance, const char* name) {
    if (!realInstanceProcAddr) realInstanceProcAddr = (GetProcAddress)dlsym(RTLD_NEXT, "vkGetInstanceProcAddr");
    VoidFunction f = realInstanceProcAddr(instance, name);
    if (f && strcmp(name, "vkGetDeviceProcAddr") == 0) {
        realDeviceProcAddr = (GetProcAddress)f;
        return (VoidFunction)countingDeviceProcAddr;
    }
    return f;
}

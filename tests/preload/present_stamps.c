// Stamps every present of the program it is preloaded into: when
// glXSwapBuffers or vkQueuePresentKHR returns, one line "<monotonic ns>
// <real-time ns>" is appended to the file named by VYR_TEST_STAMPS, so a test
// can work out the frame times on its own.
//
// With VYR_TEST_STALL_MS=<step>, present number k first stalls for
// step x ((17 k) mod 41) ms: a slow driver whose frame times lie at least a step
// apart for 41 frames, so that one rank more or less changes a percentile.
//
// Vulkan entry points are reached through vkGetInstanceProcAddr and
// vkGetDeviceProcAddr, so those two are wrapped to hand out the stamping present.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <GL/glx.h>
#include <vulkan/vulkan.h>

static uint64_t presents;

static uint64_t nanoseconds(clockid_t clock) {
    struct timespec ts;
    clock_gettime(clock, &ts);
    return (uint64_t)ts.tv_sec * 1000000000ull + (uint64_t)ts.tv_nsec;
}

static void stall(void) {
    const char* step = getenv("VYR_TEST_STALL_MS");
    uint64_t ms = step ? strtoull(step, NULL, 10) * ((17 * presents) % 41) : 0;
    struct timespec ts = {(time_t)(ms / 1000), (long)(ms % 1000) * 1000000L};
    while (ms && nanosleep(&ts, &ts) != 0) {
    }
}

// One write per line, unbuffered: the stamps survive a program that is killed.
static void stamp(void) {
    static int file = -2;
    uint64_t monotonic = nanoseconds(CLOCK_MONOTONIC), real = nanoseconds(CLOCK_REALTIME);
    ++presents;
    if (file == -2) {
        const char* path = getenv("VYR_TEST_STAMPS");
        file = path ? open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600) : -1;
    }
    if (file < 0) return;
    char line[64];
    int length = snprintf(line, sizeof line, "%llu %llu\n", (unsigned long long)monotonic, (unsigned long long)real);
    if (write(file, line, (size_t)length) != length) {
        close(file);
        file = -1;
    }
}

void glXSwapBuffers(Display* display, GLXDrawable drawable) {
    static void (*real)(Display*, GLXDrawable);
    if (!real) real = (void (*)(Display*, GLXDrawable))dlsym(RTLD_NEXT, "glXSwapBuffers");
    stall();
    real(display, drawable);
    stamp();
}

static PFN_vkQueuePresentKHR realPresent;

static VKAPI_ATTR VkResult VKAPI_CALL stampedPresent(VkQueue queue, const VkPresentInfoKHR* info) {
    stall();
    VkResult result = realPresent(queue, info);
    stamp();
    return result;
}

VKAPI_ATTR PFN_vkVoidFunction VKAPI_CALL vkGetDeviceProcAddr(VkDevice device, const char* name) {
    static PFN_vkGetDeviceProcAddr real;
    if (!real) real = (PFN_vkGetDeviceProcAddr)dlsym(RTLD_NEXT, "vkGetDeviceProcAddr");
    PFN_vkVoidFunction found = real(device, name);
    if (strcmp(name, "vkGetDeviceProcAddr") == 0 && found) return (PFN_vkVoidFunction)vkGetDeviceProcAddr;
    if (strcmp(name, "vkQueuePresentKHR") == 0 && found) {
        realPresent = (PFN_vkQueuePresentKHR)found;
        return (PFN_vkVoidFunction)stampedPresent;
    }
    return found;
}

VKAPI_ATTR PFN_vkVoidFunction VKAPI_CALL vkGetInstanceProcAddr(VkInstance instance, const char* name) {
    static PFN_vkGetInstanceProcAddr real;
    if (!real) real = (PFN_vkGetInstanceProcAddr)dlsym(RTLD_NEXT, "vkGetInstanceProcAddr");
    PFN_vkVoidFunction found = real(instance, name);
    if (!found) return found;
    if (strcmp(name, "vkGetInstanceProcAddr") == 0) return (PFN_vkVoidFunction)vkGetInstanceProcAddr;
    if (strcmp(name, "vkGetDeviceProcAddr") == 0) return (PFN_vkVoidFunction)vkGetDeviceProcAddr;
    if (strcmp(name, "vkQueuePresentKHR") == 0) {
        realPresent = (PFN_vkQueuePresentKHR)found;
        return (PFN_vkVoidFunction)stampedPresent;
    }
    return found;
}

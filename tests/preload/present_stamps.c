// Stamps every present the driver carries out, for driver_faults.so, which
// calls stampBeforePresent and stampAfterPresent around each glXSwapBuffers or
// vkQueuePresentKHR it passes on (a present a fault skips is never stamped).
// When the present returns, a line "<monotonic ns> <real-time ns> <reading ns>"
// goes to the file named by VYR_TEST_STAMPS, so a test can work out the frame
// times on its own. <reading> is the presenting thread's next look at the
// monotonic clock (0 if none came before the next present): how late the
// program may have taken its own time of the present, were the scheduler to
// stop it in between, and so how far the test may trust the stamps against the
// program's figures.
//
// With VYR_TEST_STALL_MS=<step>, present number k first stalls for
// step x ((17 k) mod 41) ms: a slow driver whose frame times lie at least a step
// apart for 41 frames, so that one rank more or less changes a percentile.
//
// With VYR_TEST_CALL_STAMPS=<file>, the monotonic ns at which each present was
// called (after the stall) go there, one a line: with the stamps above, how
// long the driver held each frame inside its present.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

static uint64_t presents;
static int (*realClockGettime)(clockid_t, struct timespec*);

static uint64_t nanoseconds(clockid_t clock) {
    if (!realClockGettime) realClockGettime = (int (*)(clockid_t, struct timespec*))dlsym(RTLD_NEXT, "clock_gettime");
    struct timespec ts = {0, 0};
    realClockGettime(clock, &ts);
    return (uint64_t)ts.tv_sec * 1000000000ull + (uint64_t)ts.tv_nsec;
}

static void stall(void) {
    const char* step = getenv("VYR_TEST_STALL_MS");
    uint64_t ms = step ? strtoull(step, NULL, 10) * ((17 * presents) % 41) : 0;
    struct timespec ts = {(time_t)(ms / 1000), (long)(ms % 1000) * 1000000L};
    while (ms && nanosleep(&ts, &ts) != 0) {
    }
}

// The present waiting for its reading, on the presenting thread.
static __thread int awaitingReading;
static __thread uint64_t stampMonotonic, stampReal;

static int openNamedBy(const char* variable) {
    const char* path = getenv(variable);
    return path ? open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600) : -1;
}

// One write per line, unbuffered: the stamps survive a program that is killed.
static void writeLine(uint64_t reading) {
    static int file = -2;
    awaitingReading = 0;
    if (file == -2) file = openNamedBy("VYR_TEST_STAMPS");
    if (file < 0) return;
    char line[96];
    int length = snprintf(line, sizeof line, "%llu %llu %llu\n", (unsigned long long)stampMonotonic,
                          (unsigned long long)stampReal, (unsigned long long)reading);
    if (write(file, line, (size_t)length) != length) {
        close(file);
        file = -1;
    }
}

void stampAfterPresent(void) {
    uint64_t monotonic = nanoseconds(CLOCK_MONOTONIC), real = nanoseconds(CLOCK_REALTIME);
    if (awaitingReading) writeLine(0);
    ++presents;
    stampMonotonic = monotonic;
    stampReal = real;
    awaitingReading = 1;
}

int clock_gettime(clockid_t clock, struct timespec* ts) {
    if (!realClockGettime) realClockGettime = (int (*)(clockid_t, struct timespec*))dlsym(RTLD_NEXT, "clock_gettime");
    int result = realClockGettime(clock, ts);
    if (awaitingReading && clock == CLOCK_MONOTONIC && result == 0)
        writeLine((uint64_t)ts->tv_sec * 1000000000ull + (uint64_t)ts->tv_nsec);
    return result;
}

void stampBeforePresent(void) {
    static int file = -2;
    stall();
    if (file == -2) file = openNamedBy("VYR_TEST_CALL_STAMPS");
    char line[32];
    int length = snprintf(line, sizeof line, "%llu\n", (unsigned long long)nanoseconds(CLOCK_MONOTONIC));
    if (file >= 0 && write(file, line, (size_t)length) != length) file = -1;
}

// A program that ends straight after a present still leaves its stamp.
__attribute__((destructor)) static void flushLastStamp(void) {
    if (awaitingReading) writeLine(0);
}

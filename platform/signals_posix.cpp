// Pairs with platform/signals.h on Linux. The handler stores the signal's
// number in a sig_atomic_t and calls nothing but _exit, which is
// async-signal-safe.
#include "platform/signals.h"

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <initializer_list>

namespace vyr::platform {

namespace {

volatile sig_atomic_t received = 0;

extern "C" void onStopSignal(int number) {
    if (received != 0) _exit(128 + number);
    received = number;
}

const char* signalName(int number) {
    switch (number) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP";
    default: return "signal";
    }
}

}  // namespace

void catchStopRequests() {
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    // Interrupted reads of the X connection and the sound device go on as if nothing happened.
    action.sa_flags = SA_RESTART;
    for (int number : {SIGINT, SIGTERM, SIGHUP}) sigaction(number, &action, nullptr);
}

bool stopRequested(StopRequest& request) {
    int number = received;
    if (number == 0) return false;
    request.name = signalName(number);
    request.exitCode = 128 + number;
    return true;
}

void endProcessNow(int exitCode) {
    fflush(stderr);
    _exit(exitCode);
}

}  // namespace vyr::platform

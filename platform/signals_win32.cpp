// Pairs with platform/signals.h on Windows. Console control events arrive on
// a thread of their own; the handler stores the event and returns, except for
// closing the console, logoff and shutdown, after which the system ends the
// process as soon as the handler returns: there it waits for the main thread
// to finish the run (the system allows a few seconds).
#include "platform/signals.h"

#include <windows.h>

#include <atomic>
#include <cstdio>

namespace vyr::platform {

namespace {

// The event's number + 1; 0 while none came.
std::atomic<unsigned long> received{0};

struct EventCode {
    DWORD event;
    const char* name;
    int exitCode;  // as a POSIX shell reports the signal that stands for it
};

constexpr EventCode eventCodes[] = {
    {CTRL_C_EVENT, "CTRL_C_EVENT", 130},       {CTRL_BREAK_EVENT, "CTRL_BREAK_EVENT", 130},
    {CTRL_CLOSE_EVENT, "CTRL_CLOSE_EVENT", 129}, {CTRL_LOGOFF_EVENT, "CTRL_LOGOFF_EVENT", 129},
    {CTRL_SHUTDOWN_EVENT, "CTRL_SHUTDOWN_EVENT", 129},
};

const EventCode* codeOf(DWORD event) {
    for (const EventCode& code : eventCodes)
        if (code.event == event) return &code;
    return nullptr;
}

BOOL WINAPI onControlEvent(DWORD event) {
    const EventCode* code = codeOf(event);
    if (!code) return FALSE;
    unsigned long expected = 0;
    if (!received.compare_exchange_strong(expected, event + 1)) endProcessNow(code->exitCode);
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) return TRUE;
    // The process ends when this returns: let the main thread's shutdown run first.
    Sleep(INFINITE);
    return TRUE;
}

}  // namespace

void catchStopRequests() { SetConsoleCtrlHandler(onControlEvent, TRUE); }

bool stopRequested(StopRequest& request) {
    unsigned long value = received.load();
    if (value == 0) return false;
    const EventCode* code = codeOf(DWORD(value - 1));
    request.name = code->name;
    request.exitCode = code->exitCode;
    return true;
}

// TerminateProcess rather than ExitProcess: the latter runs every library's
// detach code, which may wait for the lock a stuck driver thread holds.
void endProcessNow(int exitCode) {
    fflush(stderr);
    TerminateProcess(GetCurrentProcess(), UINT(exitCode));
    for (;;) Sleep(INFINITE);
}

}  // namespace vyr::platform

// Requests from outside to stop the run, and ending the process at once:
// platform/signals_posix.cpp (SIGINT, SIGTERM, SIGHUP), platform/signals_win32.cpp
// (Ctrl+C, Ctrl+Break, closing the console, logoff, shutdown).
//
// The handler only records the request; the frame loop asks for it and ends
// the run the way Escape does. A second request, while that shutdown is under
// way or the program is stuck, ends the process at once with the same code.
#pragma once

namespace vyr::platform {

struct StopRequest {
    const char* name = nullptr;  // "SIGINT", "CTRL_C_EVENT", ...
    int exitCode = 0;            // the shell's convention: 128 + the signal's number
};

// Installs the handlers; before this the platform's defaults apply.
void catchStopRequests();
// Whether a request came; fills `request` with the first one.
bool stopRequested(StopRequest& request);
// Ends the process now, without running anything more of the program: for a
// thread that cannot wait for the main thread (which may be stuck in a driver).
[[noreturn]] void endProcessNow(int exitCode);

}  // namespace vyr::platform

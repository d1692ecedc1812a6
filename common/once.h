// One-time initialisation: InitOnceExecuteOnce on Windows (once_win32.cpp),
// pthread_once on Linux (once_posix.cpp).
#pragma once

namespace vyr {

// Zero-initialised storage for the platform's once control.
struct OnceFlag {
    alignas(void*) unsigned char storage[sizeof(void*) * 2];
};

// Runs create exactly once per flag; concurrent callers wait for it. On failure
// writes "InitOnceExecuteOnce failed (code %d)" and ends the process with status 1.
void runOnce(OnceFlag& flag, void (*create)());

}  // namespace vyr

#include "common/once.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace vyr {

static_assert(sizeof(INIT_ONCE) <= sizeof(OnceFlag::storage), "INIT_ONCE must fit the flag");

namespace {

BOOL CALLBACK runCreator(PINIT_ONCE, PVOID parameter, PVOID*) {
    reinterpret_cast<void (*)()>(parameter)();
    return TRUE;
}

}  // namespace

void runOnce(OnceFlag& flag, void (*create)()) {
    // A zeroed INIT_ONCE is INIT_ONCE_STATIC_INIT.
    if (!InitOnceExecuteOnce(reinterpret_cast<PINIT_ONCE>(flag.storage), runCreator,
                             reinterpret_cast<PVOID>(create), nullptr)) {
        fprintf(stderr, "InitOnceExecuteOnce failed (code %d)\n", int(GetLastError()));
        exit(1);
    }
}

}  // namespace vyr

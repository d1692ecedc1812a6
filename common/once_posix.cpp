#include "common/once.h"

#include <pthread.h>

#include <cstdio>
#include <cstdlib>

namespace vyr {

static_assert(sizeof(pthread_once_t) <= sizeof(OnceFlag::storage), "pthread_once_t must fit the flag");

void runOnce(OnceFlag& flag, void (*create)()) {
    // glibc's PTHREAD_ONCE_INIT is all zero bytes, which is what a static OnceFlag holds.
    int rc = pthread_once(reinterpret_cast<pthread_once_t*>(flag.storage), create);
    if (rc != 0) {
        fprintf(stderr, "InitOnceExecuteOnce failed (code %d)\n", rc);
        exit(1);
    }
}

}  // namespace vyr

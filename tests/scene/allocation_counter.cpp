#include "allocation_counter.h"

#include <atomic>
#include <cstdlib>
#include <new>


namespace {
std::atomic<long> live{0};
}

void* operator new(std::size_t size) {
    void* p = std::malloc(size ? size : 1);
    if (!p) std::abort();  // a test has no use for running out of memory
    ++live;
    return p;
}

void operator delete(void* p) noexcept {
    if (!p) return;
    --live;
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept { operator delete(p); }

namespace vyr::test {

long liveAllocations() { return live.load(); }

}  // namespace vyr::test

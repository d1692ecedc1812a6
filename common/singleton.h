// The process-wide instance of T, created on first use and never destroyed.
#pragma once

#include "common/once.h"

namespace vyr {

template <class T>
class Singleton {
public:
    static T& instance() {
        runOnce(flag, &create);
        return *object;
    }

private:
    static void create() { object = new T; }
    static inline OnceFlag flag{};
    static inline T* object = nullptr;
};

}  // namespace vyr

#include "common/paths.h"

#include <cstdarg>
#include <cstring>

#include "common/strings.h"

namespace vyr {

namespace {
constexpr size_t kMaxPath = 258;
}

char* joinPath(const char* first, ...) {
    char buffer[kMaxPath + 1];
    size_t length = 0;
    va_list args;
    va_start(args, first);
    for (const char* component = first; component; component = va_arg(args, const char*)) {
        size_t n = strlen(component);
        if (n == 0) continue;
        if (length + n > kMaxPath) {
            va_end(args);
            return nullptr;
        }
        memcpy(buffer + length, component, n);
        length += n;
        if (!isPathSeparator(component[n - 1])) {
            if (length + 1 > kMaxPath) {
                va_end(args);
                return nullptr;
            }
            buffer[length++] = kPathSeparator;
        }
    }
    va_end(args);
    // Drops the separator just added, or the last component's own.
    if (length > 0) --length;
    buffer[length] = '\0';
    return copyText(buffer);
}

}  // namespace vyr

// Pairs with platform/files.h on Linux: rename replaces atomically.
#include "platform/files.h"

#include <cstdio>

namespace vyr::platform {

bool replaceFile(const char* from, const char* to) { return std::rename(from, to) == 0; }

}  // namespace vyr::platform

// Counts the program's live heap blocks made through operator new, so a test
// can tell that a container destroyed what it replaced.
#pragma once

#include <cstddef>

namespace vyr::test {

long liveAllocations();

}  // namespace vyr::test

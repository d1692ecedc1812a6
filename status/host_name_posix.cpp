#include "status/host_name.h"

#include <unistd.h>

namespace vyr::test {

bool hostName(char* buffer, size_t size) {
    if (gethostname(buffer, size) != 0) return false;
    buffer[size - 1] = '\0';
    return true;
}

}  // namespace vyr::test

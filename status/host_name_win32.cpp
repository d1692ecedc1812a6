#include "status/host_name.h"

#include <winsock2.h>

namespace vyr::test {

bool hostName(char* buffer, size_t size) {
    if (gethostname(buffer, int(size)) != 0) return false;
    buffer[size - 1] = '\0';
    return true;
}

}  // namespace vyr::test

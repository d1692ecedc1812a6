// The computer's host name as the port file's name carries it: host_name_posix.cpp, host_name_win32.cpp.
#pragma once

#include <cstddef>

namespace vyr::test {

bool hostName(char* buffer, size_t size);

}  // namespace vyr::test

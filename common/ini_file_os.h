// The platform side of ini_file.cpp: ini_file_posix.cpp, ini_file_win32.cpp.
#pragma once

#include <cstdio>

namespace vyr::os {

// The file opened for reading in text mode, or null when it cannot be opened or is
// not a regular file: a FIFO or a device would block or never end.
FILE* openRegularFile(const char* name);

}  // namespace vyr::os

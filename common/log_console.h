// Where log lines go without a log file: the console's error stream, or nowhere.
// log_console_posix.cpp, log_console_win32.cpp.
#pragma once

#include <cstdio>

namespace vyr {

// The console stream when stderr is attached to a terminal or console, else null.
FILE* openConsoleLogStream();

}  // namespace vyr

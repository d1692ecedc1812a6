// Console text and fatal messages: platform/console_posix.cpp, platform/console_win32.cpp.
#pragma once

namespace vyr::platform {

// Windows: keep an inherited file or pipe as stdout, else attach to the parent's
// console and reopen stdout on it in binary mode. Linux: stdout is used as it is.
void attachConsole();
// A fatal start-up message: a message box on Windows, a line on stderr on Linux.
void showFatalMessage(const char* text);
// String table entries (101 class name, 103 title); returns the length copied.
int loadString(unsigned id, char* buffer, int bufferSize);

}  // namespace vyr::platform

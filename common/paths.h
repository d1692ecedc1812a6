// Install and user directories, and path assembly with the platform's separator.
// Platform lookups: paths_posix.cpp, paths_win32.cpp; joinPath: paths.cpp.
#pragma once

#include <cstddef>

namespace vyr {

// The installation directory, ending in the separator, written into buffer.
void installDirectory(char* buffer, size_t size);
// The user's home directory (not to be released).
const char* homeDirectory();
// The per-user data directory without a trailing separator; release with free.
char* userDataDirectory();
// The components up to the first null, joined with the separator; empty ones are
// skipped and a component's own trailing separator is not doubled. Release with
// free; null when the result would exceed 258 characters.
char* joinPath(const char* first, ...);

// Platform parts of the above.
extern const char kPathSeparator;
bool isPathSeparator(char c);
bool fileExists(const char* path);

}  // namespace vyr

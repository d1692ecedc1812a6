// Replacing a file whole: platform/files_posix.cpp, platform/files_win32.cpp.
#pragma once

namespace vyr::platform {

// Moves `from` over `to` in one step, replacing what `to` held; false when it
// cannot (then `from` is still there).
bool replaceFile(const char* from, const char* to);

}  // namespace vyr::platform

// Writing a file whole, safely in a shared folder: platform/files_posix.cpp,
// platform/files_win32.cpp.
//
// The temporary file is created exclusively under an unpredictable name in the
// target's folder, so a link planted there is never followed and never
// written through; it reaches the disk before it is renamed over the target,
// and the rename reaches the disk before the call returns. A reader therefore
// finds the old file or the new one, whole, even after a power loss.
#pragma once

#include <string>

namespace vyr::platform {

// Replaces `path` by a file holding `contents`. A link at `path` is replaced,
// its target left alone. False with the reason; then nothing is left behind.
bool writeFileWhole(const char* path, const std::string& contents, std::string& why);

// Whether a file can be created beside `path` (in its folder) the way
// writeFileWhole creates its temporary; leaves nothing behind. False with the reason.
bool canCreateBeside(const char* path, std::string& why);

}  // namespace vyr::platform

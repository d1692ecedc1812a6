// Pairs with platform/files.h on Windows, where rename refuses an existing target.
#include "platform/files.h"

#include <windows.h>

namespace vyr::platform {

bool replaceFile(const char* from, const char* to) {
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

}  // namespace vyr::platform

#include "common/log_console.h"

#include <io.h>

namespace vyr {

// A GUI program's stderr is not the console even when one is attached, so reopen it there.
FILE* openConsoleLogStream() {
    if (!_isatty(_fileno(stderr))) return nullptr;
    FILE* stream = nullptr;
    if (freopen_s(&stream, "CONOUT$", "wb", stderr) != 0) return nullptr;
    return stream;
}

}  // namespace vyr

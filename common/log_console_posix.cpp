#include "common/log_console.h"

#include <unistd.h>

namespace vyr {

FILE* openConsoleLogStream() { return isatty(fileno(stderr)) ? stderr : nullptr; }

}  // namespace vyr

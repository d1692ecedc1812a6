// The process-wide logger: lazily set up from the settings (section Logging).
#pragma once

#include <cstdint>

namespace vyr {

enum class LogLevel : int32_t { Error = 1, Warning = 2, Info = 3, Debug = 4 };

// Writes "<letter> <secs>.<ms> <pid>:<tid> <component> (<function>): <message>"
// when level is at most the configured one; echo also prints "<levelWord>: <message>"
// on stderr whatever the level. A null format is ignored before any set-up.
void logMessage(const char* component, LogLevel level, const char* levelWord, const char* function,
                bool echo, const char* format, ...);

}  // namespace vyr

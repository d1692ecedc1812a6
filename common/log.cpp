#include "common/log.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/log_console.h"
#include "common/settings.h"
#include "common/strings.h"
#include "platform/clock.h"

namespace vyr {

namespace {

struct LogState {
    LogLevel level;
    char* path;
    FILE* stream;
};

LogState* logState = nullptr;

LogLevel configuredLevel() {
    const conf::Settings& settings = conf::Settings::instance();
    if (settings.verbose) return LogLevel::Debug;
    static const char* const words[] = {"error", "warning", "info", "debug"};
    if (settings.logLevel) {
        for (int i = 0; i < 4; ++i) {
            if (equalsIgnoreCase(settings.logLevel, words[i])) return LogLevel(i + 1);
        }
    }
    return LogLevel::Warning;
}

bool createLogState() {
    logState = static_cast<LogState*>(calloc(1, sizeof(LogState)));
    if (!logState) return false;
    logState->level = configuredLevel();
    const conf::Settings& settings = conf::Settings::instance();
    if (settings.logFile && settings.logFile[0]) {
        size_t size = strlen(settings.logFile) + 24;
        logState->path = static_cast<char*>(malloc(size));
        if (logState->path) snprintf(logState->path, size, "%s.%d.txt", settings.logFile, platform::currentProcessId());
    }
    return true;
}

bool openLog() {
    if (!createLogState()) return false;
    if (logState->path) {
        logState->stream = fopen(logState->path, "a");
        if (logState->stream) {
            setbuf(logState->stream, nullptr);
            return true;
        }
    }
    logState->stream = openConsoleLogStream();
    return true;
}

}  // namespace

void logMessage(const char* component, LogLevel level, const char* levelWord, const char* function,
                bool echo, const char* format, ...) {
    if (!format) return;
    if (!logState && !openLog()) return;
    if (echo) {
        fprintf(stderr, "%s: ", levelWord);
        va_list args;
        va_start(args, format);
        vfprintf(stderr, format, args);
        va_end(args);
        fputs("\n", stderr);
    }
    if (level > logState->level) return;

    unsigned long long seconds = 0, milliseconds = 0;
    uint64_t frequency = platform::performanceFrequency();
    if (frequency) {
        uint64_t counter = platform::performanceCounter();
        // Split so that a nanosecond counter does not overflow counter * 1000.
        uint64_t m = counter / frequency * 1000 + counter % frequency * 1000 / frequency;
        seconds = m / 1000;
        milliseconds = m - 1000 * seconds;
    }
    int processId = platform::currentProcessId();
    int threadId = platform::currentThreadId();
    if (!logState->stream) return;
    fprintf(logState->stream, "%c %llu.%03llu %d:%d %s (%s): ", levelWord ? levelWord[0] : '?', seconds,
            milliseconds, processId, threadId, component, function);
    va_list args;
    va_start(args, format);
    vfprintf(logState->stream, format, args);
    va_end(args);
    fputs("\n", logState->stream);
}

}  // namespace vyr

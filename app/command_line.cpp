#include "app/command_line.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace vyr::test {

namespace {

bool isSeparator(char c) { return c == '\t' || c == '\n' || c == '\r' || c == ' '; }

// "%u" as the standard formatted input reads it: the option keeps its value
// when the text is not a number, but the argument is consumed all the same.
bool readUnsigned(const char* text, unsigned& value) { return sscanf(text, "%u", &value) == 1; }

// A positive number of seconds, as a whole run of digits with an optional
// fraction; anything else (a sign, a unit, trailing text) is refused.
bool readSeconds(const char* text, double& seconds) {
    if (!text || !isdigit(static_cast<unsigned char>(text[0]))) return false;
    char* end = nullptr;
    seconds = strtod(text, &end);
    return *end == '\0' && seconds >= 0.0 && seconds <= 1e9;
}

bool readDuration(const char* text, uint64_t& milliseconds) {
    double seconds = 0.0;
    if (!readSeconds(text, seconds) || !(seconds > 0.0)) return false;
    milliseconds = uint64_t(seconds * 1000.0 + 0.5);
    return milliseconds > 0;
}

// A value option whose value must be there and be a file name.
bool readFileName(int count, char** arguments, int& i, const char*& path) {
    if (i + 1 >= count || !arguments[i + 1][0]) return false;
    path = arguments[++i];
    return true;
}

}  // namespace

StartupOptions& startupOptions() {
    static StartupOptions options;
    return options;
}

char** splitCommandLine(const char* commandLine, int& count) {
    count = 0;
    size_t length = commandLine ? strlen(commandLine) : 0;
    size_t pointerSlots = (length + 2) / 2 + 1;
    char** vector = static_cast<char**>(malloc(pointerSlots * sizeof(char*) + length + 2));
    if (!vector) return nullptr;
    char* area = reinterpret_cast<char*>(vector + pointerSlots);
    char* out = area;

    bool inQuotes = false, inArgument = false, atStart = true;
    for (const char* p = commandLine ? commandLine : ""; *p; ++p) {
        char c = *p;
        if (inQuotes) {
            if (c == '"')
                inQuotes = false;
            else
                *out++ = c;
        } else if (isSeparator(c)) {
            if (inArgument) *out++ = '\0';
            atStart = true;
            inArgument = false;
        } else if (c == '"') {
            inQuotes = inArgument = true;
            if (atStart) vector[count++] = out;
            atStart = false;
        } else {
            inArgument = true;
            if (atStart) vector[count++] = out;
            *out++ = c;
            atStart = false;
        }
    }
    *out = '\0';
    vector[count] = nullptr;
    return vector;
}

OptionsOutcome interpretOptions(int count, char** arguments, StartupOptions& options) {
    if (count >= 20 || !arguments) return OptionsOutcome::Run;
    for (int i = 0; i < count; ++i) {
        const char* word = arguments[i];
        if (word[0] != '-') continue;
        if (strcmp(word, "-fl") == 0 || strcmp(word, "-ms") == 0) {
            if (i + 1 >= count) continue;  // a value option as the last argument is ignored
            unsigned value = 0;
            if (readUnsigned(arguments[++i], value)) {
                if (word[1] == 'f')
                    options.frameLimit = value;
                else
                    options.multisampleCount = value;
            }
        } else if (strcmp(word, "-directx9") == 0) {
            options.backend = Backend::Direct3D9;
        } else if (strcmp(word, "-vulkan") == 0) {
            options.backend = Backend::Vulkan;
        } else if (strcmp(word, "-paused") == 0) {
            options.startPaused = true;
        } else if (strcmp(word, "-stereo") == 0) {
            options.stereo = true;
        } else if (strcmp(word, "-gdicursor") == 0) {
            options.gdiCursor = true;
        } else if (strcmp(word, "-benchmark") == 0) {
            options.benchmark = true;
        } else if (strcmp(word, "-fullscreen") == 0) {
            options.fullscreen = true;
        } else if (strcmp(word, "-all") == 0) {
            options.allBackends = true;
        } else if (strcmp(word, "-wayland") == 0) {
            options.wayland = true;
        } else if (strcmp(word, "-nosound") == 0) {
            options.soundMuted = true;
        } else if (strcmp(word, "-duration") == 0) {
            if (i + 1 >= count || !readDuration(arguments[++i], options.durationMs)) {
                fputs("vyrtest: -duration needs a positive number of seconds\n", stderr);
                return OptionsOutcome::Invalid;
            }
        } else if (strcmp(word, "-report") == 0) {
            const char* path = nullptr;
            if (!readFileName(count, arguments, i, path)) {
                fputs("vyrtest: -report needs the name of the results file\n", stderr);
                return OptionsOutcome::Invalid;
            }
            if (!options.reportPath) options.reportPath = path;
            options.reportPaths.push_back(path);
        } else if (strcmp(word, "-scenetime") == 0) {
            // The scene's time is a float: beyond a day its fraction is gone.
            if (i + 1 >= count || !readSeconds(arguments[++i], options.sceneTimeSeconds) ||
                options.sceneTimeSeconds > 86400.0) {
                fputs("vyrtest: -scenetime needs a number of seconds from 0 to 86400\n", stderr);
                return OptionsOutcome::Invalid;
            }
        } else if (strcmp(word, "-check") == 0) {
            options.checkPicture = true;
        } else if (strcmp(word, "-screenshot") == 0) {
            if (!readFileName(count, arguments, i, options.screenshotPath)) {
                fputs("vyrtest: -screenshot needs the name of a PNG file\n", stderr);
                return OptionsOutcome::Invalid;
            }
        } else if (strcmp(word, "-h") == 0) {
            printHelp();
            return OptionsOutcome::HelpShown;
        }
    }
    return OptionsOutcome::Run;
}

void printBanner() {
    printf("TARSEL VYR %s - Test Application (%s bit version)\n\n", VYR_VERSION, VYR_POINTER_BITS);
}

void printHelp() {
    printf("Options:\n");
    printf("-h\t\tPrints this help.\n");
    printf("-fl <num>\tLimits the number of frames in a second (no limit by default).\n");
    printf("-benchmark\tForce the maximum number of fps (no benchmark by default).\n");
    printf("-fullscreen\tRun the test in fullscreen mode (no fullscreen by default).\n");
    printf("-nosound\tDo not play soundtrack.\n");
    printf("-directx9\tUse DirectX 9 instead of OpenGL.\n");
    printf("\n");
}

}  // namespace vyr::test

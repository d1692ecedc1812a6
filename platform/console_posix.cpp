// Pairs with platform/console.h on Linux: stdout and stderr as inherited.
#include "platform/console.h"

#include <cstdio>
#include <cstring>

namespace vyr::platform {

// Line-buffered even into a file or pipe, so that a report captured together
// with stderr (2>&1) keeps its lines whole and in order.
void attachConsole() { setvbuf(stdout, nullptr, _IOLBF, BUFSIZ); }

void showFatalMessage(const char* text) {
    fputs(text, stderr);
    fputs("\n", stderr);
    fflush(stderr);
}

int loadString(unsigned id, char* buffer, int bufferSize) {
    // The same entries as string table of app/vyrtest.rc.in.
    const char* text = nullptr;
    switch (id) {
    case 101: text = "VYRTEST"; break;
    case 103: text = "TARSEL VYR - Test Application"; break;
    default: break;
    }
    if (!text || bufferSize <= 0) {
        if (bufferSize > 0) buffer[0] = '\0';
        return 0;
    }
    snprintf(buffer, size_t(bufferSize), "%s", text);
    return int(strlen(buffer));
}

}  // namespace vyr::platform

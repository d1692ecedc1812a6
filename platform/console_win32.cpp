// Pairs with platform/console.h on Windows: a GUI program borrows its parent's console.
#include "platform/console.h"
#include "platform/process.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

namespace vyr::platform {

void attachConsole() {
    // An inherited file or pipe stays, so `vyrtest.exe > report.txt` captures the report.
    DWORD type = GetFileType(GetStdHandle(STD_OUTPUT_HANDLE));
    if (type == FILE_TYPE_DISK || type == FILE_TYPE_PIPE) {
        _setmode(_fileno(stdout), _O_BINARY);
    } else {
        AttachConsole(ATTACH_PARENT_PROCESS);
        freopen("CONOUT$", "wb", stdout);
    }
    // The C runtime buffers line-buffered streams fully; reports must appear at once.
    setvbuf(stdout, nullptr, _IONBF, 0);
}

void showFatalMessage(const char* text) {
    // A run of -all has no one to press OK: its parent reports the message.
    if (GetEnvironmentVariableA(unattendedVariable, nullptr, 0) != 0) {
        fprintf(stderr, "%s\n", text);
        return;
    }
    MessageBoxA(nullptr, text, nullptr, 0);
}

int loadString(unsigned id, char* buffer, int bufferSize) {
    return LoadStringA(GetModuleHandleA(nullptr), id, buffer, bufferSize);
}

}  // namespace vyr::platform

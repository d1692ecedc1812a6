// Runs one piece of the common library in a process of its own, for the tests
// that depend on process-wide state (the logger, the running program's path).
//   common_child install-directory | ini PATH (prints the error code)
//   common_child log [null | LEVEL WORD ECHO MESSAGE]...   prints the process id
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/ini_file.h"
#include "common/log.h"
#include "common/paths.h"
#include "platform/clock.h"

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    if (strcmp(argv[1], "install-directory") == 0) {
        char buffer[1024];
        vyr::installDirectory(buffer, sizeof buffer);
        fputs(buffer, stdout);
        return 0;
    }
    if (strcmp(argv[1], "ini") == 0 && argc == 3) {
        vyr::IniFile ini(argv[2]);
        printf("code %u", ini.lastError() ? ini.lastError()->code : 0u);
        return 0;
    }
    if (strcmp(argv[1], "log") == 0) {
        printf("%d\n", vyr::platform::currentProcessId());
        fflush(stdout);
        for (int i = 2; i < argc;) {
            if (strcmp(argv[i], "null") == 0) {
                vyr::logMessage("VYR", vyr::LogLevel::Error, "ERROR", "vyr::test::child", true, nullptr);
                ++i;
                continue;
            }
            if (i + 4 > argc) return 2;
            vyr::logMessage("VYR", vyr::LogLevel(atoi(argv[i])), argv[i + 1], "vyr::test::child",
                            atoi(argv[i + 2]) != 0, "%s", argv[i + 3]);
            i += 4;
        }
        return 0;
    }
    return 2;
}

// Windows entry point: a GUI program that splits its own command line.
#include <windows.h>

#include "app/application.h"
#include "app/command_line.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int showState) {
    return vyr::test::runApplication(
        [&](int& count) { return vyr::test::splitCommandLine(commandLine, count); }, showState);
}

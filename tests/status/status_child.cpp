// Runs the probe once in a process of its own (the logger is set up once per
// process) and prints its answer.
#include <cstdio>

#include "status/desktop_capture_probe.h"

int main() {
    printf("%d\n", vyr::test::isUsingDesktopCapture() ? 1 : 0);
    return 0;
}

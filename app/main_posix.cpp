// Linux entry point: argv (without the program name) is the argument vector.
#include "app/application.h"

int main(int argc, char** argv) {
    return vyr::test::runApplication(
        [&](int& count) {
            count = argc - 1;
            return argv + 1;
        },
        1 /* shown normally */);
}

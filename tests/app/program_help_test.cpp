// The real program: the banner and the help, byte for byte.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace {

std::string run(const std::string& arguments, int& exitCode) {
    // No display: -h must end before any window is made.
    std::string command = "env -u DISPLAY " + std::string(VYRTEST_PROGRAM) + " " + arguments + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    std::string out;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    int status = pclose(pipe);
    exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return out;
}

const std::string expectedHelp = std::string("TARSEL VYR ") + VYR_VERSION +
                                 " - Test Application (" + VYR_POINTER_BITS + " bit version)\n\n" +
                                 "Options:\n"
                                 "-h\t\tPrints this help.\n"
                                 "-fl <num>\tLimits the number of frames in a second (no limit by default).\n"
                                 "-benchmark\tForce the maximum number of fps (no benchmark by default).\n"
                                 "-fullscreen\tRun the test in fullscreen mode (no fullscreen by default).\n"
                                 "-nosound\tDo not play soundtrack.\n"
                                 "-directx9\tUse DirectX 9 instead of OpenGL.\n"
                                 "\n";

}  // namespace

TEST(Program, HelpIsByteExact) {
    int code = -1;
    EXPECT_EQ(run("-h", code), expectedHelp);
    EXPECT_EQ(code, 0);
}

TEST(Program, UnknownOptionsAreIgnored) {
    int code = -1;
    EXPECT_EQ(run("-x --weird plain -fl 30 -h -nosuch", code), expectedHelp);
    EXPECT_EQ(code, 0);
}

// The real program's console output: the help byte for byte, and on a test display with
// Mesa's software renderer the driver report.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "window/x_test_server.h"

namespace vyr::testing {
namespace {

const std::string expectedHelp = std::string("TARSEL VYR ") + VYR_VERSION + " - Test Application (" +
                                 VYR_POINTER_BITS + " bit version)\n\n" +
                                 "Options:\n"
                                 "-h\t\tPrints this help.\n"
                                 "-fl <num>\tLimits the number of frames in a second (no limit by default).\n"
                                 "-benchmark\tForce the maximum number of fps (no benchmark by default).\n"
                                 "-fullscreen\tRun the test in fullscreen mode (no fullscreen by default).\n"
                                 "-nosound\tDo not play soundtrack.\n"
                                 "-directx9\tUse DirectX 9 instead of OpenGL.\n"
                                 "\n";

// No display: -h must end before any window is made; unknown options are ignored.
TEST(ProgramHelp, IsByteExact) {
    for (std::vector<std::string> argv : {std::vector<std::string>{VYRTEST_PROGRAM, "-h"},
                                          {VYRTEST_PROGRAM, "-x", "--weird", "plain", "-fl", "30", "-h", "-nosuch"}}) {
        ChildResult r = runChild(argv, {{"DISPLAY", nullptr}});
        EXPECT_EQ(r.out, expectedHelp);
        EXPECT_EQ(r.exitCode, 0);
    }
}

class ProgramReport : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(server.start()); }
    static void TearDownTestSuite() { server.stop(); }
    // Runs the program until its report is complete and returns what it printed.
    static std::string run(std::vector<std::string> arguments, std::vector<EnvChange> env = {}) {
        arguments.insert(arguments.begin(), {VYRTEST_PROGRAM, "-nosound"});
        env.push_back({"LIBGL_ALWAYS_SOFTWARE", "1"});
        Child program(arguments, env);
        EXPECT_TRUE(program.waitForOutput("\nVYR OFF\n\n")) << program.out();
        program.stop();
        return program.out();
    }
    static inline XTestServer server;
};

// Each line of the report: the text, or up to a * its start and after it a part it holds.
bool matches(const std::string& line, const std::string& pattern) {
    size_t star = pattern.find('*');
    if (star == std::string::npos) return line == pattern;
    return line.rfind(pattern.substr(0, star), 0) == 0 && line.find(pattern.substr(star + 1), star) != std::string::npos;
}

// llvmpipe offers 4 samples at most; every request above that, however large,
// is searched down to it (a huge request once hung the search).
TEST_F(ProgramReport, MultisamplingAndTheDriverReport) {
    const std::string on = " - Valid MSAA samples: 4 (MSAA is ON)";
    const std::pair<std::vector<std::string>, std::string> rows[] = {
        {{"-ms", "0"}, " - MSAA is OFF"}, {{}, on}, {{"-ms", "8"}, on}, {{"-ms", "2147483648"}, on}, {{"-ms", "-1"}, on}};
    for (const auto& [arguments, multisampling] : rows) {
        std::vector<std::string> expected = {multisampling, "The GL_NVX_gpu_memory_info extension is not present.", "",
                                             "OpenGL Info:", " - GL_VENDOR: *", " - GL_RENDERER: *llvmpipe",
                                             " - GL_VERSION: *", " - GL_EXTENSIONS: * GL_ARB_vertex_buffer_object ", "",
                                             "GLX Info:", " - GLX_EXTENSIONS: *GLX_ARB_multisample", "", "VYR OFF", ""};
        std::istringstream out(run(arguments));
        std::vector<std::string> lines;
        for (std::string line; std::getline(out, line);) lines.push_back(line);
        auto first = std::find(lines.begin(), lines.end(), multisampling);
        ASSERT_NE(first, lines.end()) << multisampling;
        ASSERT_GE(size_t(lines.end() - first), expected.size());
        for (size_t i = 0; i < expected.size(); ++i) EXPECT_TRUE(matches(first[i], expected[i])) << first[i];
    }
}

// The registry and the logger come into being at the first log message, which
// only a socket failure writes: a plain run leaves no log file behind.
TEST_F(ProgramReport, PlainRunWritesNoLogFile) {
    TempDir folder;
    run({"-ms", "0"}, {{"VYR_LOG_FILE", (folder / "vyrtest.log").c_str()}});
    EXPECT_TRUE(std::filesystem::is_empty(folder.path()));
}

// Paused, the loop only polls: the frames are the pause frame and those the
// window's own events ask for, however long the run.
TEST_F(ProgramReport, PausedDrawsNoFramesByItself) {
    TempDir folder;
    Child program({VYRTEST_PROGRAM, "-nosound", "-paused", "-duration", "3", "-report", folder / "run.json"},
                  {{"LIBGL_ALWAYS_SOFTWARE", "1"}});
    ASSERT_EQ(program.wait(120000), 0);
    std::string json = readWholeFile(folder / "run.json");
    size_t at = json.find("\"count\": ");
    ASSERT_NE(at, std::string::npos) << json;
    EXPECT_LE(std::stoi(json.substr(at + 9)), 6) << json;
}

}  // namespace
}  // namespace vyr::testing

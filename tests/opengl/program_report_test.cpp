// The real program on Xvfb with Mesa's software renderer: the console report.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "window/x_test_server.h"

namespace {

class ProgramReport : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        server = new vyr::testing::XTestServer();
        ASSERT_TRUE(server->start({"-screen", "0", "1280x1024x24", "+extension", "GLX"}));
        setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
    }
    static void TearDownTestSuite() {
        delete server;
        server = nullptr;
    }

    // Runs the program for a few seconds and returns what it printed.
    static std::vector<std::string> run(const std::string& arguments, const std::string& environment = "") {
        std::string command =
            "env " + environment + " timeout -s TERM 6 " VYRTEST_PROGRAM " -nosound " + arguments + " 2>/dev/null";
        std::vector<std::string> lines;
        FILE* pipe = popen(command.c_str(), "r");
        if (!pipe) return lines;
        std::string text;
        char buffer[4096];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, n);
        pclose(pipe);
        std::istringstream in(text);
        std::string line;
        while (std::getline(in, line)) lines.push_back(line);
        return lines;
    }

    static size_t indexOf(const std::vector<std::string>& lines, const std::string& prefix, size_t from = 0) {
        for (size_t i = from; i < lines.size(); i++)
            if (lines[i].compare(0, prefix.size(), prefix) == 0) return i;
        return std::string::npos;
    }

    static vyr::testing::XTestServer* server;
};

vyr::testing::XTestServer* ProgramReport::server = nullptr;

// The report from the memory line on, which is the same for every -ms value.
void expectReport(const std::vector<std::string>& lines, size_t msaaLine) {
    ASSERT_LT(msaaLine + 14, lines.size());
    size_t i = msaaLine + 1;
    EXPECT_EQ(lines[i++], "The GL_NVX_gpu_memory_info extension is not present.");
    EXPECT_EQ(lines[i++], "");
    EXPECT_EQ(lines[i++], "OpenGL Info:");
    EXPECT_EQ(lines[i++].rfind(" - GL_VENDOR: ", 0), 0u);
    EXPECT_EQ(lines[i].rfind(" - GL_RENDERER: ", 0), 0u);
    EXPECT_NE(lines[i++].find("llvmpipe"), std::string::npos);
    EXPECT_EQ(lines[i++].rfind(" - GL_VERSION: ", 0), 0u);
    EXPECT_EQ(lines[i].rfind(" - GL_EXTENSIONS: ", 0), 0u);
    EXPECT_NE(lines[i++].find(" GL_ARB_vertex_buffer_object "), std::string::npos);
    EXPECT_EQ(lines[i++], "");
    EXPECT_EQ(lines[i++], "GLX Info:");
    EXPECT_EQ(lines[i].rfind(" - GLX_EXTENSIONS: ", 0), 0u);
    EXPECT_NE(lines[i++].find("GLX_ARB_multisample"), std::string::npos);
    EXPECT_EQ(lines[i++], "");
    EXPECT_EQ(lines[i++], "VYR OFF");
    EXPECT_EQ(lines[i++], "");
}

TEST_F(ProgramReport, MultisamplingOff) {
    auto lines = run("-ms 0");
    size_t msaa = indexOf(lines, " - MSAA is OFF");
    ASSERT_NE(msaa, std::string::npos);
    expectReport(lines, msaa);
}

// llvmpipe offers 4 samples at most; every request above that, however large,
// is searched down to it (a huge request once hung the search).
TEST_F(ProgramReport, MultisampleRequestsFallBackToWhatTheDriverHas) {
    for (const char* request : {"", "-ms 8", "-ms 2147483648", "-ms -1"}) {
        SCOPED_TRACE(request);
        auto lines = run(request);
        size_t msaa = indexOf(lines, " - Valid MSAA samples: 4 (MSAA is ON)");
        ASSERT_NE(msaa, std::string::npos);
        expectReport(lines, msaa);
    }
}

// The registry and the logger come into being at the first log message, which
// only a socket failure writes: a plain run leaves no log file behind.
TEST_F(ProgramReport, PlainRunWritesNoLogFile) {
    char folder[] = "/tmp/vyr-log-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    auto lines = run("-ms 0", std::string("VYR_LOG_FILE=") + folder + "/vyrtest.log");
    EXPECT_NE(indexOf(lines, "VYR OFF"), std::string::npos);
    std::string listing = "ls -A " + std::string(folder);
    FILE* ls = popen(listing.c_str(), "r");
    char name[256] = "";
    bool any = ls && fgets(name, sizeof name, ls) != nullptr;
    if (ls) pclose(ls);
    EXPECT_FALSE(any) << name;
    system(("rm -rf " + std::string(folder)).c_str());
}

}  // namespace

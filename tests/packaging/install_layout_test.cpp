// `cmake --install` of the build into a fresh prefix: the program, its
// soundtrack and the example configuration, where the program looks for them.
#include <gtest/gtest.h>

#include <unistd.h>

#include <sstream>

#include "common/child_process.h"
#include "common/ini_file.h"

namespace vyr::testing {
namespace {

// As shipped every setting of the example is commented out; with the comment
// marks taken off the settings lines it is a valid file with the six Logging keys.
TEST(InstallLayout, HoldsTheProgramTheSoundtrackAndTheExample) {
    TempDir prefix;
    std::string build = getenv("VYR_BUILD_DIR");
    ASSERT_EQ(runChild({CMAKE_COMMAND_PATH, "--install", build, "--prefix", prefix.path()}).exitCode, 0);
    EXPECT_EQ(access((prefix / "bin/vyrtest").c_str(), X_OK), 0);
    // The built soundtrack itself: Soundtrack.IsALoopingMonoWav.
    EXPECT_TRUE(readWholeFile(prefix / "share/vyr/sounds/soundtrack.wav") ==
                readWholeFile(build + "/share/vyr/sounds/soundtrack.wav"));

    vyr::IniFile shipped((prefix / "conf/vyr.conf.example").c_str());
    EXPECT_EQ(shipped.lastError(), nullptr);
    EXPECT_EQ(shipped.entryCount(), 0u);
    std::istringstream lines(readWholeFile(prefix / "conf/vyr.conf.example"));
    std::string enabled;
    for (std::string line; std::getline(lines, line);)
        enabled += (line.size() > 1 && line[0] == ';' && line[1] != ' ' ? line.substr(1) : line) + "\n";
    writeWholeFile(prefix / "conf/vyr.conf", enabled);
    vyr::IniFile file((prefix / "conf/vyr.conf").c_str());
    ASSERT_EQ(file.lastError(), nullptr) << file.lastError()->text;
    EXPECT_EQ(file.entryCount(), 6u);
    for (const char* key : {"verbose", "log_level", "log_file", "log_dir", "print_stats", "print_stats_interval"})
        EXPECT_NE(file.lookup("Logging", key), nullptr) << key;
    EXPECT_STREQ(file.lookup("Logging", "log_level"), "warning");
    EXPECT_STREQ(file.lookup("Logging", "print_stats_interval"), "5000");
}

}  // namespace
}  // namespace vyr::testing

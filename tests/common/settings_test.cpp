#include "common/settings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "common/child_process.h"

using vyr::conf::Settings;
using vyr::testing::TempDir;
using vyr::testing::writeWholeFile;

namespace {

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(root / "conf");
        std::filesystem::create_directories(root / "user");
        setenv("VYR_ROOT", root.path().c_str(), 1);
        setenv("HOME", root.path().c_str(), 1);
        setenv("VYR_USER_CONFIG_DIR", (root / "user").c_str(), 1);
        for (size_t i = 0; i < vyr::conf::settingKeyCount; ++i) unsetenv(vyr::conf::settingKeys[i].variable);
    }
    void TearDown() override {
        for (const char* v : {"VYR_ROOT", "HOME", "VYR_USER_CONFIG_DIR"}) unsetenv(v);
    }
    void systemFile(const std::string& text) { writeWholeFile(root / "conf/vyr.conf", text); }
    void adminFile(const std::string& text) { writeWholeFile(root / "conf/vyr.conf.admin", text); }
    void userFile(const std::string& text) { writeWholeFile(root / "user/vyr.conf", text); }
    TempDir root;
};

TEST_F(SettingsTest, DefaultsWithoutFilesOrEnvironment) {
    Settings s;
    EXPECT_STREQ(s.logLevel, "warning");
    EXPECT_FALSE(s.verbose);
    EXPECT_EQ(s.logFile, nullptr);
    EXPECT_EQ(s.printStatsInterval, 5000);
    EXPECT_TRUE(s.enableConsole);
}

TEST_F(SettingsTest, FiveSourcesInPrecedence) {
    systemFile("[Logging]\nlog_level = error\nlog_file = sys\nlog_dir = sysdir\nprint_stats_interval = 1\n");
    userFile("[Logging]\nlog_level = info\nlog_file = user\nprint_stats_interval = 2\n");
    {
        Settings s;
        EXPECT_STREQ(s.logLevel, "info");
        EXPECT_STREQ(s.logDir, "sysdir");
        EXPECT_EQ(s.printStatsInterval, 2);
    }
    setenv("VYR_LOG_LEVEL", "  debug  ", 1);
    {
        Settings s;
        EXPECT_STREQ(s.logLevel, "debug");
        EXPECT_STREQ(s.logFile, "user");
    }
    adminFile("[Logging]\nlog_level = info\nlog_file = admin\n");
    {
        Settings s;
        EXPECT_STREQ(s.logLevel, "info");
        EXPECT_STREQ(s.logFile, "admin");
        EXPECT_EQ(s.printStatsInterval, 2);
    }
}

// The system file says verbose; an environment value that cannot be read
// leaves it to the file. Buffers: 7 characters for a boolean, 31 for an integer.
TEST_F(SettingsTest, EnvironmentValuesReadOrLeftToTheFiles) {
    systemFile("[Logging]\nverbose = true\n");
    const std::pair<std::string, bool> booleans[] = {
        {"TRUE", true}, {"1", true}, {"0", false}, {"False", false}, {" true ", true}, {"  true ", true},
        {"yes", true}, {"2", true}, {"  false  ", true}, {"<null>", true}, {"  false", false}, {"  false ", true}};
    for (const auto& [env, expected] : booleans) {
        setenv("VYR_VERBOSE", env.c_str(), 1);
        EXPECT_EQ(Settings().verbose, expected) << "'" << env << "'";
    }
    const std::pair<std::string, int> integers[] = {
        {" 250", 250}, {"250ms", 5000}, {"-7", -7}, {"99999999999", 2147483647}, {"-99999999999", -2147483647 - 1},
        {std::string(31, ' ') + "7", 5000}, {std::string(30, ' ') + "7", 7}};
    for (const auto& [env, expected] : integers) {
        setenv("VYR_PRINT_STATS_INTERVAL", env.c_str(), 1);
        EXPECT_EQ(Settings().printStatsInterval, expected) << "'" << env << "'";
    }
    systemFile("");
    setenv("VYR_VERBOSE", "0", 1);
    userFile("[Logging]\nverbose = 1\n");
    EXPECT_FALSE(Settings().verbose);
}

TEST_F(SettingsTest, NullTextLetsLowerLevelsDecide) {
    systemFile("[Logging]\nlog_file = fromsystem\n");
    userFile("[Logging]\nlog_file = <null>\n");
    EXPECT_STREQ(Settings().logFile, "fromsystem");
    systemFile("[Logging]\n");
    EXPECT_EQ(Settings().logFile, nullptr);
}

TEST_F(SettingsTest, HeaderInOtherCaseMatches) {
    systemFile("[logging]\nLOG_LEVEL = info\n");
    EXPECT_STREQ(Settings().logLevel, "info");
}

TEST_F(SettingsTest, BrokenSystemFileIsReportedThenIgnored) {
    std::string path = root / "conf/vyr.conf";
    systemFile("[Logging]\nlog_file = sys\nnonsense\n");
    userFile("[Logging]\nlog_level = info\n");
    setenv("VYR_VERBOSE", "1", 1);
    ::testing::internal::CaptureStderr();
    Settings s;
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "Cannot parse .ini file \"" + path + "\": Parser error. (line 3)\n"
              "Cannot parse .ini file \"" + path + "\":<errnum 1> <linenum 3> <errstr Parser error.>\n");
    EXPECT_EQ(s.logFile, nullptr);
    EXPECT_STREQ(s.logLevel, "info");
    EXPECT_TRUE(s.verbose);
}

TEST_F(SettingsTest, UserFileUnderHomeWithoutConfigDir) {
    unsetenv("VYR_USER_CONFIG_DIR");
    std::filesystem::create_directories(root / "vyr/conf");
    writeWholeFile(root / "vyr/conf/vyr.conf", "[Logging]\nlog_dir = home\n");
    EXPECT_STREQ(Settings().logDir, "home");
}

TEST_F(SettingsTest, SharedVariablesServeTwoKeys) {
    setenv("KOB_IMAGE_QUALITY", "33", 1);
    setenv("KOB_LOCAL_DISPLAY", ":5", 1);
    Settings s;
    EXPECT_EQ(s.imageQuality, 33);
    EXPECT_EQ(s.vantroImageQuality, 33);
    EXPECT_STREQ(s.localDisplay, ":5");
    EXPECT_STREQ(s.localDisplayList, ":5");
    EXPECT_STREQ(s.renderingServerLocalDisplayList, ":0.0");
}

TEST_F(SettingsTest, RepeatedNamesAreTellApartBySection) {
    systemFile("[Remotization]\nhost = r\nencryption = on\n[RenderingServer]\nhost = rs\n[Vantro]\nencryption = off\n");
    Settings s;
    EXPECT_STREQ(s.host, "r");
    EXPECT_STREQ(s.renderingServerHost, "rs");
    EXPECT_STREQ(s.encryption, "on");
    EXPECT_STREQ(s.vantroEncryption, "off");
}

}  // namespace

#include "common/settings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>
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
    EXPECT_EQ(s.threadedReadbackPeriod, -1);
    EXPECT_EQ(s.bwControlMaxWrite, 2147483647);
    EXPECT_STREQ(s.consoleShortcut, "<Control><Shift>F9");
    EXPECT_TRUE(s.enableConsole);
    EXPECT_STREQ(s.renderingServerLocalDisplayList, ":0.0");
    EXPECT_EQ(s.agentStartPort, 34567);
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

TEST_F(SettingsTest, BooleanValues) {
    systemFile("[Logging]\nverbose = true\n");
    struct Case {
        const char* env;
        bool expected;
    } cases[] = {{"TRUE", true}, {"1", true}, {"0", false}, {"False", false}, {" true ", true},
                 // Not usable, so the system file's true decides.
                 {"yes", true}, {"2", true}, {"  false  ", true}, {"<null>", true}};
    for (const Case& c : cases) {
        setenv("VYR_VERBOSE", c.env, 1);
        Settings s;
        EXPECT_EQ(s.verbose, c.expected) << "'" << c.env << "'";
    }
    systemFile("");
    setenv("VYR_VERBOSE", "0", 1);
    userFile("[Logging]\nverbose = 1\n");
    Settings s;
    EXPECT_FALSE(s.verbose);
}

TEST_F(SettingsTest, IntegerValues) {
    setenv("VYR_PRINT_STATS_INTERVAL", " 250", 1);
    EXPECT_EQ(Settings().printStatsInterval, 250);
    setenv("VYR_PRINT_STATS_INTERVAL", "250ms", 1);
    EXPECT_EQ(Settings().printStatsInterval, 5000);
    setenv("VYR_PRINT_STATS_INTERVAL", "-7", 1);
    EXPECT_EQ(Settings().printStatsInterval, -7);
    setenv("VYR_PRINT_STATS_INTERVAL", "99999999999", 1);
    EXPECT_EQ(Settings().printStatsInterval, 2147483647);
    // 32 characters do not fit the 32-byte buffer with the NUL.
    setenv("VYR_PRINT_STATS_INTERVAL", std::string(31, ' ').append("7").c_str(), 1);
    EXPECT_EQ(Settings().printStatsInterval, 5000);
    setenv("VYR_PRINT_STATS_INTERVAL", std::string(30, ' ').append("7").c_str(), 1);
    EXPECT_EQ(Settings().printStatsInterval, 7);
}

TEST_F(SettingsTest, BooleanBufferHoldsSevenCharacters) {
    setenv("VYR_VERBOSE", "  true ", 1);
    EXPECT_TRUE(Settings().verbose);
    setenv("VYR_VERBOSE", "  true  ", 1);
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

TEST(SettingKeys, TableHasItsShape) {
    ASSERT_EQ(vyr::conf::settingKeyCount, 161u);
    std::set<std::string> keys, variables;
    std::set<std::string> shared;
    for (size_t i = 0; i < vyr::conf::settingKeyCount; ++i) {
        const auto& k = vyr::conf::settingKeys[i];
        EXPECT_TRUE(keys.insert(std::string(k.section) + "/" + k.name).second) << k.name;
        if (!variables.insert(k.variable).second) shared.insert(k.variable);
        std::string v = k.variable;
        EXPECT_TRUE(v.rfind("VYR_", 0) == 0 || v.rfind("KOB_", 0) == 0 || v.rfind("MAB_", 0) == 0) << v;
    }
    EXPECT_EQ(shared, (std::set<std::string>{"KOB_LOCAL_DISPLAY", "KOB_IMAGE_QUALITY"}));
    EXPECT_STREQ(vyr::conf::settingKeys[0].name, "verbose");
    EXPECT_STREQ(vyr::conf::settingKeys[160].name, "num_data_buffers");
}

}  // namespace

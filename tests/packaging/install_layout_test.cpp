// `cmake --install` of the build into a fresh prefix: the program, its
// soundtrack and the example configuration, where the program looks for them.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "common/ini_file.h"

namespace {

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class InstallLayout : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        char pattern[] = "/tmp/vyr-install.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        prefix = new std::string(pattern);
        const char* build = getenv("VYR_BUILD_DIR");
        ASSERT_NE(build, nullptr);
        std::string command = std::string(CMAKE_COMMAND_PATH) + " --install " + build + " --prefix " + *prefix + " >/dev/null";
        installed = system(command.c_str()) == 0;
    }
    static void TearDownTestSuite() {
        std::string command = "rm -rf " + *prefix;
        if (system(command.c_str()) != 0) {}
        delete prefix;
    }
    static std::string* prefix;
    static bool installed;
};

std::string* InstallLayout::prefix = nullptr;
bool InstallLayout::installed = false;

TEST_F(InstallLayout, HoldsTheProgramTheSoundtrackAndTheExample) {
    ASSERT_TRUE(installed);
    EXPECT_EQ(access((*prefix + "/bin/vyrtest").c_str(), X_OK), 0);
    std::string wav = readAll(*prefix + "/share/vyr/sounds/soundtrack.wav");
    EXPECT_GT(wav.size(), 44u);
    EXPECT_EQ(wav, readAll(std::string(getenv("VYR_BUILD_DIR")) + "/share/vyr/sounds/soundtrack.wav"));
    struct stat st;
    EXPECT_EQ(stat((*prefix + "/conf/vyr.conf.example").c_str(), &st), 0);
}

// As shipped every setting is commented out; with the comment marks taken
// off the settings lines it is a valid file with the six Logging keys.
TEST_F(InstallLayout, TheExampleNamesTheLoggingKeys) {
    ASSERT_TRUE(installed);
    std::string example = readAll(*prefix + "/conf/vyr.conf.example");
    vyr::IniFile shipped((*prefix + "/conf/vyr.conf.example").c_str());
    EXPECT_EQ(shipped.lastError(), nullptr);
    EXPECT_EQ(shipped.entryCount(), 0u);

    std::istringstream lines(example);
    std::string line, enabled;
    while (std::getline(lines, line)) {
        if (line.size() > 1 && line[0] == ';' && line[1] != ' ') line.erase(0, 1);
        enabled += line + "\n";
    }
    std::string path = *prefix + "/conf/vyr.conf";
    std::ofstream(path) << enabled;
    vyr::IniFile file(path.c_str());
    ASSERT_EQ(file.lastError(), nullptr) << file.lastError()->text;
    EXPECT_EQ(file.entryCount(), 6u);
    for (const char* key : {"verbose", "log_level", "log_file", "log_dir", "print_stats", "print_stats_interval"})
        EXPECT_NE(file.lookup("Logging", key), nullptr) << key;
    EXPECT_STREQ(file.lookup("Logging", "log_level"), "warning");
    EXPECT_STREQ(file.lookup("Logging", "print_stats_interval"), "5000");
}

}  // namespace

#include "common/paths.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "common/child_process.h"

namespace {

std::string joined(char* text) {
    std::string s = text ? text : "<none>";
    free(text);
    return s;
}

TEST(JoinPath, SeparatorsAreNotDoubled) {
    EXPECT_EQ(joined(vyr::joinPath("/opt/", "conf", "x", nullptr)), "/opt/conf/x");
    EXPECT_EQ(joined(vyr::joinPath("a/", "b/", nullptr)), "a/b");
    EXPECT_EQ(joined(vyr::joinPath("a", "", "", "b", nullptr)), "a/b");
    EXPECT_EQ(joined(vyr::joinPath("a", nullptr, "ignored", nullptr)), "a");
    EXPECT_EQ(joined(vyr::joinPath(nullptr)), "");
    EXPECT_EQ(joined(vyr::joinPath("", "", nullptr)), "");
    // Only '/' is a separator here; a backslash is part of the name.
    EXPECT_EQ(joined(vyr::joinPath("a\\", "b", nullptr)), "a\\/b");
}

TEST(JoinPath, ResultBeyond258CharactersIsNone) {
    std::string a(128, 'a'), b(128, 'b');
    // 128 + '/' + 128 + '/' = 258 fit; the last separator is then dropped.
    EXPECT_EQ(joined(vyr::joinPath(a.c_str(), b.c_str(), nullptr)), a + "/" + b);
    EXPECT_EQ(joined(vyr::joinPath(a.c_str(), (b + "b").c_str(), nullptr)), "<none>");
    EXPECT_EQ(joined(vyr::joinPath(std::string(300, 'x').c_str(), nullptr)), "<none>");
    EXPECT_EQ(joined(vyr::joinPath((a + "/").c_str(), (b + "/").c_str(), nullptr)), a + "/" + b);
}

class PathsEnv : public ::testing::Test {
protected:
    void TearDown() override {
        for (const char* v : {"VYR_ROOT", "XDG_DATA_HOME", "HOME"}) unsetenv(v);
    }
};

TEST_F(PathsEnv, InstallDirectoryFromVyrRoot) {
    char buffer[512];
    setenv("VYR_ROOT", "/srv/vyr", 1);
    vyr::installDirectory(buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "/srv/vyr/");
    setenv("VYR_ROOT", "/srv/vyr/", 1);
    vyr::installDirectory(buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "/srv/vyr/");
}

TEST_F(PathsEnv, UserDataDirectory) {
    struct Case {
        const char* xdgDataHome;
        const char* home;
        const char* expected;
    };
    for (const Case& c : {Case{"/data/here", "/h", "/data/here"}, Case{"/data/here//", "/h", "/data/here"},
                          Case{"/", "/h", "/"}, Case{"relative/data", "/h", "/h/.local/share"},
                          Case{nullptr, "/home/someone/", "/home/someone/.local/share"},
                          Case{"", "/", "/.local/share"}}) {
        vyr::testing::applyEnv({{"XDG_DATA_HOME", c.xdgDataHome}, {"HOME", c.home}});
        EXPECT_EQ(joined(vyr::userDataDirectory()), c.expected) << (c.xdgDataHome ? c.xdgDataHome : "unset");
    }
}

// The running program's prefix counts only when it holds share/vyr.
TEST(InstallDirectory, PrefixOfTheRunningProgram) {
    vyr::testing::TempDir prefix;
    std::filesystem::create_directories(prefix / "bin");
    std::filesystem::copy_file(COMMON_CHILD, prefix / "bin/common_child");
    auto run = [&] {
        return vyr::testing::runChild({prefix / "bin/common_child", "install-directory"}, {{"VYR_ROOT", nullptr}});
    };
    vyr::testing::ChildResult without = run();
    EXPECT_EQ(without.exitCode, 0);
    EXPECT_NE(without.out, prefix.path() + "/");
    std::filesystem::create_directories(prefix / "share/vyr");
    vyr::testing::ChildResult with = run();
    EXPECT_EQ(with.out, prefix.path() + "/");
}

TEST(HomeDirectory, FallsBackToRoot) {
    vyr::testing::ChildResult r = vyr::testing::runChild({COMMON_CHILD, "home"}, {{"HOME", nullptr}});
    EXPECT_EQ(r.out, "/");
}

}  // namespace

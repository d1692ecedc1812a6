#include "common/ini_file.h"

#include <poll.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <string>

#include "common/child_process.h"

using vyr::IniFile;
using vyr::testing::TempDir;
using vyr::testing::writeWholeFile;

namespace {

// Parses in a child process, so that a read that blocks or never ends fails the test
// instead of hanging it: what the parser wrote on stderr, then its error code.
std::string parseInChild(const std::string& path) {
    int fds[2];
    if (pipe(fds) != 0) return "no pipe";
    pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], 2);
        IniFile ini(path.c_str());
        fprintf(stderr, "code %u", ini.lastError() ? ini.lastError()->code : 0u);
        _exit(0);
    }
    close(fds[1]);
    std::string err;
    char buffer[512];
    pollfd p{fds[0], POLLIN, 0};
    for (ssize_t n; poll(&p, 1, 60000) == 1 && (n = read(fds[0], buffer, sizeof buffer)) > 0;) err.append(buffer, n);
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    close(fds[0]);
    return err;
}

class IniFileTest : public ::testing::Test {
protected:
    const char* write(const std::string& text) {
        writeWholeFile(iniPath, text);
        return iniPath.c_str();
    }
    TempDir dir;
    std::string iniPath = dir / "test.ini";
};

TEST_F(IniFileTest, InlineCommentNeedsABlankBeforeIt) {
    IniFile ini(write("[Log]\nLevel = debug ; note\nk1=a;b\nk2 = a ;b\nk3 = ;starts\nk4 = x # y\n"));
    ASSERT_EQ(ini.lastError(), nullptr);
    EXPECT_STREQ(ini.getValue("log", "LEVEL"), "debug");
    EXPECT_STREQ(ini.getValue("Log", "k1"), "a;b");
    EXPECT_STREQ(ini.getValue("Log", "k2"), "a");
    EXPECT_STREQ(ini.getValue("Log", "k3"), ";starts");
    EXPECT_STREQ(ini.getValue("Log", "k4"), "x # y");
}

TEST_F(IniFileTest, EqualsIsSearchedBeforeColon) {
    IniFile ini(write("[s]\nurl: x=y\nplain: v\n"));
    EXPECT_STREQ(ini.getValue("s", "url: x"), "y");
    EXPECT_STREQ(ini.getValue("s", "plain"), "v");
    EXPECT_EQ(ini.getValue("s", "url"), nullptr);
}

TEST_F(IniFileTest, SeparatorSearchStopsAtInlineComment) {
    for (const char* text : {"[s]\na ;b = c\n", "[a ;b]\n"}) {
        ::testing::internal::CaptureStderr();
        IniFile ini(write(text));
        std::string err = ::testing::internal::GetCapturedStderr();
        ASSERT_NE(ini.lastError(), nullptr) << text;
        EXPECT_EQ(ini.lastError()->code, 1u);
        EXPECT_NE(err.find("Parser error."), std::string::npos);
    }
}

TEST_F(IniFileTest, HeaderKeepsItsBlanksAndIsCutAt49Bytes) {
    std::string sixty(60, 'S');
    IniFile ini(write("[ Sec ]\na = 1\n[" + sixty + "]\nb = 2\n"));
    EXPECT_EQ(ini.getValue("Sec", "a"), nullptr);
    EXPECT_STREQ(ini.getValue(" Sec ", "a"), "1");
    EXPECT_STREQ(ini.getValue(sixty.substr(0, 49).c_str(), "b"), "2");
    EXPECT_EQ(ini.getValue(sixty.c_str(), "b"), nullptr);
}

TEST_F(IniFileTest, ErrorKeepsEarlierPairsForLookupOnly) {
    std::string path = write("[s]\nk = v\ngarbage\nlater = x\n");
    ::testing::internal::CaptureStderr();
    IniFile ini(path.c_str());
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "Cannot parse .ini file \"" + path + "\": Parser error. (line 3)\n");
    ASSERT_NE(ini.lastError(), nullptr);
    EXPECT_EQ(ini.lastError()->code, 1u);
    EXPECT_EQ(ini.lastError()->line, 3u);
    EXPECT_STREQ(ini.lastError()->text, "Parser error.");
    EXPECT_STREQ(ini.lookup("s", "k"), "v");
    EXPECT_EQ(ini.lookup("s", "later"), nullptr);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(ini.getValue("s", "k"), nullptr);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Cannot get value: Parser is in error state\n");
}

TEST_F(IniFileTest, UnclosedHeaderIsAnError) {
    ::testing::internal::CaptureStderr();
    IniFile ini(write("; c\n\n[open\n"));
    ::testing::internal::GetCapturedStderr();
    ASSERT_NE(ini.lastError(), nullptr);
    EXPECT_EQ(ini.lastError()->line, 3u);
}

TEST_F(IniFileTest, EmptyValueIsEmptyTextNotNone) {
    IniFile ini(write("[s]\nname = \n"));
    ASSERT_NE(ini.getValue("s", "name"), nullptr);
    EXPECT_STREQ(ini.getValue("s", "name"), "");
}

TEST_F(IniFileTest, ColonsInNamesAndSectionsShareKeys) {
    IniFile ini(write("[a::b]\nc = first\n[a]\nb::c = second\n"));
    EXPECT_STREQ(ini.lookup("a::b", "c"), "second");
    EXPECT_EQ(ini.entryCount(), 1u);
}

TEST_F(IniFileTest, LaterPairInOtherCaseReplacesValue) {
    IniFile ini(write("[S]\nKey = one\n[s]\nkEY = Two\n"));
    EXPECT_STREQ(ini.getValue("s", "key"), "Two");
    EXPECT_EQ(ini.entryCount(), 1u);
}

TEST_F(IniFileTest, PairBeforeHeaderHasEmptySection) {
    IniFile ini(write("top = 1\n[s]\n"));
    EXPECT_STREQ(ini.lookup("", "TOP"), "1");
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(ini.getValue("", "top"), nullptr);
    EXPECT_EQ(ini.getValue("s", ""), nullptr);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "Cannot get value: Section is empty\nCannot get value: Name is empty\n");
}

TEST_F(IniFileTest, LongLinesAreReadWholeAndCountedOnce) {
    std::string value(700, 'v');
    value += " k2=forged";
    std::string path = write("[s]\nlong = " + value + "\nbad line\n");
    ::testing::internal::CaptureStderr();
    IniFile ini(path.c_str());
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_STREQ(ini.lookup("s", "long"), value.c_str());
    EXPECT_EQ(ini.lookup("s", "v k2"), nullptr);
    ASSERT_NE(ini.lastError(), nullptr);
    EXPECT_EQ(ini.lastError()->line, 3u);
}

TEST_F(IniFileTest, MissingFileReportsAndRecords) {
    std::string path = dir / "absent.ini";
    ::testing::internal::CaptureStderr();
    IniFile ini(path.c_str());
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "Cannot open .ini file \"" + path + "\": No such file or directory.\n");
    ASSERT_NE(ini.lastError(), nullptr);
    EXPECT_EQ(ini.lastError()->code, 6u);
    EXPECT_EQ(ini.lastError()->line, 0u);
    EXPECT_STREQ(ini.lastError()->text, "No such file or directory.");
}

TEST_F(IniFileTest, OnlyRegularFilesAreRead) {
    std::string fifo = dir / "fifo", zero = dir / "zero";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_EQ(symlink("/dev/zero", zero.c_str()), 0);
    // /proc/self/mem is a regular file whose first read fails.
    for (const std::string& path : {dir.path(), fifo, zero, std::string("/proc/self/mem")}) {
        EXPECT_EQ(parseInChild(path), "Cannot open .ini file \"" + path + "\": No such file or directory.\ncode 6");
    }
}

TEST_F(IniFileTest, NulEndsTheTextButNotTheLine) {
    ::testing::internal::CaptureStderr();
    IniFile ini(write(std::string("[s]\na = x\0 junk\nb = 2\nbad\n", 26)));
    ::testing::internal::GetCapturedStderr();
    EXPECT_STREQ(ini.lookup("s", "a"), "x");
    EXPECT_STREQ(ini.lookup("s", "b"), "2");
    ASSERT_NE(ini.lastError(), nullptr);
    EXPECT_EQ(ini.lastError()->line, 4u);
}

TEST_F(IniFileTest, ReloadReadsTheFileAfresh) {
    std::string path = write("[s]\na = 1\nb = 2\n");
    IniFile ini(path.c_str());
    writeWholeFile(path, "[s]\na = 3\n");
    EXPECT_TRUE(ini.reload());
    EXPECT_STREQ(ini.getValue("s", "a"), "3");
    EXPECT_EQ(ini.getValue("s", "b"), nullptr);
    EXPECT_STREQ(ini.fileName(), path.c_str());
}

TEST_F(IniFileTest, ReloadWithoutNameFails) {
    IniFile ini(nullptr, false);
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(ini.reload());
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Cannot parse file: Filename is empty\n");
    ASSERT_NE(ini.lastError(), nullptr);
    EXPECT_EQ(ini.lastError()->code, 6u);
}

TEST_F(IniFileTest, ParseAddsWithoutEmptyingAndKeepsError) {
    std::string bad = dir / "bad.ini", good = write("[s]\ngood = 1\n");
    writeWholeFile(bad, "[s]\nfirst = 1\nbroken\n");
    ::testing::internal::CaptureStderr();
    IniFile ini(bad.c_str());
    ::testing::internal::GetCapturedStderr();
    ini.setFileName(good.c_str());
    EXPECT_TRUE(ini.parse());
    EXPECT_NE(ini.lastError(), nullptr);
    EXPECT_STREQ(ini.lookup("s", "first"), "1");
    EXPECT_STREQ(ini.lookup("s", "good"), "1");
}

TEST_F(IniFileTest, CrLfAndBlanksAroundLines) {
    IniFile ini(write("  [s]  \r\n\t k \t=\t v w \r\n   # c\r\n"));
    ASSERT_EQ(ini.lastError(), nullptr);
    EXPECT_STREQ(ini.getValue("s", "k"), "v w");
}

TEST_F(IniFileTest, ManyKeysSurviveBucketChains) {
    std::string text = "[s]\n";
    for (int i = 0; i < 500; ++i) text += "key" + std::to_string(i) + " = " + std::to_string(i * 7) + "\n";
    IniFile ini(write(text));
    EXPECT_EQ(ini.entryCount(), 500u);
    for (int i = 0; i < 500; ++i)
        EXPECT_STREQ(ini.getValue("S", ("KEY" + std::to_string(i)).c_str()), std::to_string(i * 7).c_str());
    ini.clear();
    EXPECT_EQ(ini.entryCount(), 0u);
    EXPECT_EQ(ini.fileName(), nullptr);
}

}  // namespace

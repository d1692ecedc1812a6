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
    // Parses the text; what it printed on stderr goes to `err`.
    IniFile* parse(const std::string& text) {
        ::testing::internal::CaptureStderr();
        IniFile* ini = new IniFile(write(text));
        err = ::testing::internal::GetCapturedStderr();
        return ini;
    }
    TempDir dir;
    std::string iniPath = dir / "test.ini";
    std::string err;
};

// Each row: a file, one lookup (section, name) and its value (null: none), and
// the line of the parser error, 0 for none. Pairs before an error stay for lookup.
TEST_F(IniFileTest, LinesPairsAndLookups) {
    const std::string sixty(60, 'S'), longValue = std::string(700, 'v') + " k2=forged";
    struct Row {
        std::string text, section, name;
        const char* value;
        uint32_t errorLine;
    } rows[] = {
        {"[Log]\nLevel = debug ; note\n", "log", "LEVEL", "debug", 0},  // case-blind keys
        {"[s]\nk1=a;b\n", "s", "k1", "a;b", 0},  // an inline comment needs a blank before it
        {"[s]\nk2 = a ;b\n", "s", "k2", "a", 0},
        {"[s]\nk3 = ;starts\n", "s", "k3", ";starts", 0},
        {"[s]\nk4 = x # y\n", "s", "k4", "x # y", 0},
        {"[s]\nurl: x=y\n", "s", "url: x", "y", 0},  // = before :
        {"[s]\nurl: x=y\n", "s", "url", nullptr, 0},
        {"[s]\nplain: v\n", "s", "plain", "v", 0},
        {"[s]\na ;b = c\n", "s", "a", nullptr, 2},  // the separator search stops at a comment
        {"[a ;b]\n", "a", "x", nullptr, 1},
        {"[ Sec ]\na = 1\n", " Sec ", "a", "1", 0},  // a header keeps its blanks
        {"[ Sec ]\na = 1\n", "Sec", "a", nullptr, 0},
        {"[" + sixty + "]\nb = 2\n", sixty.substr(0, 49), "b", "2", 0},  // and is cut at 49 bytes
        {"[s]\nk = v\ngarbage\nlater = x\n", "s", "k", "v", 3},
        {"[s]\nk = v\ngarbage\nlater = x\n", "s", "later", nullptr, 3},
        {"; c\n\n[open\n", "open", "x", nullptr, 3},
        {"[s]\nname = \n", "s", "name", "", 0},
        {"[a::b]\nc = first\n[a]\nb::c = second\n", "a::b", "c", "second", 0},  // colons share keys
        {"[S]\nKey = one\n[s]\nkEY = Two\n", "s", "key", "Two", 0},
        {"top = 1\n[s]\n", "", "TOP", "1", 0},
        {"[s]\nlong = " + longValue + "\nbad line\n", "s", "long", longValue.c_str(), 3},  // read whole, counted once
        {std::string("[s]\na = x\0 junk\nb = 2\nbad\n", 26), "s", "a", "x", 4},  // NUL ends the text, not the line
        {std::string("[s]\na = x\0 junk\nb = 2\nbad\n", 26), "s", "b", "2", 4},
        {"  [s]  \r\n\t k \t=\t v w \r\n   # c\r\n", "s", "k", "v w", 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        IniFile* ini = parse(row.text);
        const char* value = ini->lookup(row.section.c_str(), row.name.c_str());
        EXPECT_EQ(value ? std::string(value) : "(none)", row.value ? std::string(row.value) : "(none)");
        EXPECT_EQ(ini->lastError() ? ini->lastError()->line : 0u, row.errorLine);
        if (row.errorLine) {
            EXPECT_EQ(ini->lastError()->code, 1u);
            EXPECT_STREQ(ini->lastError()->text, "Parser error.");
            EXPECT_EQ(err, "Cannot parse .ini file \"" + iniPath + "\": Parser error. (line " +
                               std::to_string(row.errorLine) + ")\n");
        }
        delete ini;
    }
}

TEST_F(IniFileTest, GetValueRefusesInErrorStateAndEmptyNames) {
    IniFile* broken = parse("[s]\nk = v\ngarbage\n");
    IniFile* fine = parse("top = 1\n[s]\n");
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(broken->getValue("s", "k"), nullptr);
    EXPECT_EQ(fine->getValue("", "top"), nullptr);
    EXPECT_EQ(fine->getValue("s", ""), nullptr);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "Cannot get value: Parser is in error state\nCannot get value: Section is empty\n"
              "Cannot get value: Name is empty\n");
    delete broken;
    delete fine;
}

TEST_F(IniFileTest, MissingOrIrregularFilesAreNotRead) {
    std::string path = dir / "absent.ini";
    ::testing::internal::CaptureStderr();
    IniFile ini(path.c_str());
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "Cannot open .ini file \"" + path + "\": No such file or directory.\n");
    ASSERT_NE(ini.lastError(), nullptr);
    EXPECT_EQ(ini.lastError()->code, 6u);
    EXPECT_EQ(ini.lastError()->line, 0u);
    EXPECT_STREQ(ini.lastError()->text, "No such file or directory.");
    std::string fifo = dir / "fifo", zero = dir / "zero";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_EQ(symlink("/dev/zero", zero.c_str()), 0);
    // /proc/self/mem is a regular file whose first read fails.
    for (const std::string& p : {dir.path(), fifo, zero, std::string("/proc/self/mem")})
        EXPECT_EQ(parseInChild(p), "Cannot open .ini file \"" + p + "\": No such file or directory.\ncode 6");
}

TEST_F(IniFileTest, ReloadReadsAfreshAndParseAdds) {
    std::string path = write("[s]\na = 1\nb = 2\n");
    IniFile ini(path.c_str());
    writeWholeFile(path, "[s]\na = 3\n");
    EXPECT_TRUE(ini.reload());
    EXPECT_STREQ(ini.getValue("s", "a"), "3");
    EXPECT_EQ(ini.getValue("s", "b"), nullptr);
    EXPECT_STREQ(ini.fileName(), path.c_str());

    IniFile nameless(nullptr, false);
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(nameless.reload());
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Cannot parse file: Filename is empty\n");
    EXPECT_EQ(nameless.lastError()->code, 6u);

    // parse() adds to what is there and keeps the error.
    IniFile* bad = parse("[s]\nfirst = 1\nbroken\n");
    bad->setFileName(write("[s]\ngood = 1\n"));
    EXPECT_TRUE(bad->parse());
    EXPECT_NE(bad->lastError(), nullptr);
    EXPECT_STREQ(bad->lookup("s", "first"), "1");
    EXPECT_STREQ(bad->lookup("s", "good"), "1");
    delete bad;
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

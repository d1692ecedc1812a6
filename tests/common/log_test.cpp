#include "common/log.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>

#include "common/child_process.h"

using vyr::testing::ChildResult;
using vyr::testing::EnvChange;
using vyr::testing::TempDir;

namespace {

class LogTest : public ::testing::Test {
protected:
    ChildResult log(std::vector<std::string> args, std::vector<EnvChange> extra = {}) {
        std::vector<std::string> argv = {COMMON_CHILD, "log"};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<EnvChange> env = {{"VYR_ROOT", dir.path().c_str()}, {"HOME", dir.path().c_str()},
                                      {"VYR_USER_CONFIG_DIR", nullptr}, {"VYR_LOG_LEVEL", nullptr},
                                      {"VYR_VERBOSE", nullptr}, {"VYR_LOG_FILE", base.c_str()}};
        env.insert(env.end(), extra.begin(), extra.end());
        ChildResult r = vyr::testing::runChild(argv, env);
        pid = std::stoi(r.out.empty() ? "0" : r.out);
        return r;
    }
    std::string logFile() { return vyr::testing::readWholeFile(base + "." + std::to_string(pid) + ".txt"); }

    TempDir dir;
    std::string base = dir / "probe";
    int pid = 0;
};

TEST_F(LogTest, LineFieldByField) {
    log({"2", "WARNING", "0", "hello 42"});
    std::string text = logFile();
    std::smatch m;
    ASSERT_TRUE(std::regex_match(text, m, std::regex(R"(W (\d+)\.(\d{3}) (-?\d+):(-?\d+) VYR \(vyr::test::child\): hello 42\n)")))
        << text;
    EXPECT_EQ(std::stoi(m[3]), pid);
    // The main thread's id is the process id on Linux.
    EXPECT_EQ(std::stoi(m[4]), pid);
}

// Which of an error, a warning, an info and a debug line reach the file, by the
// settings: the level word, a level the logger does not know, verbose, the file.
TEST_F(LogTest, LevelFromSettings) {
    struct Row {
        std::vector<EnvChange> env;
        const char* conf;
        const char* expected;
    } rows[] = {{{}, nullptr, "E W "},
                {{{"VYR_LOG_LEVEL", "INFO"}}, nullptr, "E W I "},
                {{{"VYR_LOG_LEVEL", "trace"}}, nullptr, "E W "},
                {{{"VYR_LOG_LEVEL", "error"}, {"VYR_VERBOSE", "true"}}, nullptr, "E W I D "},
                {{}, "[Logging]\nlog_level = Debug\n", "E W I D "}};
    for (const Row& row : rows) {
        std::filesystem::create_directories(dir / "conf");
        vyr::testing::writeWholeFile(dir / "conf/vyr.conf", row.conf ? row.conf : "");
        log({"1", "ERROR", "0", "e", "2", "WARNING", "0", "w", "3", "INFO", "0", "i", "4", "DEBUG", "0", "d"}, row.env);
        std::string letters, text = logFile();
        for (size_t at = 0; at < text.size(); at = text.find('\n', at) + 1) letters += text.substr(at, 2);
        EXPECT_EQ(letters, row.expected) << text;
    }
    // The letter is the word's first character, whatever the level.
    log({"2", "INFO", "0", "filtered as a warning"});
    EXPECT_EQ(logFile().rfind("I ", 0), 0u);
}

TEST_F(LogTest, EchoIgnoresTheLevel) {
    ChildResult r = log({"3", "INFO", "1", "echoed"});
    EXPECT_EQ(r.err, "INFO: echoed\n");
    EXPECT_EQ(logFile(), "");
}

TEST_F(LogTest, NullFormatSetsNothingUp) {
    std::filesystem::create_directories(dir / "conf");
    vyr::testing::writeWholeFile(dir / "conf/vyr.conf", "broken\n");
    ChildResult quiet = log({"null"});
    EXPECT_EQ(quiet.err, "");
    ChildResult loud = log({"null", "2", "WARNING", "0", "x"});
    EXPECT_NE(loud.err.find("Cannot parse .ini file"), std::string::npos);
    EXPECT_NE(loud.err.find("<errnum 1> <linenum 1> <errstr Parser error.>"), std::string::npos);
}

TEST_F(LogTest, WithoutFileOrTerminalLinesAreDropped) {
    ChildResult r = log({"1", "ERROR", "0", "nowhere"}, {{"VYR_LOG_FILE", nullptr}});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "");
    ChildResult empty = log({"1", "ERROR", "0", "nowhere"}, {{"VYR_LOG_FILE", ""}});
    EXPECT_EQ(empty.err, "");
    EXPECT_FALSE(std::filesystem::exists(base + "..txt"));
}

}  // namespace

// The common library: INI files, settings, paths, the log and sockets.
#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <netinet/in.h>
#include <regex>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/ini_file.h"
#include "common/child_process.h"
#include "common/settings.h"
#include "common/paths.h"
#include "common/log.h"
#include "common/socket.h"

using vyr::IniFile;
using vyr::conf::Settings;
using vyr::testing::ChildResult;
using vyr::testing::EnvChange;
using vyr::testing::TempDir;
using vyr::testing::writeWholeFile;

namespace {

class IniFileTest : public ::testing::Test {
protected:
    const char* write(const std::string& text) {
        writeWholeFile(iniPath, text);
        return iniPath.c_str();
    }
    // Parses the text; what it printed on stderr goes to `err`.
    std::unique_ptr<IniFile> parse(const std::string& text) {
        ::testing::internal::CaptureStderr();
        std::unique_ptr<IniFile> ini(new IniFile(write(text)));
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
        std::unique_ptr<IniFile> ini = parse(row.text);
        const char* value = ini->lookup(row.section.c_str(), row.name.c_str());
        EXPECT_EQ(value ? std::string(value) : "(none)", row.value ? std::string(row.value) : "(none)");
        EXPECT_EQ(ini->lastError() ? ini->lastError()->line : 0u, row.errorLine);
        if (row.errorLine) {
            EXPECT_EQ(ini->lastError()->code, 1u);
            EXPECT_STREQ(ini->lastError()->text, "Parser error.");
            EXPECT_EQ(err, "Cannot parse .ini file \"" + iniPath + "\": Parser error. (line " +
                               std::to_string(row.errorLine) + ")\n");
        }
    }
}

TEST_F(IniFileTest, GetValueRefusesInErrorStateAndEmptyNames) {
    std::unique_ptr<IniFile> broken = parse("[s]\nk = v\ngarbage\n"), fine = parse("top = 1\n[s]\n");
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(broken->getValue("s", "k"), nullptr);
    EXPECT_EQ(fine->getValue("", "top"), nullptr);
    EXPECT_EQ(fine->getValue("s", ""), nullptr);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "Cannot get value: Parser is in error state\nCannot get value: Section is empty\n"
              "Cannot get value: Name is empty\n");
}

TEST_F(IniFileTest, MissingOrIrregularFilesAreNotRead) {
    std::string absent = dir / "absent.ini", fifo = dir / "fifo", zero = dir / "zero";
    IniFile ini(absent.c_str());
    ASSERT_NE(ini.lastError(), nullptr);
    EXPECT_EQ(ini.lastError()->line, 0u);
    EXPECT_STREQ(ini.lastError()->text, "No such file or directory.");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_EQ(symlink("/dev/zero", zero.c_str()), 0);
    // /proc/self/mem is a regular file whose first read fails. Each is parsed in a child
    // process, so that a read that blocks or never ends fails the test instead of hanging it.
    for (const std::string& p : {absent, dir.path(), fifo, zero, std::string("/proc/self/mem")}) {
        ChildResult r = vyr::testing::runChild({COMMON_CHILD, "ini", p});
        EXPECT_EQ(r.err + r.out, "Cannot open .ini file \"" + p + "\": No such file or directory.\ncode 6");
    }
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
    std::unique_ptr<IniFile> bad = parse("[s]\nfirst = 1\nbroken\n");
    bad->setFileName(write("[s]\ngood = 1\n"));
    EXPECT_TRUE(bad->parse());
    EXPECT_NE(bad->lastError(), nullptr);
    EXPECT_STREQ(bad->lookup("s", "first"), "1");
    EXPECT_STREQ(bad->lookup("s", "good"), "1");
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

// The defaults without files or environment, then each source over the ones below it.
TEST_F(SettingsTest, DefaultsAndFiveSourcesInPrecedence) {
    Settings defaults;
    EXPECT_STREQ(defaults.logLevel, "warning");
    EXPECT_EQ(defaults.logFile, nullptr);
    EXPECT_EQ(defaults.printStatsInterval, 5000);
    EXPECT_TRUE(defaults.enableConsole && !defaults.verbose);
    systemFile("[Logging]\nlog_level = error\nlog_file = sys\nlog_dir = sysdir\nprint_stats_interval = 1\n");
    userFile("[Logging]\nlog_level = info\nlog_file = user\nprint_stats_interval = 2\n");
    Settings files;
    EXPECT_STREQ(files.logLevel, "info");
    EXPECT_STREQ(files.logDir, "sysdir");
    EXPECT_EQ(files.printStatsInterval, 2);
    setenv("VYR_LOG_LEVEL", "  debug  ", 1);
    Settings environment;
    EXPECT_STREQ(environment.logLevel, "debug");
    EXPECT_STREQ(environment.logFile, "user");
    adminFile("[Logging]\nlog_level = info\nlog_file = admin\n");
    Settings admin;
    EXPECT_STREQ(admin.logLevel, "info");
    EXPECT_STREQ(admin.logFile, "admin");
    EXPECT_EQ(admin.printStatsInterval, 2);
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

// "<null>" lets the lower levels decide; headers match in any case; the user
// file under HOME when no folder is named; the shared variables serve two keys;
// names repeated in other sections are told apart.
TEST_F(SettingsTest, SourcesAndNames) {
    systemFile("[Logging]\nlog_file = fromsystem\n[logging]\nLOG_LEVEL = info\n[Remotization]\nhost = r\n"
               "encryption = on\n[RenderingServer]\nhost = rs\n[Vantro]\nencryption = off\n");
    userFile("[Logging]\nlog_file = <null>\n");
    setenv("KOB_IMAGE_QUALITY", "33", 1);
    setenv("KOB_LOCAL_DISPLAY", ":5", 1);
    Settings s;
    EXPECT_TRUE(s.imageQuality == 33 && s.vantroImageQuality == 33) << s.imageQuality << " " << s.vantroImageQuality;
    const std::pair<const char*, const char*> values[] = {
        {s.logFile, "fromsystem"}, {s.logLevel, "info"}, {s.localDisplay, ":5"}, {s.localDisplayList, ":5"},
        {s.renderingServerLocalDisplayList, ":0.0"}, {s.host, "r"}, {s.renderingServerHost, "rs"},
        {s.encryption, "on"}, {s.vantroEncryption, "off"}};
    for (const auto& [value, expected] : values) EXPECT_STREQ(value, expected);
    systemFile("[Logging]\n");
    EXPECT_EQ(Settings().logFile, nullptr);
    unsetenv("VYR_USER_CONFIG_DIR");
    std::filesystem::create_directories(root / "vyr/conf");
    writeWholeFile(root / "vyr/conf/vyr.conf", "[Logging]\nlog_dir = home\n");
    EXPECT_STREQ(Settings().logDir, "home");
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

std::string joined(char* text) {
    std::string s = text ? text : "<none>";
    free(text);
    return s;
}

// Separators are not doubled, and only '/' is one (a backslash is part of the
// name); a result beyond 258 characters is none: 128 + '/' + 128 + '/' fit, the
// last separator then dropped.
TEST(JoinPath, SeparatorsAndLength) {
    const std::string a(128, 'a'), b(128, 'b'), b129 = b + "b", x300(300, 'x'), aSlash = a + "/", bSlash = b + "/";
    struct Row {
        const char* parts[4];
        std::string expected;
    } rows[] = {
        {{"/opt/", "conf", "x"}, "/opt/conf/x"},
        {{"a/", "b/"}, "a/b"},
        {{"a", "", "", "b"}, "a/b"},
        {{"a", nullptr, "ignored"}, "a"},
        {{nullptr}, ""},
        {{"", ""}, ""},
        {{"a\\", "b"}, "a\\/b"},
        {{a.c_str(), b.c_str()}, a + "/" + b},
        {{a.c_str(), b129.c_str()}, "<none>"},
        {{x300.c_str()}, "<none>"},
        {{aSlash.c_str(), bSlash.c_str()}, a + "/" + b},
    };
    for (const Row& r : rows)
        EXPECT_EQ(joined(vyr::joinPath(r.parts[0], r.parts[1], r.parts[2], r.parts[3], nullptr)), r.expected)
            << r.expected;
}

class PathsEnv : public ::testing::Test {
protected:
    void TearDown() override {
        for (const char* v : {"VYR_ROOT", "XDG_DATA_HOME", "HOME"}) unsetenv(v);
    }
};

TEST_F(PathsEnv, InstallDirectoryFromVyrRoot) {
    for (const char* root : {"/srv/vyr", "/srv/vyr/"}) {
        char buffer[512];
        setenv("VYR_ROOT", root, 1);
        vyr::installDirectory(buffer, sizeof buffer);
        EXPECT_STREQ(buffer, "/srv/vyr/");
    }
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
                          Case{"", "/", "/.local/share"},
                          Case{nullptr, nullptr, "/.local/share"}}) {  // without HOME, the root is home
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

// An echo goes to stderr whatever the level; a null format sets nothing up (a
// message after it reads the settings, and reports their broken file); without a
// file or a terminal the lines are dropped.
TEST_F(LogTest, EchoNullFormatAndNowhereToWrite) {
    ChildResult r = log({"3", "INFO", "1", "echoed"});
    EXPECT_EQ(r.err, "INFO: echoed\n");
    EXPECT_EQ(logFile(), "");
    std::filesystem::create_directories(dir / "conf");
    vyr::testing::writeWholeFile(dir / "conf/vyr.conf", "broken\n");
    EXPECT_EQ(log({"null"}).err, "");
    EXPECT_NE(log({"null", "2", "WARNING", "0", "x"}).err.find("<errnum 1> <linenum 1> <errstr Parser error.>"),
              std::string::npos);
    std::filesystem::remove(dir / "conf/vyr.conf");
    for (const char* file : {static_cast<const char*>(nullptr), ""}) {
        r = log({"1", "ERROR", "0", "nowhere"}, {{"VYR_LOG_FILE", file}});
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(r.err, "");
    }
    EXPECT_FALSE(std::filesystem::exists(base + "..txt"));
}

// A loopback listener on a free port.
struct Listener {
    Listener() {
        fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        listen(fd, 4);
        socklen_t n = sizeof a;
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n);
        port = ntohs(a.sin_port);
    }
    ~Listener() { close(fd); }
    int fd;
    int port;
};

// Once closed, the invalid handle never reaches the stack. (An address's numeric
// text: ProbeTest.FailedConnectionIsLogged; an empty address has none.)
TEST(Socket, ConnectsSendsReceivesAndClosesOnce) {
    EXPECT_EQ(vyr::Socket::Address().toString(), nullptr);
    Listener listener;
    vyr::TCPSocket* s = vyr::TCPSocket::getClientSocket("127.0.0.1", listener.port);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->type, 0);
    int peer = accept(listener.fd, nullptr, nullptr);
    ASSERT_GE(peer, 0);
    EXPECT_EQ(s->send("abc", 3), 3);
    char got[4] = {};
    EXPECT_EQ(recv(peer, got, 3, MSG_WAITALL), 3);
    EXPECT_STREQ(got, "abc");
    ::send(peer, "z", 1, 0);
    char reply = 0;
    EXPECT_EQ(s->receive(&reply, 1), 1);
    EXPECT_EQ(reply, 'z');
    close(peer);
    EXPECT_EQ(s->receive(&reply, 1), 0);  // peer closed
    EXPECT_EQ(s->close(), 0);
    EXPECT_EQ(s->close(), -1);
    EXPECT_EQ(s->handle, vyr::kInvalidSocket);
    EXPECT_EQ(s->send(&reply, 1), -1);
    EXPECT_EQ(s->receive(&reply, 1), -1);
    EXPECT_FALSE(s->connect(vyr::Socket::Address()));
    delete s;
}

// The port is cut to sixteen bits; nothing listening gives none, with or
// without a time-out; a receive time-out ends a wait without bytes.
TEST(Socket, PortsTimeOutsAndNothingListening) {
    int closed;
    {
        Listener gone;
        closed = gone.port;
    }
    for (int timeout : {0, 1000}) EXPECT_EQ(vyr::TCPSocket::getClientSocket("127.0.0.1", closed, timeout), nullptr);
    Listener listener;
    vyr::TCPSocket* s = vyr::TCPSocket::getClientSocket("127.0.0.1", listener.port + 65536, 2000);
    ASSERT_NE(s, nullptr);
    ASSERT_TRUE(s->setReceiveTimeout(200));
    char byte;
    EXPECT_LE(s->receive(&byte, 1), 0);
    s->close();
    delete s;
}

}  // namespace

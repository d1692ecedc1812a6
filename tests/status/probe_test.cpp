#include "status/desktop_capture_probe.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <regex>
#include <string>
#include <thread>

#include "common/child_process.h"
#include "common/socket.h"

using vyr::testing::BackgroundProcess;
using vyr::testing::TempDir;

namespace {

// The settings the socket layer's logger reads must not come from this machine.
TempDir settingsRoot;
const bool hermetic = [] {
    setenv("VYR_ROOT", settingsRoot.path().c_str(), 1);
    setenv("HOME", settingsRoot.path().c_str(), 1);
    unsetenv("VYR_USER_CONFIG_DIR");
    unsetenv("VYR_LOG_FILE");
    return true;
}();

class ProbeTest : public ::testing::Test {
protected:
    void SetUp() override { setenv("XDG_DATA_HOME", data.path().c_str(), 1); }
    void TearDown() override { unsetenv("XDG_DATA_HOME"); }

    std::string portFileDir() const { return data / "Tarsel/VYR"; }
    std::string portFile() const {
        char host[256] = "";
        gethostname(host, sizeof host);
        return portFileDir() + "/vyrdport." + host + ".WINSESSION";
    }
    void writePortFile(const std::string& text) {
        std::filesystem::create_directories(portFileDir());
        vyr::testing::writeWholeFile(portFile(), text);
    }

    BackgroundProcess* startSim(std::vector<std::string> args) {
        args.insert(args.begin(), VYRD_SIM);
        sim.reset(new BackgroundProcess(args, {{"XDG_DATA_HOME", data.path().c_str()}}));
        return sim.get();
    }

    // The probe's answer, with what it wrote on stderr.
    static std::pair<bool, std::string> probe() {
        ::testing::internal::CaptureStderr();
        bool answer = vyr::test::isUsingDesktopCapture();
        return {answer, ::testing::internal::GetCapturedStderr()};
    }

    TempDir data;
    std::unique_ptr<BackgroundProcess> sim;
};

// The daemon's behaviours, through the port file it publishes (for its owner
// only) and removes: the answer, and what the probe printed.
TEST_F(ProbeTest, AnswersOfTheDaemon) {
    const std::string noAnswer = "Could not get whether is using desktop capture from VYRD\n";
    struct Row {
        std::vector<std::string> simulator;
        bool answer;
        std::string err;
    } rows[] = {{{"--answer", "1"}, true, ""},        {{"--answer", "0"}, false, ""},
                {{"--answer", "2"}, false, ""},       {{"--close"}, false, noAnswer},
                {{"--stall"}, false, noAnswer},       {{"--cookie", std::string(70000, 'k')}, true, ""}};
    umask(022);  // the usual mask, which must not make the simulator's cookie readable to others
    for (const Row& row : rows) {
        ASSERT_FALSE(startSim(row.simulator)->firstLine().empty());
        EXPECT_EQ(std::filesystem::status(portFile()).permissions(),
                  std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
        for (int call = 0; call < 2; ++call)  // each call is a fresh exchange
            EXPECT_EQ(probe(), std::pair(row.answer, row.err)) << row.simulator[0];
        EXPECT_EQ(sim->stop(), 0);
        EXPECT_FALSE(std::filesystem::exists(portFile()));
    }
}

// The cookie is far larger than the loopback buffers take in, so sending it blocks
// until the probe's own time-out ends the wait.
TEST_F(ProbeTest, DaemonThatNeverReadsCannotHoldTheProbe) {
    int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof a;
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&a), size), 0);
    ASSERT_EQ(listen(listener, 1), 0);
    getsockname(listener, reinterpret_cast<sockaddr*>(&a), &size);
    writePortFile("[vyrd]\nport = " + std::to_string(ntohs(a.sin_port)) + "\ncookie = " +
                  std::string(16 << 20, 'c') + "\n");
    int peer = -1;
    std::thread accepter([&] { peer = accept(listener, nullptr, nullptr); });
    auto answer = std::async(std::launch::async, probe);
    // Generous: only a probe without a send time-out misses it.
    bool ended = answer.wait_for(std::chrono::seconds(60)) == std::future_status::ready;
    shutdown(listener, SHUT_RDWR);
    accepter.join();
    close(peer);  // lets a probe that is still blocked go
    close(listener);
    EXPECT_TRUE(ended);
    EXPECT_EQ(answer.get(), std::pair(false, std::string("Could not send cookie to VYRD\n")));
}


// The port is cut to sixteen bits; only the right cookie is answered.
TEST_F(ProbeTest, PortIsCutToSixteenBitsAndTheCookieChecked) {
    startSim({"--port", "4464", "--cookie", "c", "--no-port-file"});
    if (sim->firstLine().empty()) GTEST_SKIP() << "port 4464 is taken on this machine";
    // The wrong cookie gets no answer.
    for (auto [cookie, answer] : {std::pair{"wrong", false}, {"c", true}}) {
        writePortFile("[VYRD]\nPort = 70000\nCookie = " + std::string(cookie) + "\n");
        std::string err = answer ? "" : "Could not get whether is using desktop capture from VYRD\n";
        EXPECT_EQ(probe(), std::pair(answer, err)) << cookie;
    }
}

// The flag, the cookie and the command, each with its NUL.
TEST_F(ProbeTest, RequestCarriesTheCookieByteForByte) {
    std::string record = data / "request.bin";
    for (std::string cookie : {"", "a\"b c"}) {
        ASSERT_FALSE(startSim({"--cookie", cookie, "--record", record, "--once"})->firstLine().empty());
        EXPECT_EQ(probe(), std::pair(true, std::string())) << cookie;
        EXPECT_EQ(sim->wait(), 0);
        EXPECT_EQ(vyr::testing::readWholeFile(record),
                  "\x02" + cookie + std::string("\0is-using-desktop-capture\0", 26));
    }
}

// A missing or broken file is reported by the reader of the file twice
// (the probe reads it, the settings do not); the rest only as not running.
TEST_F(ProbeTest, UnusablePortFiles) {
    std::string missing = "Cannot open .ini file \"" + portFile() + "\": No such file or directory.\n";
    std::string broken = "Cannot parse .ini file \"" + portFile() + "\": Parser error. (line 3)\n";
    const std::pair<const char*, std::string> rows[] = {
        {nullptr, missing + missing},
        {"[vyrd]\nport = 1234\nnot a pair\n", broken + broken},
        {"[vyrd]\nport = 1234\n", ""},
        {"[vyrd]\nport = 0\ncookie = x\n", ""},
        {"[vyrd]\nport =\ncookie = x\n", ""},
        {"[vyrd]\nport = daemon\ncookie = x\n", ""},
        {"[other]\nport = 1234\ncookie = x\n", ""}};
    for (const auto& [text, reported] : rows) {
        if (text) writePortFile(text);
        EXPECT_EQ(probe(), std::pair(false, reported + "VYRD is not running\n")) << (text ? text : "no file");
    }
}

TEST_F(ProbeTest, FailedConnectionIsLogged) {
    BackgroundProcess gone({VYRD_SIM, "--no-port-file"});  // a port that was free and is closed again
    writePortFile("[vyrd]\nport = " + std::to_string(std::stoi(gone.firstLine())) + "\ncookie = x\n");
    gone.stop();
    std::string base = data / "vyrtest";
    vyr::testing::ChildResult r = vyr::testing::runChild(
        {STATUS_CHILD}, {{"XDG_DATA_HOME", data.path().c_str()}, {"VYR_LOG_FILE", base.c_str()},
                         {"VYR_LOG_LEVEL", "info"}});
    EXPECT_EQ(r.out, "0\n");
    EXPECT_EQ(r.err, "Could not connect to VYRD\n");
    std::string log;
    for (const auto& entry : std::filesystem::directory_iterator(data.path()))
        if (entry.path().filename().string().rfind("vyrtest.", 0) == 0) log = vyr::testing::readWholeFile(entry.path());
    EXPECT_TRUE(std::regex_match(
        log, std::regex(R"(I \d+\.\d{3} \d+:\d+ VYR \(vyr::TCPSocket::getClientSocket\): Failed to connect to addr: 127\.0\.0\.1\n)")))
        << log;
}

TEST_F(ProbeTest, SilentClientDoesNotHoldTheSimulator) {
    ASSERT_FALSE(startSim({"--cookie", "k", "--client-timeout", "200"})->firstLine().empty());
    int port = std::stoi(sim->firstLine());
    std::unique_ptr<vyr::TCPSocket> silent(vyr::TCPSocket::getClientSocket("127.0.0.1", port));
    std::unique_ptr<vyr::TCPSocket> asking(vyr::TCPSocket::getClientSocket("127.0.0.1", port));
    ASSERT_TRUE(silent && asking);
    // Generous: only a simulator still waiting on the silent client misses it.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    std::string request("\x02k\0is-using-desktop-capture\0", 28);
    EXPECT_EQ(vyr::test::sendAll(*asking, request.data(), 28, deadline), 28);
    unsigned char reply = 0;
    EXPECT_EQ(vyr::test::receiveAll(*asking, &reply, 1, deadline), 1);
    EXPECT_EQ(reply, 1);
    silent->close();
    asking->close();
}

}  // namespace

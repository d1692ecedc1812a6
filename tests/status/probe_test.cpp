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
TempDir& settingsRoot() {
    static TempDir dir;
    return dir;
}
const bool hermetic = [] {
    setenv("VYR_ROOT", settingsRoot().path().c_str(), 1);
    setenv("HOME", settingsRoot().path().c_str(), 1);
    unsetenv("VYR_USER_CONFIG_DIR");
    unsetenv("VYR_LOG_FILE");
    return true;
}();

std::string hostName() {
    char host[256] = "";
    gethostname(host, sizeof host);
    return host;
}

class ProbeTest : public ::testing::Test {
protected:
    void SetUp() override { setenv("XDG_DATA_HOME", data.path().c_str(), 1); }
    void TearDown() override { unsetenv("XDG_DATA_HOME"); }

    std::string portFileDir() const { return data / "Tarsel/VYR"; }
    std::string portFile() const { return portFileDir() + "/vyrdport." + hostName() + ".WINSESSION"; }
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
    bool probe(std::string& err) {
        ::testing::internal::CaptureStderr();
        bool answer = vyr::test::isUsingDesktopCapture();
        err = ::testing::internal::GetCapturedStderr();
        return answer;
    }

    TempDir data;
    std::unique_ptr<BackgroundProcess> sim;
};

TEST_F(ProbeTest, AnswerOneMeansDesktopCapture) {
    ASSERT_FALSE(startSim({"--answer", "1"})->firstLine().empty());
    std::string err;
    EXPECT_TRUE(probe(err));
    EXPECT_EQ(err, "");
    // Each call is a fresh exchange.
    EXPECT_TRUE(probe(err));
}

TEST_F(ProbeTest, OtherAnswersMeanNoCapture) {
    for (const char* answer : {"0", "2"}) {
        ASSERT_FALSE(startSim({"--answer", answer})->firstLine().empty());
        std::string err;
        EXPECT_FALSE(probe(err)) << answer;
        EXPECT_EQ(err, "");
        EXPECT_EQ(sim->stop(), 0);
        EXPECT_FALSE(std::filesystem::exists(portFile()));
    }
}

TEST_F(ProbeTest, DaemonClosingWithoutReply) {
    ASSERT_FALSE(startSim({"--close"})->firstLine().empty());
    std::string err;
    EXPECT_FALSE(probe(err));
    EXPECT_EQ(err, "Could not get whether is using desktop capture from VYRD\n");
}

TEST_F(ProbeTest, DaemonThatNeverAnswersTimesOut) {
    ASSERT_FALSE(startSim({"--stall"})->firstLine().empty());
    std::string err;
    EXPECT_FALSE(probe(err));
    EXPECT_EQ(err, "Could not get whether is using desktop capture from VYRD\n");
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
    std::string err;
    auto answer = std::async(std::launch::async, [&] { return probe(err); });
    // Generous: only a probe without a send time-out misses it.
    bool ended = answer.wait_for(std::chrono::seconds(60)) == std::future_status::ready;
    shutdown(listener, SHUT_RDWR);
    accepter.join();
    close(peer);  // lets a probe that is still blocked go
    close(listener);
    EXPECT_TRUE(ended);
    EXPECT_FALSE(answer.get());
    EXPECT_EQ(err, "Could not send cookie to VYRD\n");
}

TEST_F(ProbeTest, WrongCookieGetsNoAnswer) {
    ASSERT_FALSE(startSim({"--cookie", "right", "--no-port-file"})->firstLine().empty());
    int port = std::stoi(sim->firstLine());
    writePortFile("[vyrd]\nport = " + std::to_string(port) + "\ncookie = wrong\n");
    std::string err;
    EXPECT_FALSE(probe(err));
    EXPECT_EQ(err, "Could not get whether is using desktop capture from VYRD\n");
}

TEST_F(ProbeTest, PortIsCutToSixteenBits) {
    startSim({"--port", "4464", "--cookie", "c", "--no-port-file", "--once"});
    if (sim->firstLine().empty()) GTEST_SKIP() << "port 4464 is taken on this machine";
    writePortFile("[VYRD]\nPort = 70000\nCookie = c\n");
    std::string err;
    EXPECT_TRUE(probe(err));
    EXPECT_EQ(err, "");
    EXPECT_EQ(sim->wait(), 0);  // --once: one exchange, then it ends
}

TEST_F(ProbeTest, EmptyCookieSendsTwentySevenBytes) {
    std::string record = data / "request.bin";
    ASSERT_FALSE(startSim({"--cookie", "", "--record", record, "--once"})->firstLine().empty());
    std::string err;
    EXPECT_TRUE(probe(err));
    EXPECT_EQ(err, "");
    EXPECT_EQ(sim->wait(), 0);
    EXPECT_EQ(vyr::testing::readWholeFile(record), std::string("\x02\0is-using-desktop-capture\0", 27));
}

TEST_F(ProbeTest, RequestCarriesTheCookieByteForByte) {
    std::string record = data / "request.bin";
    ASSERT_FALSE(startSim({"--cookie", "a\"b c", "--record", record, "--once"})->firstLine().empty());
    std::string err;
    EXPECT_TRUE(probe(err));
    sim->wait();
    EXPECT_EQ(vyr::testing::readWholeFile(record), std::string("\x02" "a\"b c\0is-using-desktop-capture\0", 32));
}

TEST_F(ProbeTest, NoPortFile) {
    std::string err;
    EXPECT_FALSE(probe(err));
    std::string open = "Cannot open .ini file \"" + portFile() + "\": No such file or directory.\n";
    EXPECT_EQ(err, open + open + "VYRD is not running\n");
}

TEST_F(ProbeTest, UnusablePortFiles) {
    for (const char* text : {"[vyrd]\nport = 1234\n", "[vyrd]\nport = 0\ncookie = x\n", "[vyrd]\nport =\ncookie = x\n",
                             "[vyrd]\nport = daemon\ncookie = x\n", "[other]\nport = 1234\ncookie = x\n"}) {
        writePortFile(text);
        std::string err;
        EXPECT_FALSE(probe(err)) << text;
        EXPECT_EQ(err, "VYRD is not running\n") << text;
    }
}

TEST_F(ProbeTest, BrokenPortFileIsReportedTwice) {
    writePortFile("[vyrd]\nport = 1234\nnot a pair\n");
    std::string err;
    EXPECT_FALSE(probe(err));
    std::string line = "Cannot parse .ini file \"" + portFile() + "\": Parser error. (line 3)\n";
    EXPECT_EQ(err, line + line + "VYRD is not running\n");
}

int closedPort() {
    BackgroundProcess gone({VYRD_SIM, "--no-port-file"});
    int port = std::stoi(gone.firstLine());
    gone.stop();
    return port;
}

TEST_F(ProbeTest, NothingListening) {
    writePortFile("[vyrd]\nport = " + std::to_string(closedPort()) + "\ncookie = x\n");
    std::string err;
    EXPECT_FALSE(probe(err));
    EXPECT_EQ(err, "Could not connect to VYRD\n");
}

TEST_F(ProbeTest, FailedConnectionIsLogged) {
    writePortFile("[vyrd]\nport = " + std::to_string(closedPort()) + "\ncookie = x\n");
    std::string base = data / "vyrtest";
    vyr::testing::ChildResult r = vyr::testing::runChild(
        {STATUS_CHILD}, {{"XDG_DATA_HOME", data.path().c_str()}, {"VYR_LOG_FILE", base.c_str()},
                         {"VYR_LOG_LEVEL", "info"}});
    EXPECT_EQ(r.out, "0\n");
    EXPECT_EQ(r.err, "Could not connect to VYRD\n");
    std::string log;
    for (const auto& entry : std::filesystem::directory_iterator(data.path())) {
        if (entry.path().filename().string().rfind("vyrtest.", 0) == 0) log = vyr::testing::readWholeFile(entry.path());
    }
    EXPECT_TRUE(std::regex_match(
        log, std::regex(R"(I \d+\.\d{3} \d+:\d+ VYR \(vyr::TCPSocket::getClientSocket\): Failed to connect to addr: 127\.0\.0\.1\n)")))
        << log;
}

TEST_F(ProbeTest, SimulatorPublishesAndRemovesItsPortFile) {
    umask(022);  // the usual mask, which must not make the cookie readable to others
    ASSERT_FALSE(startSim({"--cookie", "k"})->firstLine().empty());
    std::string text = vyr::testing::readWholeFile(portFile());
    EXPECT_EQ(text, "[vyrd]\nport = " + std::to_string(std::stoi(sim->firstLine())) + "\ncookie = k\n");
    using std::filesystem::perms;
    EXPECT_EQ(std::filesystem::status(portFile()).permissions(), perms::owner_read | perms::owner_write);
    EXPECT_EQ(sim->stop(), 0);
    EXPECT_FALSE(std::filesystem::exists(portFile()));
}

TEST_F(ProbeTest, CookiesBeyond64KiBAreServed) {
    ASSERT_FALSE(startSim({"--cookie", std::string(70000, 'k')})->firstLine().empty());
    std::string err;
    EXPECT_TRUE(probe(err));
    EXPECT_EQ(err, "");
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

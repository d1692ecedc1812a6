// The real program on its own Xvfb with SDL's disk audio driver: what it plays
// is compared byte for byte with the soundtrack file, session by session (one
// session is one start of playback).
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "sound/audio_capture.h"
#include "sound/wav_reader.h"
#include "window/x_test_server.h"

namespace vyr::testing {
namespace {

using State = AudioCapture::State;

std::string soundtrackPath() {
    const char* build = getenv("VYR_BUILD_DIR");
    return std::string(build ? build : ".") + "/share/vyr/sounds/soundtrack.wav";
}

class ProgramSound : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        track = new WavFile(readWav(soundtrackPath()));
        server = new XTestServer();
        if (!server->start({"-screen", "0", "1280x1024x24", "+extension", "GLX"})) {
            delete server;
            server = nullptr;
        }
    }
    static void TearDownTestSuite() {
        delete server;
        server = nullptr;
        delete track;
        track = nullptr;
    }

    void SetUp() override {
        ASSERT_NE(server, nullptr) << "Xvfb did not start";
        ASSERT_TRUE(track->valid) << soundtrackPath();
        ASSERT_GT(track->data.size(), size_t(track->byteRate)) << "a soundtrack shorter than a second";
        ASSERT_TRUE(capture.start());
        user = XOpenDisplay(server->display().c_str());
        ASSERT_NE(user, nullptr);
        char pattern[] = "/tmp/vyr-sound-out.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        outputDir = pattern;
    }
    void TearDown() override {
        if (program > 0) {
            kill(program, SIGKILL);
            waitpid(program, nullptr, 0);
            program = -1;
        }
        capture.stop();
        if (user) XCloseDisplay(user);
        user = nullptr;
        unlink((outputDir + "/out.txt").c_str());
        unlink((outputDir + "/err.txt").c_str());
        if (!emptyRoot.empty()) rmdir(emptyRoot.c_str());
        rmdir(outputDir.c_str());
    }

    // root: the VYR_ROOT to run with, or none (the program then finds the
    // build tree's share/ above its bin/).
    // audioFile: where the disk driver writes, the capture's FIFO unless given.
    void start(std::vector<std::string> arguments, const char* root = nullptr, const char* audioFile = nullptr) {
        program = fork();
        if (program == 0) {
            // Blocked opening the FIFO with no reader left, it would wait forever.
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            int out = open((outputDir + "/out.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            int err = open((outputDir + "/err.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            dup2(out, STDOUT_FILENO);
            dup2(err, STDERR_FILENO);
            setenv("SDL_AUDIODRIVER", "disk", 1);
            setenv("SDL_DISKAUDIOFILE", audioFile ? audioFile : capture.path().c_str(), 1);
            setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
            if (root)
                setenv("VYR_ROOT", root, 1);
            else
                unsetenv("VYR_ROOT");
            std::string path = VYRTEST_PROGRAM;
            std::vector<char*> argv{const_cast<char*>(path.c_str())};
            for (std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        ASSERT_GT(program, 0);
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!(window = findProgramWindow(DefaultRootWindow(user))) && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        ASSERT_NE(window, 0u) << "no mapped VYRTEST window";
        XSetInputFocus(user, window, RevertToPointerRoot, CurrentTime);
        XSync(user, False);
        // The soundtrack starts before the window is shown; let its first
        // bytes reach the reader before looking.
        settle();
    }

    ::Window findProgramWindow(::Window under) {
        ::Window root = 0, parent = 0, *children = nullptr;
        unsigned count = 0;
        if (!XQueryTree(user, under, &root, &parent, &children, &count)) return 0;
        ::Window found = 0;
        for (unsigned i = 0; i < count && !found; ++i) {
            XClassHint hint{};
            if (XGetClassHint(user, children[i], &hint)) {
                bool ours = hint.res_class && strcmp(hint.res_class, "VYRTEST") == 0;
                XFree(hint.res_name);
                XFree(hint.res_class);
                XWindowAttributes attributes;
                if (ours && XGetWindowAttributes(user, children[i], &attributes) &&
                    attributes.map_state == IsViewable)
                    found = children[i];
            }
            if (!found) found = findProgramWindow(children[i]);
        }
        if (children) XFree(children);
        return found;
    }

    void tap(KeySym keysym) {
        KeyCode code = XKeysymToKeycode(user, keysym);
        XTestFakeKeyEvent(user, code, True, CurrentTime);
        XTestFakeKeyEvent(user, code, False, CurrentTime);
        XSync(user, False);
    }
    // Time for a key to be handled or a device to open; what follows checks content only.
    static void settle() { std::this_thread::sleep_for(std::chrono::milliseconds(1000)); }

    int quit() {
        tap(XK_Escape);
        for (int i = 0; i < 300; ++i) {
            int status = 0;
            if (waitpid(program, &status, WNOHANG) == program) {
                program = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -2;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return -1;
    }

    // What the program printed, without its frame-rate reports (they come with time).
    std::string output(const char* name) {
        std::ifstream in(outputDir + "/" + name, std::ios::binary);
        std::string text, line;
        while (std::getline(in, line))
            if (line.rfind("Produced ", 0) != 0) text += line + "\n";
        return text;
    }

    static size_t leadingSilence(const std::vector<uint8_t>& bytes) {
        size_t i = 0;
        while (i + 1 < bytes.size() && bytes[i] == 0 && bytes[i + 1] == 0) i += 2;
        return i;
    }
    // Where the session first differs from the looping soundtrack started at
    // its beginning; its length when it does not. SDL writes silence while a
    // freshly opened device is still paused, so silence may come first.
    static size_t mismatch(const std::vector<uint8_t>& session) {
        const std::vector<uint8_t>& d = track->data;
        size_t from = leadingSilence(session), offset = leadingSilence(d);
        for (size_t i = from; i < session.size(); ++i)
            if (session[i] != d[(offset + i - from) % d.size()]) return i;
        return session.size();
    }
    static int16_t expectedSample(const std::vector<uint8_t>& session, size_t byte) {
        const std::vector<uint8_t>& d = track->data;
        size_t at = (leadingSilence(d) + byte - std::min(byte, leadingSilence(session))) % d.size() & ~size_t(1);
        return int16_t(d[at] | d[(at + 1) % d.size()] << 8);
    }
    static bool sessionHolds(const State& s, size_t index, size_t bytes) {
        return s.sessions.size() > index && s.sessions[index].size() >= bytes;
    }
    static size_t seconds(double s) { return size_t(s * track->byteRate); }

    void expectFromTheBeginning(size_t index) {
        State s = capture.snapshot();
        ASSERT_GT(s.sessions.size(), index);
        const std::vector<uint8_t>& session = s.sessions[index];
        ASSERT_FALSE(session.empty());
        size_t at = mismatch(session);
        std::string around;
        for (size_t i = at & ~size_t(1); i < session.size() && i < (at & ~size_t(1)) + 16; i += 2)
            around += " " + std::to_string(int16_t(session[i] | session[i + 1] << 8)) + "/" +
                      std::to_string(expectedSample(session, i));
        EXPECT_EQ(at, session.size()) << "session " << index << " of " << session.size()
                                      << " bytes is not the soundtrack from its beginning; played/expected from byte " << at
                                      << ":" << around;
    }
    void waitForBytes(size_t index, size_t bytes) {
        ASSERT_TRUE(capture.waitFor([&](const State& s) { return sessionHolds(s, index, bytes); }))
            << "session " << index << " never reached " << bytes << " bytes";
    }
    void waitForEnd(size_t index) {
        ASSERT_TRUE(capture.waitFor([&](const State& s) { return s.sessions.size() > index && (s.sessions.size() > index + 1 || !s.open); }))
            << "session " << index << " did not end";
    }

    static XTestServer* server;
    static WavFile* track;
    AudioCapture capture;
    Display* user = nullptr;
    pid_t program = -1;
    ::Window window = 0;
    std::string outputDir;
    std::string emptyRoot;
};

XTestServer* ProgramSound::server = nullptr;
WavFile* ProgramSound::track = nullptr;

TEST_F(ProgramSound, PlaysTheSoundtrackFromItsBeginningAndLoopsIt) {
    start({});
    // Past the end of the file: the loop goes on with its first sample.
    size_t wanted = track->data.size() + seconds(0.5);
    ASSERT_TRUE(capture.waitFor([&](const State& s) { return sessionHolds(s, 0, wanted); }, 60000));
    expectFromTheBeginning(0);
    EXPECT_EQ(capture.snapshot().sessions.size(), 1u);
    EXPECT_EQ(quit(), 0);
}

TEST_F(ProgramSound, PauseStopsTheSoundAndResumeStartsItFromTheBeginning) {
    start({});
    waitForBytes(0, seconds(1));
    tap(XK_space);
    waitForEnd(0);
    settle();
    EXPECT_EQ(capture.snapshot().sessions.size(), 1u) << "sound while paused";
    expectFromTheBeginning(0);
    tap(XK_space);
    waitForBytes(1, seconds(1));
    expectFromTheBeginning(1);
    EXPECT_EQ(quit(), 0);
}

TEST_F(ProgramSound, MTwiceRestartsFromTheBeginning) {
    start({});
    waitForBytes(0, seconds(1.5));
    tap(XK_m);
    waitForEnd(0);
    tap(XK_m);
    waitForBytes(1, seconds(1));
    expectFromTheBeginning(0);
    expectFromTheBeginning(1);
    EXPECT_EQ(capture.snapshot().sessions.size(), 2u);
    EXPECT_EQ(quit(), 0);
}

TEST_F(ProgramSound, NosoundPlaysNothingUntilM) {
    start({"-nosound"});
    tap(XK_space);
    settle();
    tap(XK_space);
    settle();
    EXPECT_TRUE(capture.snapshot().sessions.empty()) << "sound with -nosound across a pause and resume";
    tap(XK_m);
    waitForBytes(0, seconds(1));
    expectFromTheBeginning(0);
    EXPECT_EQ(quit(), 0);
}

TEST_F(ProgramSound, PausedPlaysDuringTheInitialPauseAndTheFirstSpaceKeepsItPlaying) {
    start({"-paused"});
    waitForBytes(0, seconds(1));
    size_t before = capture.snapshot().sessions[0].size();
    tap(XK_space);  // resume: keeps playing without a restart
    waitForBytes(0, before + seconds(1));
    {
        State s = capture.snapshot();
        EXPECT_EQ(s.sessions.size(), 1u) << "the resume restarted the soundtrack";
        EXPECT_TRUE(s.open);
    }
    expectFromTheBeginning(0);
    tap(XK_space);  // pause: stops it
    waitForEnd(0);
    EXPECT_EQ(quit(), 0);
    EXPECT_EQ(capture.snapshot().sessions.size(), 1u);
}

TEST_F(ProgramSound, MWhilePausedOnlyFlipsTheMuteFlag) {
    start({"-paused"});
    waitForBytes(0, seconds(0.5));
    tap(XK_m);  // muted: stops
    waitForEnd(0);
    tap(XK_m);  // unmuted, but paused: stays silent
    settle();
    EXPECT_EQ(capture.snapshot().sessions.size(), 1u) << "M while paused started the sound";
    tap(XK_space);  // resume: starts it again
    waitForBytes(1, seconds(1));
    expectFromTheBeginning(1);
    EXPECT_EQ(quit(), 0);
}

// The audio library must not take SIGTERM for itself: the program, playing,
// still ends on it.
TEST_F(ProgramSound, EndsOnSigtermWhilePlaying) {
    start({});
    waitForBytes(0, seconds(0.5));
    kill(program, SIGTERM);
    int status = 0;
    bool ended = false;
    for (int i = 0; i < 200 && !ended; ++i) {
        ended = waitpid(program, &status, WNOHANG) == program;
        if (!ended) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_TRUE(ended) << "still running after SIGTERM";
    program = -1;
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
}

// The audio device cannot be opened: the program stays silent and runs on.
TEST_F(ProgramSound, WithoutAnAudioDeviceItRunsOnSilently) {
    start({}, nullptr, "/nonexistent/folder/audio.raw");
    tap(XK_space);
    tap(XK_space);
    tap(XK_m);
    tap(XK_m);
    settle();
    EXPECT_EQ(quit(), 0);
}

TEST_F(ProgramSound, AMissingFilePlaysNothingAndPrintsNothing) {
    char pattern[] = "/tmp/vyr-empty-root.XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    emptyRoot = pattern;
    start({"-nosound", "-fl", "30"}, emptyRoot.c_str());
    EXPECT_EQ(quit(), 0);
    std::string quietOut = output("out.txt"), quietErr = output("err.txt");

    start({"-fl", "30"}, emptyRoot.c_str());
    tap(XK_space);
    tap(XK_space);
    tap(XK_m);
    tap(XK_m);
    settle();
    EXPECT_EQ(quit(), 0);
    EXPECT_TRUE(capture.snapshot().sessions.empty());
    // The same report as a run that never looks for the file, nothing more.
    EXPECT_EQ(output("err.txt"), quietErr);
    EXPECT_EQ(output("out.txt"), quietOut);
}

}  // namespace
}  // namespace vyr::testing

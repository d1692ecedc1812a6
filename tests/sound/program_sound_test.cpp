// The real program on its own test display with SDL's disk audio driver: what it plays
// is compared byte for byte with the soundtrack file, session by session (one
// session is one start of playback).
#include <gtest/gtest.h>

#include <X11/keysym.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <sstream>
#include <thread>

#include "window/x_test_server.h"

namespace vyr::testing {
namespace {

// What the program plays, captured through SDL's disk audio driver writing
// into a FIFO: every open of the audio device is one session of bytes, so a
// stop and a start are seen as the end of one session and the start of the next.
class AudioCapture {
public:
    struct State {
        std::vector<std::vector<uint8_t>> sessions;
        bool open = false;  // the last session is still being written
    };

    // Creates the FIFO and starts draining it; SDL_DISKAUDIOFILE is to name path().
    bool start() {
        if (mkfifo(path().c_str(), 0600) != 0) return false;
        reader_ = std::thread([this] { drain(); });
        return true;
    }
    ~AudioCapture() {
        if (!reader_.joinable()) return;
        stopping_ = true;
        // A writer that comes and goes wakes the reader blocked in open().
        while (!finished_) {
            int fd = open(path().c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (fd >= 0) close(fd);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        reader_.join();
    }
    std::string path() const { return directory_ / "audio.raw"; }

    // Reads or changes the state under the lock.
    template <typename Edit>
    auto change(const Edit& edit) {
        std::lock_guard<std::mutex> lock(mutex_);
        return edit(state_);
    }
    State snapshot() { return change([](State& s) { return s; }); }
    // Waits (at most timeoutMs) until the condition holds; returns whether it did.
    bool waitFor(const std::function<bool(const State&)>& condition, int timeoutMs = 30000) {
        return waitUntil([&] { return change(condition); }, timeoutMs);
    }

private:
    void drain() {
        while (!stopping_) {
            // Blocks until the program opens its audio device.
            int fd = open(path().c_str(), O_RDONLY | O_CLOEXEC);
            if (fd < 0 || stopping_) {
                if (fd >= 0) close(fd);
                break;
            }
            change([](State& s) { s.sessions.emplace_back(), s.open = true; });
            uint8_t buffer[8192];
            ssize_t n;
            while ((n = read(fd, buffer, sizeof buffer)) > 0)
                change([&](State& s) { s.sessions.back().insert(s.sessions.back().end(), buffer, buffer + n); });
            close(fd);
            change([](State& s) { s.open = false; });
        }
        finished_ = true;
    }

    TempDir directory_;
    std::mutex mutex_;
    State state_;
    std::atomic<bool> stopping_{false}, finished_{false};
    std::thread reader_;
};

using State = AudioCapture::State;

class ProgramSound : public ::testing::Test {
protected:
    // The soundtrack's samples, after its 44-byte header (songgen_tests check the format).
    static void SetUpTestSuite() {
        std::string wav = readWholeFile(std::string(getenv("VYR_BUILD_DIR")) + "/share/vyr/sounds/soundtrack.wav");
        track.assign(wav.begin() + std::min<size_t>(44, wav.size()), wav.end());
    }
    void SetUp() override {
        ASSERT_GT(track.size(), seconds(1)) << "a soundtrack shorter than a second";
        ASSERT_TRUE(capture.start());
        ASSERT_TRUE(session.open()) << "the test display did not start";
    }
    // root: the VYR_ROOT to run with, or none (the program then finds the
    // build tree's share/ above its bin/). audioFile: where the disk driver
    // writes, the capture's FIFO unless given.
    void start(std::vector<std::string> arguments, const char* root = nullptr, const char* audioFile = nullptr) {
        arguments.insert(arguments.begin(), VYRTEST_PROGRAM);
        ASSERT_TRUE(session.start(arguments, {{"SDL_AUDIODRIVER", "disk"},
                                              {"SDL_DISKAUDIOFILE", audioFile ? audioFile : capture.path().c_str()},
                                              {"LIBGL_ALWAYS_SOFTWARE", "1"},
                                              {"VYR_ROOT", root}}));
    }
    void tap(unsigned long keysym) { tapKey(session.user, keysym); }
    // A second tap of the same key at once would be taken for a repeat: each
    // waits for the picture to stop and to move again.
    void pauseAndResume() {
        tap(XK_space);
        ASSERT_TRUE(pictureStandsStill(session.user, session.window));
        tap(XK_space);
        ASSERT_TRUE(pictureChanges(session.user, session.window));
    }

    // Where the session first differs from the looping soundtrack started at
    // its beginning; its length when it does not. SDL writes silence while a
    // freshly opened device is still paused, so silence may come first.
    static size_t leadingSilence(const std::vector<uint8_t>& bytes) {
        size_t i = 0;
        while (i + 1 < bytes.size() && bytes[i] == 0 && bytes[i + 1] == 0) i += 2;
        return i;
    }
    static size_t mismatch(const std::vector<uint8_t>& session) {
        size_t from = leadingSilence(session), offset = leadingSilence(track);
        for (size_t i = from; i < session.size(); ++i)
            if (session[i] != track[(offset + i - from) % track.size()]) return i;
        return session.size();
    }
    static size_t seconds(double s) { return size_t(s * 44100); }

    void expectFromTheBeginning(size_t index) {
        State s = capture.snapshot();
        ASSERT_GT(s.sessions.size(), index);
        ASSERT_FALSE(s.sessions[index].empty());
        EXPECT_EQ(mismatch(s.sessions[index]), s.sessions[index].size())
            << "session " << index << " is not the soundtrack from its beginning";
    }
    bool sessions(size_t count, int timeoutMs = 30000) {
        return capture.waitFor([&](const State& s) { return s.sessions.size() >= count; }, timeoutMs);
    }
    void waitForBytes(size_t index, size_t bytes, int timeoutMs = 30000) {
        ASSERT_TRUE(capture.waitFor(
            [&](const State& s) { return s.sessions.size() > index && s.sessions[index].size() >= bytes; }, timeoutMs))
            << "session " << index << " never reached " << bytes << " bytes";
    }
    void waitForEnd(size_t index) {
        ASSERT_TRUE(capture.waitFor([&](const State& s) {
            return s.sessions.size() > index && (s.sessions.size() > index + 1 || !s.open);
        })) << "session " << index << " did not end";
    }

    static inline std::vector<uint8_t> track;
    AudioCapture capture;
    ProgramSession session;
};

// The audio library must not take SIGTERM for itself: the program, playing,
// still ends on it.
TEST_F(ProgramSound, PlaysTheSoundtrackFromItsBeginningAndLoopsItAndEndsOnSigterm) {
    start({});
    // Past the end of the file: the loop goes on with its first sample.
    waitForBytes(0, track.size() + seconds(0.5), 60000);
    expectFromTheBeginning(0);
    EXPECT_EQ(capture.snapshot().sessions.size(), 1u);
    EXPECT_EQ(session.program.stop(SIGTERM), 128 + SIGTERM);
}

// Space (pause and resume) and M (mute and unmute), one program each: the first
// tap stops the sound, the second starts it again from the beginning.
TEST_F(ProgramSound, PauseOrMTwiceRestartsFromTheBeginning) {
    for (unsigned long key : {XK_space, XK_m}) {
        size_t first = capture.snapshot().sessions.size();  // the sessions of this program's run
        start({});
        waitForBytes(first, seconds(1.5));
        tap(key);
        waitForEnd(first);
        EXPECT_FALSE(sessions(first + 2, 1500)) << "sound while stopped by " << key;
        tap(key);
        waitForBytes(first + 1, seconds(1));
        expectFromTheBeginning(first);
        expectFromTheBeginning(first + 1);
        EXPECT_EQ(capture.snapshot().sessions.size(), first + 2);
        EXPECT_EQ(session.quit(), 0);
    }
}

TEST_F(ProgramSound, NosoundPlaysNothingUntilM) {
    start({"-nosound"});
    pauseAndResume();
    EXPECT_FALSE(sessions(1, 1500)) << "sound with -nosound across a pause and resume";
    tap(XK_m);
    waitForBytes(0, seconds(1));
    expectFromTheBeginning(0);
    EXPECT_EQ(session.quit(), 0);
}

TEST_F(ProgramSound, PausedPlaysDuringTheInitialPauseAndTheFirstSpaceKeepsItPlaying) {
    start({"-paused"});
    waitForBytes(0, seconds(1));
    size_t before = capture.snapshot().sessions[0].size();
    tap(XK_space);  // resume: keeps playing without a restart
    waitForBytes(0, before + seconds(1));
    EXPECT_EQ(capture.snapshot().sessions.size(), 1u) << "the resume restarted the soundtrack";
    EXPECT_TRUE(capture.snapshot().open);
    expectFromTheBeginning(0);
    tap(XK_space);  // pause: stops it
    waitForEnd(0);
    EXPECT_EQ(session.quit(), 0);
    EXPECT_EQ(capture.snapshot().sessions.size(), 1u);
}

TEST_F(ProgramSound, MWhilePausedOnlyFlipsTheMuteFlag) {
    start({"-paused"});
    waitForBytes(0, seconds(0.5));
    tap(XK_m);  // muted: stops
    waitForEnd(0);
    tap(XK_m);  // unmuted, but paused: stays silent
    EXPECT_FALSE(sessions(2, 1500)) << "M while paused started the sound";
    tap(XK_space);  // resume: starts it again
    waitForBytes(1, seconds(1));
    expectFromTheBeginning(1);
    EXPECT_EQ(session.quit(), 0);
}

// No audio device, or no soundtrack file: the program stays silent, runs on,
// and prints the same as a run that never looks for the file.
TEST_F(ProgramSound, WithoutADeviceOrAFileItRunsOnSilently) {
    TempDir emptyRoot;
    start({"-nosound", "-fl", "30"}, emptyRoot.path().c_str());
    EXPECT_EQ(session.quit(), 0);
    auto quiet = [](const std::string& text) {  // without the frame-rate reports, which come with time
        std::istringstream in(text);
        std::string kept;
        for (std::string line; std::getline(in, line);)
            if (line.rfind("Produced ", 0) != 0) kept += line + "\n";
        return kept;
    };
    std::string quietOut = quiet(session.program.out()), quietErr = quiet(session.program.err());
    for (const char* root : {emptyRoot.path().c_str(), static_cast<const char*>(nullptr)}) {
        start({"-fl", "30"}, root, root ? nullptr : "/nonexistent/folder/audio.raw");
        pauseAndResume();
        tap(XK_m);
        EXPECT_FALSE(sessions(1, 1500));
        EXPECT_EQ(session.quit(), 0);
        auto printed = std::make_pair(quiet(session.program.out()), quiet(session.program.err()));
        EXPECT_TRUE(!root || printed == std::make_pair(quietOut, quietErr)) << printed.first << printed.second;
    }
}

}  // namespace
}  // namespace vyr::testing

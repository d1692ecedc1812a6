// What the program plays, captured through SDL's disk audio driver writing
// into a FIFO: every open of the audio device is one session of bytes, so a
// stop and a start are seen as the end of one session and the start of the next.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vyr::testing {

class AudioCapture {
public:
    ~AudioCapture() { stop(); }
    // Creates the FIFO and starts draining it; SDL_DISKAUDIOFILE is to name path().
    bool start();
    void stop();
    const std::string& path() const { return fifo_; }

    struct State {
        std::vector<std::vector<uint8_t>> sessions;
        bool open = false;  // the last session is still being written
    };
    State snapshot();
    // Waits (at most timeoutMs) until the condition holds; returns whether it did.
    bool waitFor(const std::function<bool(const State&)>& condition, int timeoutMs = 30000);

private:
    void drain();

    std::string directory_;
    std::string fifo_;
    std::mutex mutex_;
    std::condition_variable changed_;
    State state_;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> finished_{false};
    std::thread reader_;
};

}  // namespace vyr::testing

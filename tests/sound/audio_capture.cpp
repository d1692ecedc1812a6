#include "sound/audio_capture.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>

namespace vyr::testing {

bool AudioCapture::start() {
    char pattern[] = "/tmp/vyr-sound.XXXXXX";
    if (!mkdtemp(pattern)) return false;
    directory_ = pattern;
    fifo_ = directory_ + "/audio.raw";
    if (mkfifo(fifo_.c_str(), 0600) != 0) return false;
    reader_ = std::thread([this] { drain(); });
    return true;
}

void AudioCapture::drain() {
    while (!stopping_) {
        // Blocks until the program opens its audio device.
        int fd = open(fifo_.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0 || stopping_) {
            if (fd >= 0) close(fd);
            break;
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            state_.sessions.emplace_back();
            state_.open = true;
        }
        changed_.notify_all();
        uint8_t buffer[8192];
        ssize_t n;
        while ((n = read(fd, buffer, sizeof buffer)) > 0) {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                state_.sessions.back().insert(state_.sessions.back().end(), buffer, buffer + n);
            }
            changed_.notify_all();
        }
        close(fd);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            state_.open = false;
        }
        changed_.notify_all();
    }
    finished_ = true;
}

void AudioCapture::stop() {
    if (reader_.joinable()) {
        stopping_ = true;
        // A writer that comes and goes wakes the reader blocked in open().
        while (!finished_) {
            int fd = open(fifo_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (fd >= 0) close(fd);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        reader_.join();
    }
    if (!fifo_.empty()) unlink(fifo_.c_str());
    if (!directory_.empty()) rmdir(directory_.c_str());
    fifo_.clear();
    directory_.clear();
}

AudioCapture::State AudioCapture::snapshot() {
    std::lock_guard<std::mutex> lock(mutex_);
    return state_;
}

bool AudioCapture::waitFor(const std::function<bool(const State&)>& condition, int timeoutMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return condition(state_); });
}

}  // namespace vyr::testing

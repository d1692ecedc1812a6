// Pairs with platform/process.h on Linux: posix_spawn, then waitpid against a deadline.
#include "platform/process.h"

#include <signal.h>
#include <spawn.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>

extern char** environ;

namespace vyr::platform {

namespace {

using Clock = std::chrono::steady_clock;

// A child asked to end (SIGTERM) has this long to write its file before SIGKILL.
constexpr auto termGrace = std::chrono::seconds(5);

// Waits for the child until `deadline`; true with its status once it ended.
bool waitUntil(pid_t pid, Clock::time_point deadline, int& status) {
    for (;;) {
        pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) return true;
        if (done < 0) {
            status = 0;
            return true;
        }
        if (Clock::now() >= deadline) return false;
        struct timespec pause = {0, 10 * 1000 * 1000};
        nanosleep(&pause, nullptr);
    }
}

std::string signalName(int number) {
    const char* abbreviation = sigabbrev_np(number);
    return abbreviation ? std::string("SIG") + abbreviation : "signal " + std::to_string(number);
}

}  // namespace

std::string executablePath() {
    char path[4096];
    ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return std::string();
    return std::string(path, size_t(length));
}

ChildEnd runChild(const std::string& program, const std::vector<std::string>& arguments, uint64_t timeoutMs) {
    ChildEnd end;
    std::vector<char*> vector;
    vector.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& argument : arguments) vector.push_back(const_cast<char*>(argument.c_str()));
    vector.push_back(nullptr);

    setenv(unattendedVariable, "1", 1);  // inherited by the child
    Clock::time_point started = Clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, vector.data(), environ) != 0) return end;

    int status = 0;
    if (!waitUntil(pid, started + std::chrono::milliseconds(timeoutMs), status)) {
        kill(pid, SIGTERM);
        if (!waitUntil(pid, Clock::now() + termGrace, status)) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
        }
        end.how = ChildEnd::How::TimedOut;
    } else if (WIFSIGNALED(status)) {
        end.how = ChildEnd::How::Signalled;
        end.signal = signalName(WTERMSIG(status));
    } else {
        end.how = ChildEnd::How::Exited;
        end.exitCode = WEXITSTATUS(status);
    }
    end.seconds = std::chrono::duration<double>(Clock::now() - started).count();
    return end;
}

}  // namespace vyr::platform

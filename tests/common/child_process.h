// Runs a program as a child process with a changed environment, its output
// going to files that the test reads while it runs or after it ended.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace vyr::testing {

// name and value; a null value unsets the variable.
using EnvChange = std::pair<std::string, const char*>;

inline std::string readWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void writeWholeFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// Polls the condition until it holds or the deadline passes; whether it held.
inline bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 30000) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (condition()) return true;
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

// A fresh directory below the system's temporary folder, removed with the object.
class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "vyrtest-XXXXXX").string();
        path_ = mkdtemp(pattern.data()) ? pattern : std::string();
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Notes a program a test starts in the file VYR_TEST_PROGRAMS names, when it
// names one: tools/test.sh checks that the set-up installs each of them.
inline void noteProgram(const std::string& name) {
    const char* record = getenv("VYR_TEST_PROGRAMS");
    if (!record || name.empty()) return;
    std::string found = name;
    const char* path = getenv("PATH");
    std::istringstream folders(name.find('/') == std::string::npos && path ? path : "");
    for (std::string folder; std::getline(folders, folder, ':');)
        if (access((folder + "/" + name).c_str(), X_OK) == 0) {
            found = folder + "/" + name;
            break;
        }
    std::ofstream(record, std::ios::app) << found << "\n";
}

inline void applyEnv(const std::vector<EnvChange>& env) {
    for (const auto& [name, value] : env) value ? setenv(name.c_str(), value, 1) : unsetenv(name.c_str());
}

// One run of a program (found on the PATH when its name has no slash) in a
// process group of its own: it and whatever it starts are killed with the
// object, and the kernel kills it if the test itself dies.
class Child {
public:
    Child() = default;
    Child(const std::vector<std::string>& argv, const std::vector<EnvChange>& env = {}) { start(argv, env); }
    ~Child() {
        if (pid_ > 0) signalGroup(SIGKILL), finish(0);
        // What it left behind in its group. While the group has members its number goes to
        // no new process: a number in use again belongs to someone else's process.
        if (group_ > 0 && access(("/proc/" + std::to_string(group_)).c_str(), F_OK) != 0) killpg(group_, SIGKILL);
    }
    bool start(const std::vector<std::string>& argv, const std::vector<EnvChange>& env = {}) {
        if (!argv.empty()) noteProgram(argv[0]);
        pid_ = fork();
        if (pid_ == 0) {
            setpgid(0, 0);
            prctl(PR_SET_PDEATHSIG, SIGKILL);  // never outlive a test that died
            applyEnv(env);
            dup2(open((dir_ / "out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
            dup2(open((dir_ / "err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
            std::vector<char*> args;
            for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
            args.push_back(nullptr);
            execvp(args[0], args.data());
            _exit(127);
        }
        if (pid_ > 0) setpgid(pid_, pid_), group_ = pid_;  // both sides, so no signal comes before it
        exitCode_ = -1;
        return pid_ > 0;
    }
    pid_t pid() const { return pid_; }
    std::string out() const { return readWholeFile(dir_ / "out"); }
    std::string err() const { return readWholeFile(dir_ / "err"); }
    bool waitForOutput(const std::string& text, int timeoutMs = 60000) const {
        return waitUntil([&] { return out().find(text) != std::string::npos; }, timeoutMs);
    }
    // The first line it printed (its port, for a daemon); empty if none came.
    std::string firstLine() const {
        if (!waitForOutput("\n", 10000)) return "";
        std::string text = out();
        return text.substr(0, text.find('\n') + 1);
    }
    // The exit code; 128 + the signal when one ended it; -1 while still running at the deadline.
    int wait(int timeoutMs = 60000) {
        if (pid_ > 0) finish(timeoutMs);
        return exitCode_;
    }
    // Whether it still runs; reaps it when it ended.
    bool running() {
        if (pid_ > 0) finish(1);
        return pid_ > 0;
    }
    // Whether a signal ended it, rather than an exit with a code (128 + n alike).
    bool killedBySignal() const { return killedBySignal_; }
    // Sends the signal to its whole group, as a terminal does; kills the group
    // when it has not ended a minute later (then -1).
    int stop(int signal = SIGTERM) {
        if (pid_ > 0) signalGroup(signal);
        int code = wait();
        if (pid_ > 0) signalGroup(SIGKILL), finish(0), exitCode_ = -1;
        return code;
    }

private:
    // The group, or the process alone if it left its group: a signal that
    // never arrives would leave the blocking wait after it hanging.
    void signalGroup(int signal) {
        if (killpg(pid_, signal) != 0) kill(pid_, signal);
    }
    void finish(int timeoutMs) {
        int status = 0;
        auto ended = [&] { return waitpid(pid_, &status, timeoutMs ? WNOHANG : 0) == pid_; };
        if (timeoutMs ? !waitUntil(ended, timeoutMs) : !ended()) return;
        exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        killedBySignal_ = WIFSIGNALED(status);
        pid_ = -1;
    }
    TempDir dir_;
    pid_t pid_ = -1, group_ = -1;
    int exitCode_ = -1;
    bool killedBySignal_ = false;
};

struct ChildResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

inline ChildResult runChild(const std::vector<std::string>& argv, const std::vector<EnvChange>& env = {}) {
    Child child(argv, env);
    int code = child.wait(120000);
    return {code >= 128 ? -1 : code, child.out(), child.err()};
}

// The daemon-like programs of the tests: started, asked for their first line, stopped.
using BackgroundProcess = Child;

}  // namespace vyr::testing

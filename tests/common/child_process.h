// Runs a program as a child process with changed environment and captured output.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace vyr::testing {

// name and value; a null value unsets the variable.
using EnvChange = std::pair<std::string, const char*>;

struct ChildResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

inline std::string readWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void writeWholeFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
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

inline void applyEnv(const std::vector<EnvChange>& env) {
    for (const auto& [name, value] : env) {
        if (value)
            setenv(name.c_str(), value, 1);
        else
            unsetenv(name.c_str());
    }
}

inline ChildResult runChild(const std::vector<std::string>& argv, const std::vector<EnvChange>& env = {}) {
    TempDir dir;
    std::string outPath = dir / "out", errPath = dir / "err";
    pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);  // never outlive a test that died
        applyEnv(env);
        int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(out, 1);
        dup2(err, 2);
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    ChildResult result;
    int status = 0;
    if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
    result.out = readWholeFile(outPath);
    result.err = readWholeFile(errPath);
    return result;
}

// A program left running in the background; its first stdout line is kept.
class BackgroundProcess {
public:
    BackgroundProcess(const std::vector<std::string>& argv, const std::vector<EnvChange>& env = {}) {
        int pipeFds[2];
        if (pipe(pipeFds) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            applyEnv(env);
            dup2(pipeFds[1], 1);
            close(pipeFds[0]);
            close(pipeFds[1]);
            std::vector<char*> args;
            for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
            args.push_back(nullptr);
            execv(args[0], args.data());
            _exit(127);
        }
        close(pipeFds[1]);
        FILE* out = fdopen(pipeFds[0], "r");
        char line[256] = "";
        if (out && fgets(line, sizeof line, out)) firstLine_ = line;
        if (out) fclose(out);
    }
    ~BackgroundProcess() { stop(); }
    const std::string& firstLine() const { return firstLine_; }
    // SIGTERM, then the exit code (-1 when it did not exit normally).
    int stop() {
        if (pid_ <= 0) return exitCode_;
        kill(pid_, SIGTERM);
        int status = 0;
        if (waitpid(pid_, &status, 0) == pid_ && WIFEXITED(status)) exitCode_ = WEXITSTATUS(status);
        pid_ = -1;
        return exitCode_;
    }
    // Waits for an exit the program makes by itself.
    int wait() {
        if (pid_ <= 0) return exitCode_;
        int status = 0;
        if (waitpid(pid_, &status, 0) == pid_ && WIFEXITED(status)) exitCode_ = WEXITSTATUS(status);
        pid_ = -1;
        return exitCode_;
    }

private:
    pid_t pid_ = -1;
    int exitCode_ = -1;
    std::string firstLine_;
};

}  // namespace vyr::testing

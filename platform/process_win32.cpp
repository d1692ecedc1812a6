// Pairs with platform/process.h on Windows: CreateProcess, then a bounded wait.
#include "platform/process.h"

#include <windows.h>

#include <chrono>
#include <cstdio>

namespace vyr::platform {

namespace {

// One argument as the program's own command-line splitter reads it back:
// quoted when it holds a separator or is empty.
void appendArgument(std::string& line, const std::string& argument) {
    line += ' ';
    if (!argument.empty() && argument.find_first_of(" \t\r\n\"") == std::string::npos) {
        line += argument;
        return;
    }
    line += '"';
    for (char c : argument)
        if (c != '"') line += c;
    line += '"';
}

}  // namespace

std::string executablePath() {
    char path[MAX_PATH * 4];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    if (length == 0 || length >= sizeof path) return std::string();
    return std::string(path, length);
}

ChildEnd runChild(const std::string& program, const std::vector<std::string>& arguments, uint64_t timeoutMs) {
    ChildEnd end;
    std::string line = "\"" + program + "\"";
    for (const std::string& argument : arguments) appendArgument(line, argument);

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE), error = GetStdHandle(STD_ERROR_HANDLE);
    if (output && output != INVALID_HANDLE_VALUE && error && error != INVALID_HANDLE_VALUE) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdOutput = output;
        startup.hStdError = error;
    }
    SetEnvironmentVariableA(unattendedVariable, "1");  // inherited by the child
    PROCESS_INFORMATION process = {};
    auto started = std::chrono::steady_clock::now();
    if (!CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process))
        return end;
    CloseHandle(process.hThread);

    DWORD wait = timeoutMs >= INFINITE ? INFINITE - 1 : DWORD(timeoutMs);
    if (WaitForSingleObject(process.hProcess, wait) != WAIT_OBJECT_0) {
        // No gentler request reaches a program that may be stuck in its driver.
        TerminateProcess(process.hProcess, 1);
        WaitForSingleObject(process.hProcess, INFINITE);
        end.how = ChildEnd::How::TimedOut;
    } else {
        DWORD code = 0;
        GetExitCodeProcess(process.hProcess, &code);
        // An unhandled exception ends the process with its status (0xC...).
        if (code >= 0xC0000000u) {
            char text[40];
            snprintf(text, sizeof text, "exception 0x%08lX", static_cast<unsigned long>(code));
            end.how = ChildEnd::How::Signalled;
            end.signal = text;
        } else {
            end.how = ChildEnd::How::Exited;
            end.exitCode = int(code);
        }
    }
    CloseHandle(process.hProcess);
    end.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return end;
}

}  // namespace vyr::platform

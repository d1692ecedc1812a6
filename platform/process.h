// Running the program again as a child process: platform/process_posix.cpp,
// platform/process_win32.cpp.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vyr::platform {

struct ChildEnd {
    enum class How { NotStarted, Exited, Signalled, TimedOut };
    How how = How::NotStarted;
    int exitCode = 0;    // Exited
    std::string signal;  // Signalled: "SIGSEGV"; on Windows the exception, "exception 0xC0000005"
    double seconds = 0;  // from the start to the end
};

// Set in the children's environment: a fatal message goes to standard error
// rather than into a message box that no one would answer (Windows), and the
// child hands the frames its picture check looked at over to the parent, as
// PNG files at the names a failed check's have, for the parent's page.
constexpr const char* unattendedVariable = "VYRTEST_UNATTENDED";

// The path of the running program's own executable; empty when unknown.
std::string executablePath();

// Runs `program` with `arguments` (without the program name), on the parent's
// standard output and error, and waits for its end. A child still running
// after `timeoutMs` is asked to end, then made to, and counts as timed out.
ChildEnd runChild(const std::string& program, const std::vector<std::string>& arguments, uint64_t timeoutMs);

}  // namespace vyr::platform

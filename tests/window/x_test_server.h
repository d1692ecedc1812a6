// A private X server for the window tests: Xvfb on a display number it picks
// itself, optionally with a small EWMH window manager (openbox) on it.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace vyr::testing {

class XTestServer {
public:
    ~XTestServer() { stop(); }
    // Starts Xvfb with the given screen arguments and sets DISPLAY to it. Also
    // makes BadWindow errors non-fatal for every connection of the test process.
    bool start(const std::vector<std::string>& serverArguments = {"-screen", "0", "1280x1024x24"});
    // Starts openbox and waits until it has announced itself on the root window.
    bool startWindowManager();
    void stop();
    const std::string& display() const { return display_; }

private:
    pid_t server_ = -1;
    pid_t windowManager_ = -1;
    std::string display_;
    void* probeConnection_ = nullptr;  // Display*, without Xlib in this header
};

}  // namespace vyr::testing

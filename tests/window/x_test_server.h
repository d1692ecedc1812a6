// A private X server for the tests: Xvfb on a display number it picks itself,
// optionally with a small EWMH window manager (openbox) on it; and what a user
// of that server does: find a window, press keys, read pixels and geometry.
#pragma once

#include <X11/Xlib.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "common/child_process.h"

namespace vyr::testing {

class XTestServer {
public:
    ~XTestServer() { stop(); }
    // Starts Xvfb with the given screen arguments and sets DISPLAY to it, and a
    // session bus of the server's own in DBUS_SESSION_BUS_ADDRESS (a D-Bus
    // client finding none would autolaunch one that outlives the test). Also
    // makes BadWindow errors non-fatal for every connection of the test process.
    bool start(const std::vector<std::string>& serverArguments = {"-screen", "0", "1280x1024x24", "+extension",
                                                                   "GLX"});
    // Starts openbox and waits until it has announced itself on the root window.
    bool startWindowManager();
    void stop();
    const std::string& display() const { return display_; }

private:
    Child server_, windowManager_, bus_;
    std::string display_;
    Display* probeConnection_ = nullptr;
};

// Waits (at most timeoutMs) for a mapped window of the class VYRTEST anywhere
// below the root and gives it the keyboard focus; 0 when none came.
::Window waitForMappedWindow(Display* display, int timeoutMs = 60000);
void pressKey(Display* display, unsigned long keysym, bool down);
void tapKey(Display* display, unsigned long keysym);
std::vector<char> windowPixels(Display* display, ::Window window);
// Whether the picture changes within the time; whether it stands still for
// stillMs, waiting at most timeoutMs for that.
bool pictureChanges(Display* display, ::Window window, int withinMs = 10000);
bool pictureStandsStill(Display* display, ::Window window, int stillMs = 1000, int timeoutMs = 20000);

struct Geometry {
    int x = 0, y = 0;
    unsigned width = 0, height = 0;
    bool operator==(const Geometry& o) const {
        return x == o.x && y == o.y && width == o.width && height == o.height;
    }
};
// Client area on the root window, as another client sees it.
Geometry geometryOf(Display* display, ::Window window);
// A property's items (bytes for format 8, longs for format 32).
std::vector<unsigned long> propertyItems(Display* display, ::Window window, const char* property, const char* type);
std::string stringProperty(Display* display, ::Window window, const char* property, const char* type);
// A format-32 client message about the window, sent to `to` (the window itself
// when 0, else the root, as to a window manager).
void sendClientMessage(Display* display, ::Window window, const char* type, std::initializer_list<long> data,
                       bool toRoot = false);
// What a window manager sends when the user clicks the close box.
void sendDeleteWindow(Display* display, ::Window window);

// The real program on a private X server, driven as a user would drive it.
struct ProgramSession {
    ~ProgramSession();
    // The server (with a window manager if asked) and the user's connection to it.
    bool open(bool windowManager = false);
    // Starts argv (the program first) and waits for its window; false when none came.
    bool start(const std::vector<std::string>& argv, const std::vector<EnvChange>& env = {});
    // Escape, then the exit code (-1 when it did not end in time).
    int quit();

    XTestServer server;
    Display* user = nullptr;
    Child program;
    ::Window window = 0;
};

}  // namespace vyr::testing

#include "window/x_test_server.h"

#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace vyr::testing {

namespace {

// Tests walk the window tree of a server that other clients (the program,
// openbox) change at the same time: a window can vanish between XQueryTree and
// the next request about it. Xlib's default handler would end the test process.
int tolerateVanishedWindows(Display*, XErrorEvent* error) {
    if (error->error_code != BadWindow) {
        fprintf(stderr, "X error %d (request %d)\n", error->error_code, error->request_code);
    }
    return 0;
}

}  // namespace

bool XTestServer::start(const std::vector<std::string>& serverArguments) {
    XSetErrorHandler(tolerateVanishedWindows);
    int fds[2];
    if (pipe(fds) != 0) return false;
    // Xvfb writes the display number it found free to this descriptor.
    // -noreset: a server that resets when its last client leaves refuses the next one for a moment.
    std::vector<std::string> arguments = {"Xvfb", "-displayfd", std::to_string(fds[1]), "-nolisten", "tcp", "-noreset"};
    arguments.insert(arguments.end(), serverArguments.begin(), serverArguments.end());
    server_.start(arguments);  // the pipe, without close-on-exec, stays open in it
    close(fds[1]);
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    while (poll(&p, 1, 15000) > 0) {
        char c = 0;
        if (read(fds[0], &c, 1) != 1 || c == '\n') break;
        number += c;
    }
    close(fds[0]);
    if (number.empty()) return server_.stop(), false;
    display_ = ":" + number;
    setenv("DISPLAY", display_.c_str(), 1);
    bus_.start({"dbus-daemon", "--session", "--nofork", "--nopidfile", "--print-address"});
    std::string address = bus_.firstLine();
    if (address.empty()) return stop(), false;
    address.pop_back();  // the line's end
    setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
    return true;
}

bool XTestServer::startWindowManager() {
    windowManager_.start({"openbox", "--sm-disable"});
    Display* display = XOpenDisplay(display_.c_str());
    if (!display) return false;
    // openbox names itself on the root window before it manages new windows:
    // it is ready once a probe window of ours has been given WM_STATE.
    ::Window probe = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 10, 10, 0, 0, 0);
    bool ready = waitUntil([&] {
        ::Window root = DefaultRootWindow(display);
        if (propertyItems(display, root, "_NET_SUPPORTING_WM_CHECK", "WINDOW").empty()) return false;
        XMapWindow(display, probe);
        return !propertyItems(display, probe, "WM_STATE", "WM_STATE").empty();
    }, 10000);
    XDestroyWindow(display, probe);
    XFlush(display);
    // Kept open: a new client in this slot would get the probe's window ids,
    // and openbox may not have forgotten the probe yet.
    probeConnection_ = display;
    return ready;
}

void XTestServer::stop() {
    if (probeConnection_) XCloseDisplay(probeConnection_);
    probeConnection_ = nullptr;
    windowManager_.stop();
    bus_.stop();
    server_.stop();
}

::Window waitForMappedWindow(Display* display, int timeoutMs) {
    ::Window window = 0;
    // xdotool walks the window tree; a walk that a vanishing window spoiled is tried again.
    waitUntil([&] {
        ChildResult found = runChild({"xdotool", "search", "--onlyvisible", "--class", "^VYRTEST$"},
                                     {{"DISPLAY", DisplayString(display)}});
        window = found.exitCode == 0 ? strtoul(found.out.c_str(), nullptr, 10) : 0;
        return window != 0;
    }, timeoutMs);
    if (window) XSetInputFocus(display, window, RevertToPointerRoot, CurrentTime);
    XSync(display, False);
    return window;
}

void pressKey(Display* display, unsigned long keysym, bool down) {
    XTestFakeKeyEvent(display, XKeysymToKeycode(display, keysym), down ? True : False, CurrentTime);
    XSync(display, False);
}

void tapKey(Display* display, unsigned long keysym) {
    pressKey(display, keysym, true);
    pressKey(display, keysym, false);
}

std::vector<char> windowPixels(Display* display, ::Window window) {
    Geometry g = geometryOf(display, window);
    XImage* image = XGetImage(display, window, 0, 0, g.width, g.height, AllPlanes, ZPixmap);
    if (!image) return {};
    std::vector<char> data(image->data, image->data + image->bytes_per_line * image->height);
    XDestroyImage(image);
    return data;
}

bool pictureChanges(Display* display, ::Window window, int withinMs) {
    std::vector<char> first = windowPixels(display, window);
    return waitUntil([&] { return windowPixels(display, window) != first; }, withinMs);
}

bool pictureStandsStill(Display* display, ::Window window, int stillMs, int timeoutMs) {
    return waitUntil([&] { return !pictureChanges(display, window, stillMs); }, timeoutMs);
}

Geometry geometryOf(Display* display, ::Window window) {
    Geometry g;
    ::Window root = 0, child = 0;
    int x = 0, y = 0;
    unsigned border = 0, depth = 0;
    XGetGeometry(display, window, &root, &x, &y, &g.width, &g.height, &border, &depth);
    XTranslateCoordinates(display, window, root, 0, 0, &g.x, &g.y, &child);
    return g;
}

std::vector<unsigned long> propertyItems(Display* display, ::Window window, const char* property, const char* type) {
    Atom actualType = 0;
    int format = 0;
    unsigned long count = 0, remaining = 0;
    unsigned char* data = nullptr;
    std::vector<unsigned long> items;
    if (XGetWindowProperty(display, window, XInternAtom(display, property, False), 0, 1 << 20, False,
                           XInternAtom(display, type, False), &actualType, &format, &count, &remaining,
                           &data) == Success &&
        data) {
        for (unsigned long i = 0; i < count; ++i)
            items.push_back(format == 8 ? data[i] : reinterpret_cast<const unsigned long*>(data)[i]);
        XFree(data);
    }
    return items;
}

std::string stringProperty(Display* display, ::Window window, const char* property, const char* type) {
    std::vector<unsigned long> items = propertyItems(display, window, property, type);
    return std::string(items.begin(), items.end());
}

void sendClientMessage(Display* display, ::Window window, const char* type, std::initializer_list<long> data,
                       bool toRoot) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, type, False);
    event.xclient.format = 32;
    int i = 0;
    for (long value : data) event.xclient.data.l[i++] = value;
    XSendEvent(display, toRoot ? DefaultRootWindow(display) : window, False,
               toRoot ? SubstructureRedirectMask | SubstructureNotifyMask : NoEventMask, &event);
    XFlush(display);
}

void sendDeleteWindow(Display* display, ::Window window) {
    sendClientMessage(display, window, "WM_PROTOCOLS", {long(XInternAtom(display, "WM_DELETE_WINDOW", False))});
}

ProgramSession::~ProgramSession() {
    program.stop(SIGKILL);
    if (user) XCloseDisplay(user);
}

bool ProgramSession::open(bool windowManager) {
    if (!server.start() || (windowManager && !server.startWindowManager())) return false;
    user = XOpenDisplay(server.display().c_str());
    return user != nullptr;
}

bool ProgramSession::start(const std::vector<std::string>& argv, const std::vector<EnvChange>& env) {
    program.start(argv, env);
    window = waitForMappedWindow(user);
    return window != 0;
}

int ProgramSession::quit() {
    tapKey(user, XK_Escape);
    return program.wait();
}

}  // namespace vyr::testing

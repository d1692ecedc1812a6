#include "window/x_test_server.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace vyr::testing {

namespace {

// Descriptors without close-on-exec (the -displayfd pipe) stay open in the child.
pid_t spawn(const std::vector<std::string>& arguments) {
    pid_t pid = fork();
    if (pid != 0) return pid;
    // A test process that dies must not leave its servers running.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    int devNull = open("/dev/null", O_RDWR);
    if (devNull >= 0) {
        dup2(devNull, STDIN_FILENO);
        dup2(devNull, STDOUT_FILENO);
        dup2(devNull, STDERR_FILENO);
    }
    std::vector<char*> argv;
    for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
}

void finish(pid_t& pid) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    int status = 0;
    for (int i = 0; i < 100; ++i) {
        if (waitpid(pid, &status, WNOHANG) == pid) {
            pid = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    pid = -1;
}

bool windowManagerAnnounced(Display* display) {
    Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", False);
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, remaining = 0;
    unsigned char* data = nullptr;
    bool found = XGetWindowProperty(display, DefaultRootWindow(display), check, 0, 1, False, XA_WINDOW, &type,
                                    &format, &count, &remaining, &data) == Success &&
                 data && count == 1;
    if (data) XFree(data);
    return found;
}

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
    std::vector<std::string> arguments = {"Xvfb", "-displayfd", std::to_string(fds[1]), "-nolisten", "tcp"};
    arguments.insert(arguments.end(), serverArguments.begin(), serverArguments.end());
    server_ = spawn(arguments);
    close(fds[1]);
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    while (poll(&p, 1, 15000) > 0) {
        char c = 0;
        if (read(fds[0], &c, 1) != 1 || c == '\n') break;
        number += c;
    }
    close(fds[0]);
    if (number.empty()) {
        finish(server_);
        return false;
    }
    display_ = ":" + number;
    setenv("DISPLAY", display_.c_str(), 1);
    return true;
}

bool XTestServer::startWindowManager() {
    windowManager_ = spawn({"openbox", "--sm-disable"});
    Display* display = XOpenDisplay(display_.c_str());
    if (!display) return false;
    // openbox names itself on the root window before it manages new windows:
    // it is ready once a probe window of ours has been given WM_STATE.
    ::Window probe = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 10, 10, 0, 0, 0);
    Atom wmState = XInternAtom(display, "WM_STATE", False);
    bool ready = false;
    for (int i = 0; i < 500 && !ready; ++i) {
        if (windowManagerAnnounced(display)) {
            XMapWindow(display, probe);
            Atom type = 0;
            int format = 0;
            unsigned long count = 0, remaining = 0;
            unsigned char* data = nullptr;
            ready = XGetWindowProperty(display, probe, wmState, 0, 2, False, wmState, &type, &format, &count,
                                       &remaining, &data) == Success &&
                    data && count > 0;
            if (data) XFree(data);
        }
        if (!ready) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    XDestroyWindow(display, probe);
    XFlush(display);
    // Kept open: a new client in this slot would get the probe's window ids,
    // and openbox may not have forgotten the probe yet.
    probeConnection_ = display;
    return ready;
}

void XTestServer::stop() {
    if (probeConnection_) XCloseDisplay(static_cast<Display*>(probeConnection_));
    probeConnection_ = nullptr;
    finish(windowManager_);
    finish(server_);
}

}  // namespace vyr::testing

// The real program in its window on a private X server: Escape and the close
// box end it with 0, a held Space pauses once, F11 twice restores the window.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/XKBlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "window/x_test_server.h"

namespace vyr::testing {
namespace {

struct ServerKind {
    const char* name;
    bool windowManager;
};

class ProgramWindow : public ::testing::TestWithParam<ServerKind> {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.start());
        if (GetParam().windowManager) {
            ASSERT_TRUE(server.startWindowManager()) << "openbox did not start";
        }
        user = XOpenDisplay(server.display().c_str());
        ASSERT_NE(user, nullptr);
    }
    void TearDown() override {
        if (program > 0) {
            kill(program, SIGKILL);
            waitpid(program, nullptr, 0);
        }
        if (user) XCloseDisplay(user);
        server.stop();
    }

    void start(std::vector<std::string> arguments = {}) {
        program = fork();
        if (program == 0) {
            // A test that dies must not leave the program running (and eating the CPU).
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            int devNull = open("/dev/null", O_RDWR);
            dup2(devNull, STDOUT_FILENO);
            dup2(devNull, STDERR_FILENO);
            setenv("SDL_AUDIODRIVER", "disk", 1);
            setenv("SDL_DISKAUDIOFILE", "/dev/null", 1);
            std::string path = VYRTEST_PROGRAM;
            std::vector<char*> argv{const_cast<char*>(path.c_str())};
            arguments.push_back("-nosound");
            for (std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        ASSERT_GT(program, 0);
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!(window = findProgramWindow(DefaultRootWindow(user))) && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        ASSERT_NE(window, 0u) << "no mapped VYRTEST window";
        XSetInputFocus(user, window, RevertToPointerRoot, CurrentTime);
        XSync(user, False);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the first frames
    }

    ::Window findProgramWindow(::Window under) {
        ::Window root = 0, parent = 0, *children = nullptr;
        unsigned count = 0;
        if (!XQueryTree(user, under, &root, &parent, &children, &count)) return 0;
        ::Window found = 0;
        for (unsigned i = 0; i < count && !found; ++i) {
            XClassHint hint{};
            if (XGetClassHint(user, children[i], &hint)) {
                bool ours = hint.res_class && strcmp(hint.res_class, "VYRTEST") == 0;
                XFree(hint.res_name);
                XFree(hint.res_class);
                XWindowAttributes attributes;
                if (ours && XGetWindowAttributes(user, children[i], &attributes) &&
                    attributes.map_state == IsViewable)
                    found = children[i];
            }
            if (!found) found = findProgramWindow(children[i]);
        }
        if (children) XFree(children);
        return found;
    }

    // The exit code, or -1 when the program did not end in time.
    int waitForExit() {
        for (int i = 0; i < 300; ++i) {
            int status = 0;
            if (waitpid(program, &status, WNOHANG) == program) {
                program = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -2;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return -1;
    }

    void key(KeySym keysym, bool down) {
        XTestFakeKeyEvent(user, XKeysymToKeycode(user, keysym), down ? True : False, CurrentTime);
        XFlush(user);
    }
    void tap(KeySym keysym) {
        key(keysym, true);
        key(keysym, false);
    }

    std::vector<char> pixels() {
        XWindowAttributes attributes;
        XGetWindowAttributes(user, window, &attributes);
        XImage* image = XGetImage(user, window, 0, 0, attributes.width, attributes.height, AllPlanes, ZPixmap);
        if (!image) return {};
        std::vector<char> data(image->data, image->data + image->bytes_per_line * image->height);
        XDestroyImage(image);
        return data;
    }
    // The scene animates while it runs; paused, the picture stands still.
    bool animating() {
        std::vector<char> first = pixels();
        for (int i = 0; i < 10; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            if (pixels() != first) return true;
        }
        return false;
    }

    struct Geometry {
        int x, y;
        int width, height;
        bool operator==(const Geometry& o) const {
            return x == o.x && y == o.y && width == o.width && height == o.height;
        }
    };
    Geometry geometry() {
        XWindowAttributes attributes;
        XGetWindowAttributes(user, window, &attributes);
        ::Window child = 0;
        Geometry g{0, 0, attributes.width, attributes.height};
        XTranslateCoordinates(user, window, DefaultRootWindow(user), 0, 0, &g.x, &g.y, &child);
        return g;
    }
    bool waitForGeometry(const std::function<bool(const Geometry&)>& wanted) {
        for (int i = 0; i < 200; ++i) {
            if (wanted(geometry())) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

    XTestServer server;
    Display* user = nullptr;
    pid_t program = -1;
    ::Window window = 0;
};

TEST_P(ProgramWindow, EscapeEndsItWithZero) {
    start();
    tap(XK_Escape);
    EXPECT_EQ(waitForExit(), 0);
}

TEST_P(ProgramWindow, TheCloseBoxEndsItWithZero) {
    start();
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(user, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(user, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(user, window, False, NoEventMask, &event);
    XFlush(user);
    EXPECT_EQ(waitForExit(), 0);
}

TEST_P(ProgramWindow, HeldSpacePausesOnceOnRelease) {
    start();
    ASSERT_TRUE(animating());
    XkbSetAutoRepeatRate(user, XkbUseCoreKbd, 100, 20);
    key(XK_space, true);
    // Repeats arrive while it is held, and none of them may act.
    EXPECT_TRUE(animating()) << "paused before the key was released";
    key(XK_space, false);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(animating()) << "a held Space toggled the pause more than once";
    tap(XK_space);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_TRUE(animating());
    tap(XK_Escape);
    EXPECT_EQ(waitForExit(), 0);
}

TEST_P(ProgramWindow, F11TwiceRestoresTheGeometry) {
    start();
    Geometry before = geometry();
    ASSERT_EQ(before.width, 640);
    ASSERT_EQ(before.height, 400);
    tap(XK_F11);
    EXPECT_TRUE(waitForGeometry([](const Geometry& g) { return g.width == 1280 && g.height == 1024; }));
    EXPECT_EQ(geometry().x, 0);
    EXPECT_EQ(geometry().y, 0);
    tap(XK_F11);
    EXPECT_TRUE(waitForGeometry([&](const Geometry& g) { return g == before; }))
        << "back at " << geometry().x << "," << geometry().y << " " << geometry().width << "x" << geometry().height;
    tap(XK_Escape);
    EXPECT_EQ(waitForExit(), 0);
}

TEST_P(ProgramWindow, StartsFullscreenWithTheOption) {
    start({"-fullscreen"});
    EXPECT_TRUE(waitForGeometry([](const Geometry& g) { return g.width == 1280 && g.height == 1024; }));
    tap(XK_F11);
    EXPECT_TRUE(waitForGeometry([](const Geometry& g) { return g.width == 640 && g.height == 400; }));
    tap(XK_Escape);
    EXPECT_EQ(waitForExit(), 0);
}

INSTANTIATE_TEST_SUITE_P(Servers, ProgramWindow,
                         ::testing::Values(ServerKind{"Bare", false}, ServerKind{"Openbox", true}),
                         [](const ::testing::TestParamInfo<ServerKind>& info) { return info.param.name; });

}  // namespace
}  // namespace vyr::testing

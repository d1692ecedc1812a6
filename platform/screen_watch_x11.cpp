// Pairs with platform/screen_watch.h on X11: damage on the root window, which
// is what a screen-capturing server watches, kept to the rectangles over the
// main window's client area. A connection of its own, so the frame path never
// waits for it; the damage arrives in the event itself, so nothing is
// allocated per change. Xwayland's root shows nothing: there the Wayland
// compositor tells it (platform/compositor_capture.h).
#include "platform/window_systems_posix.h"
#include "platform/screen_watch.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xdamage.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <unistd.h>

#include <cstdio>

#include "platform/clock.h"
#include "platform/compositor_capture.h"
#include "platform/window_state_x11.h"
#include "platform/window_x11.h"

namespace vyr::platform {

// The X11 watch; the Wayland one is a type of its own, handed through the same opaque pointer.
struct ScreenWatch {
    Display* display = nullptr;
    ::Window root = 0, window = 0;
    Damage damage = 0;
    int damageEvent = 0;
    CompositorCapture* compositor = nullptr;  // under Xwayland, in place of damage
    // Whether the compositor shows the window, asked again only after its
    // windows changed or ours moved: asking allocates, and the watch runs
    // beside every frame.
    int windowEvents = -1;
    bool shownKnown = false, shown = true;
    int shownLeft = 0, shownTop = 0;
    int wake[2] = {-1, -1};
    // The client area on the root, read again now and then: a window manager
    // moves the frame, not the client.
    int left = 0, top = 0, width = 0, height = 0;
    uint64_t placeRead = 0;
    // The server stamps each report with its own milliseconds. Against the
    // counter they are off by the least lag seen from a stamp to its reading:
    // so a change is timed when the server drew it, not when this thread,
    // maybe kept waiting by a busy processor, got to read it.
    bool stamped = false;
    uint32_t lastStamp = 0;
    uint64_t serverMs = 0;    // the stamps, unwrapped
    int64_t offsetNs = 0;     // counter less server time, the least seen
    uint64_t lastToldNs = 0;  // the change last told
};

}  // namespace vyr::platform

namespace vyr::platform::x11 {

namespace {

// The performance counter counts nanoseconds here (platform/clock_posix.cpp).
constexpr uint64_t placeEveryNs = 250000000;

void readPlace(ScreenWatch& watch, uint64_t now) {
    watch.placeRead = now;
    XWindowAttributes attributes;
    ::Window child = 0;
    int x = 0, y = 0;
    if (!XGetWindowAttributes(watch.display, watch.window, &attributes) ||
        !XTranslateCoordinates(watch.display, watch.window, watch.root, 0, 0, &x, &y, &child)) {
        watch.width = watch.height = 0;
        return;
    }
    watch.left = x;
    watch.top = y;
    watch.width = attributes.map_state == IsViewable ? attributes.width : 0;
    watch.height = attributes.map_state == IsViewable ? attributes.height : 0;
    // A window the compositor hides is not watched: the changes over its
    // place are another window's. One covered in part still shows its frames.
    if (!watch.compositor || watch.width == 0) return;
    const bool changed = watch.windowEvents < 0 || compositorWindowsChanged(watch.windowEvents);
    if (!watch.shownKnown || changed || x != watch.shownLeft || y != watch.shownTop) {
        std::string why;
        watch.shown = compositorShowsWindow(watch.window, {x, y, 0, 0}, why);
        watch.shownKnown = true;
        watch.shownLeft = x;
        watch.shownTop = y;
    }
    if (!watch.shown) watch.width = watch.height = 0;
}

bool overWindow(const ScreenWatch& watch, const XRectangle& area) {
    return area.x < watch.left + watch.width && watch.left < area.x + int(area.width) &&
           area.y < watch.top + watch.height && watch.top < area.y + int(area.height);
}

// When the server drew what it reports at `stamp`, taken off the queue at
// `now`: never before it arrived, so the least lag is never too small.
uint64_t drawnAt(ScreenWatch& watch, uint32_t stamp, uint64_t now) {
    watch.serverMs = watch.stamped ? watch.serverMs + uint32_t(stamp - watch.lastStamp) : stamp;
    watch.lastStamp = stamp;
    const int64_t lag = int64_t(now) - int64_t(watch.serverMs * 1000000);
    if (!watch.stamped || lag < watch.offsetNs) watch.offsetNs = lag;
    watch.stamped = true;
    return uint64_t(int64_t(watch.serverMs * 1000000) + watch.offsetNs);
}

// Every event waiting: each new moment of damage over the window is told once
// (a frame drawn in parts gives several reports).
void takeEvents(ScreenWatch& watch, ScreenChanged changed, void* user) {
    while (XPending(watch.display)) {
        XEvent event;
        XNextEvent(watch.display, &event);
        if (event.type == watch.damageEvent + XDamageNotify) {
            auto& damage = reinterpret_cast<XDamageNotifyEvent&>(event);
            const uint64_t at = drawnAt(watch, uint32_t(damage.timestamp), performanceCounter());
            if (overWindow(watch, damage.area) && at != watch.lastToldNs) {
                watch.lastToldNs = at;
                changed(user, at, 0);
            }
        } else if (event.type == MapNotify || event.type == UnmapNotify || event.type == ConfigureNotify)
            readPlace(watch, performanceCounter());  // before the damage that follows it
    }
}

// What every watch does once its way of watching is set up: the window's
// structure events, the pipe that stops it, and the window's place.
ScreenWatch* startWatch(ScreenWatch* watch, NativeWindow* window, const char* way, std::string& how,
                        std::string& why) {
    watch->window = x11Window(window);
    watch->root = RootWindow(watch->display, x11Screen(window));
    XSelectInput(watch->display, watch->window, StructureNotifyMask);
    if (pipe2(watch->wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        x11::closeScreenWatch(watch);
        why = "not measured: no pipe to stop the watch";
        return nullptr;
    }
    readPlace(*watch, performanceCounter());
    XSync(watch->display, False);
    how = way;
    return watch;
}

ScreenWatch* openCompositorWatch(Display* own, NativeWindow* window, std::string& how, std::string& why) {
    CompositorCapture* compositor = openCompositorCapture(why);
    if (!compositor) {
        XCloseDisplay(own);
        why = "not measured: " + why;
        return nullptr;
    }
    auto* watch = new ScreenWatch;
    watch->display = own;
    watch->compositor = compositor;
    watch->windowEvents = watchCompositorWindows();
    return startWatch(watch, window, compositorChangesWay(compositor), how, why);
}

// Xwayland: each change the compositor tells over the window's place.
void runCompositorWatch(ScreenWatch& watch, ScreenChanged changed, void* user) {
    bool failed = false;
    for (;;) {
        const uint64_t now = performanceCounter();
        if (now - watch.placeRead >= placeEveryNs) readPlace(watch, now);
        takeEvents(watch, changed, user);
        const int waitMs = int(placeEveryNs / 1000000);
        std::string why;
        uint64_t at = 0;
        ScreenChange change = ScreenChange::Unchanged;
        if (watch.width > 0 && watch.height > 0 && !failed) {
            change =
                waitForChange(watch.compositor, {watch.left, watch.top, uint32_t(watch.width), uint32_t(watch.height)},
                              watch.wake[0], waitMs, at, why);
        } else {
            pollfd wake = {watch.wake[0], POLLIN, 0};
            if (poll(&wake, 1, waitMs) > 0) change = ScreenChange::Stopped;
        }
        // The compositor's frame may come before the X events that tell the
        // window was unmapped or moved meanwhile (two connections): those
        // first, and a frame of a window no longer where it was watched is
        // not its frame.
        if (change == ScreenChange::Changed) {
            const int left = watch.left, top = watch.top, width = watch.width, height = watch.height;
            if (XPending(watch.display)) takeEvents(watch, changed, user);
            if (watch.left == left && watch.top == top && watch.width == width && watch.height == height)
                changed(user, at, 0);
        }
        if (change == ScreenChange::Stopped) break;
        if (change == ScreenChange::Failed) {
            failed = true;
            fprintf(stderr, "vyrtest: the screen is no longer watched: %s\n", why.c_str());
        }
    }
}

}  // namespace

ScreenWatch* openScreenWatch(NativeWindow* window, std::string& how, std::string& why) {
    Display* shared = x11Display(window);
    Display* own = shared ? XOpenDisplay(DisplayString(shared)) : nullptr;
    if (!own) {
        why = "not measured: a second connection to the X server could not be opened";
        return nullptr;
    }
    if (x11::serverIsXwayland(own)) return openCompositorWatch(own, window, how, why);
    int event = 0, error = 0, major = 1, minor = 1;
    if (!XDamageQueryExtension(own, &event, &error) || !XDamageQueryVersion(own, &major, &minor)) {
        XCloseDisplay(own);
        why = "not measured: the X server has no DAMAGE extension";
        return nullptr;
    }
    auto* watch = new ScreenWatch;
    watch->display = own;
    watch->damageEvent = event;
    // Raw rectangles: every drawing is told with its place, none is merged away.
    watch->damage = XDamageCreate(own, RootWindow(own, x11Screen(window)), XDamageReportRawRectangles);
    return startWatch(watch, window, "X DAMAGE on the root window", how, why);
}

void runScreenWatch(ScreenWatch* watch, ScreenChanged changed, void* user) {
    pthread_setname_np(pthread_self(), "screen watch");  // for top, gdb and the benchmark
    if (watch->compositor) return runCompositorWatch(*watch, changed, user);
    pollfd waits[2] = {{ConnectionNumber(watch->display), POLLIN, 0}, {watch->wake[0], POLLIN, 0}};
    for (;;) {
        uint64_t now = performanceCounter();
        if (now - watch->placeRead >= placeEveryNs) readPlace(*watch, now);
        takeEvents(*watch, changed, user);
        if (waits[1].revents) break;
        XFlush(watch->display);
        if (poll(waits, 2, int(placeEveryNs / 1000000)) < 0) waits[0].revents = waits[1].revents = 0;
    }
    // The last frames: whatever the server drew up to now comes before its answer.
    XSync(watch->display, False);
    takeEvents(*watch, changed, user);
}

bool watchesCompositorFrames(const ScreenWatch* watch) { return watch && watch->compositor; }

void stopScreenWatch(ScreenWatch* watch) {
    if (watch && watch->wake[1] >= 0) (void)!write(watch->wake[1], "x", 1);
}

void closeScreenWatch(ScreenWatch* watch) {
    if (!watch) return;
    if (watch->damage) XDamageDestroy(watch->display, watch->damage);
    closeCompositorCapture(watch->compositor);
    if (watch->windowEvents >= 0) close(watch->windowEvents);
    XCloseDisplay(watch->display);
    for (int fd : watch->wake)
        if (fd >= 0) close(fd);
    delete watch;
}

// DAMAGE and the compositor's copies tell each change they see.
bool screenWatchAnswered(const ScreenWatch*, std::string&) { return true; }

}  // namespace vyr::platform::x11

// The X11 main window on a bare X server (no window manager): properties,
// event translation from real input, fullscreen by geometry, re-creation
// with another visual.
#include "window/window_test_support.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xfixes.h>
#include <X11/extensions/Xrandr.h>
#include <X11/keysym.h>

#include "platform/icon_images.h"
#include "platform/window_x11.h"
#include "window/x_test_server.h"

namespace vyr::testing {
namespace {

using platform::x11Display;
using platform::x11Window;

auto* const bareServer = ::testing::AddGlobalTestEnvironment(new ServerEnvironment(false));

using X11Window = WindowTest;

// Hidden at its client size, with its title, class, the delete protocol and
// every icon image.
TEST_F(X11Window, IsCreatedHiddenWithItsProperties) {
    ::Window w = x11Window(window);
    XWindowAttributes attributes;
    ASSERT_TRUE(XGetWindowAttributes(user, w, &attributes));
    EXPECT_EQ(attributes.map_state, IsUnmapped);
    EXPECT_EQ(attributes.width, 640);
    EXPECT_EQ(attributes.height, 400);
    EXPECT_EQ(stringProperty(user, w, "WM_NAME", "STRING"), testTitle);
    EXPECT_EQ(stringProperty(user, w, "_NET_WM_NAME", "UTF8_STRING"), testTitle);
    EXPECT_EQ(stringProperty(user, w, "WM_CLASS", "STRING"), std::string("VYRTEST\0VYRTEST\0", 16));
    std::vector<unsigned long> protocols = propertyItems(user, w, "WM_PROTOCOLS", "ATOM");
    EXPECT_EQ(protocols, std::vector<unsigned long>{XInternAtom(user, "WM_DELETE_WINDOW", False)});
    std::vector<unsigned long> icon = propertyItems(user, w, "_NET_WM_ICON", "CARDINAL"), expected;
    for (int i = 0; i < platform::iconImageCount(); ++i) {
        const platform::IconImage& image = platform::iconImage(i);
        expected.insert(expected.end(), {static_cast<unsigned long>(image.size), static_cast<unsigned long>(image.size)});
        expected.insert(expected.end(), image.argb, image.argb + image.size * image.size);
    }
    for (unsigned long& v : icon) v &= 0xFFFFFFFFul;  // Xlib hands format-32 items back as sign-extended longs
    EXPECT_EQ(icon, expected);
    EXPECT_EQ(platform::iconImageCount(), 4);
}

TEST_F(X11Window, KeysArriveAsVirtualKeys) {
    showAndWait();
    using T = WindowEventType;
    using Seen = std::vector<std::pair<T, uint32_t>>;
    auto tap = [](uint32_t k) { return Seen{{T::KeyDown, k}, {T::KeyUp, k}}; };
    auto join = [](std::initializer_list<Seen> parts) {
        Seen all;
        for (const Seen& p : parts) all.insert(all.end(), p.begin(), p.end());
        return all;
    };
    const std::pair<std::vector<std::pair<unsigned long, bool>>, Seen> rows[] = {
        // Escape, Space, F11, F, M, F1, F12, 5 on press and release
        {{{XK_Escape, true}, {XK_Escape, false}, {XK_space, true}, {XK_space, false}, {XK_F11, true}, {XK_F11, false},
          {XK_f, true}, {XK_f, false}, {XK_m, true}, {XK_m, false}, {XK_F1, true}, {XK_F1, false}, {XK_F12, true},
          {XK_F12, false}, {XK_5, true}, {XK_5, false}},
         join({tap(0x1B), tap(0x20), tap(0x7A), tap(0x46), tap(0x4D), tap(0x70), tap(0x7B), tap(0x35)})},
        // letters ignore Shift and Caps Lock
        {{{XK_Shift_L, true}, {XK_f, true}, {XK_f, false}, {XK_Shift_L, false}, {XK_Caps_Lock, true},
          {XK_Caps_Lock, false}, {XK_m, true}, {XK_m, false}, {XK_Caps_Lock, true}, {XK_Caps_Lock, false}},
         join({{{T::KeyDown, 0x10}}, tap(0x46), {{T::KeyUp, 0x10}}, tap(0x14), tap(0x4D), tap(0x14)})},
        // keys with Alt held are system keys
        {{{XK_Alt_L, true}, {XK_space, true}, {XK_space, false}, {XK_Alt_L, false}, {XK_space, true}, {XK_space, false}},
         {{T::SystemKeyDown, 0x12}, {T::SystemKeyDown, 0x20}, {T::SystemKeyUp, 0x20}, {T::SystemKeyUp, 0x12},
          {T::KeyDown, 0x20}, {T::KeyUp, 0x20}}},
    };
    for (const auto& row : rows) {
        const auto& expected = row.second;  // a plain reference: C++17 lambdas cannot capture bindings
        recordedEvents().clear();
        for (const auto& [keysym, down] : row.first) pressKey(user, keysym, down);
        Seen seen;
        pumpUntil([&] {
            seen.clear();
            for (const WindowEvent& e : recordedEvents())
                if (e.type != T::Paint) seen.emplace_back(e.type, e.key);
            return seen.size() >= expected.size();
        });
        EXPECT_EQ(seen, expected);
    }
}

// Holding a key: the server repeats it; only the physical release is a KeyUp,
// also on a server without detectable auto-repeat, where each repeat comes as a
// release and a press with the same time stamp.
TEST_F(X11Window, HeldSpaceGivesOneKeyUp) {
    showAndWait();
    XkbSetAutoRepeatRate(user, XkbUseCoreKbd, 100, 20);
    for (Bool detectable : {True, False}) {
        Bool supported = False;
        XkbSetDetectableAutoRepeat(x11Display(window), detectable, &supported);
        recordedEvents().clear();
        pressKey(user, XK_space, true);
        EXPECT_TRUE(pumpUntil([] { return countOf(WindowEventType::KeyDown, 0x20) > 2; }))
            << "the server did not repeat the key";
        pressKey(user, XK_space, false);
        ASSERT_TRUE(pumpUntil([] { return countOf(WindowEventType::KeyUp) >= 1; }));
        pumpFor(100);
        EXPECT_EQ(countOf(WindowEventType::KeyUp, 0x20), 1);
        EXPECT_EQ(recordedEvents().back().type, WindowEventType::KeyUp);
    }
    Bool supported = False;
    XkbSetDetectableAutoRepeat(x11Display(window), True, &supported);
}

// Moves and the left button (not the right) in client coordinates, negative
// left of the window: motion outside reaches it while a press inside holds the
// pointer (the implicit grab).
TEST_F(X11Window, MouseMovesAndLeftButtonCarryClientCoordinates) {
    XMoveWindow(user, x11Window(window), 200, 200);
    showAndWait();
    XWarpPointer(user, None, x11Window(window), 0, 0, 0, 0, 100, 50);
    XTestFakeButtonEvent(user, 3, True, CurrentTime);
    XTestFakeButtonEvent(user, 3, False, CurrentTime);
    XTestFakeButtonEvent(user, 1, True, CurrentTime);
    XTestFakeMotionEvent(user, 0, 150, 180, CurrentTime);
    XTestFakeButtonEvent(user, 1, False, CurrentTime);
    XSync(user, False);
    auto saw = [](WindowEventType type, int x, int y) {
        for (const WindowEvent& e : recordedEvents())
            if (e.type == type && e.x == x && e.y == y) return true;
        return false;
    };
    ASSERT_TRUE(pumpUntil([&] { return saw(WindowEventType::MouseMove, -50, -20); }));
    EXPECT_TRUE(saw(WindowEventType::MouseMove, 100, 50));
    EXPECT_TRUE(saw(WindowEventType::LeftButtonDown, 100, 50));
    EXPECT_EQ(countOf(WindowEventType::LeftButtonDown), 1);
}

// A window without a cursor of its own shows the root's cross on a bare server.
TEST_F(X11Window, ShowsItsOwnCursorNotTheRoots) {
    showAndWait();
    auto cursorOver = [this](::Window over, int x, int y) {
        XWarpPointer(user, None, over, 0, 0, 0, 0, x, y);
        XSync(user, False);
        XFixesCursorImage* image = XFixesGetCursorImage(user);
        std::vector<unsigned long> pixels;
        if (image) pixels.assign(image->pixels, image->pixels + image->width * image->height);
        XFree(image);
        return pixels;
    };
    Screen* screen = DefaultScreenOfDisplay(user);
    std::vector<unsigned long> root = cursorOver(RootWindowOfScreen(screen), WidthOfScreen(screen) - 2,
                                                 HeightOfScreen(screen) - 2);
    std::vector<unsigned long> own = cursorOver(x11Window(window), 100, 50);
    ASSERT_FALSE(root.empty());
    EXPECT_NE(own, root);
}

// A resize gives one Size (a move none); unmapped is minimised, mapped back
// gives the size again.
TEST_F(X11Window, ResizeMinimiseAndRestoreGiveSizes) {
    showAndWait();
    XMoveWindow(user, x11Window(window), 30, 40);
    XResizeWindow(user, x11Window(window), 800, 500);
    XSync(user, False);
    ASSERT_TRUE(pumpUntil([] { return sawSize(800, 500); }));
    pumpFor(50);
    EXPECT_EQ(countOf(WindowEventType::Size), 1);
    XUnmapWindow(user, x11Window(window));
    XSync(user, False);
    ASSERT_TRUE(pumpUntil([] { return countOf(WindowEventType::Size) == 2; }));
    EXPECT_TRUE(recordedEvents().back().minimized);
    XMapWindow(user, x11Window(window));
    XSync(user, False);
    ASSERT_TRUE(pumpUntil([] { return countOf(WindowEventType::Size) == 3; }));
    const WindowEvent* restored = nullptr;
    for (const WindowEvent& e : recordedEvents())
        if (e.type == WindowEventType::Size) restored = &e;
    EXPECT_FALSE(restored->minimized);
    EXPECT_EQ(restored->width, 800u);
    EXPECT_EQ(restored->height, 500u);
}

// The window manager's delete message is Close (a shown window asked to paint:
// UseVisualRecreatesTheWindowWithEverythingKept).
TEST_F(X11Window, QuitWaitsBehindQueuedEvents) {
    Display* display = x11Display(window);
    pumpFor(50);  // what creating the window raised
    for (int i = 0; i < 3; ++i) sendDeleteWindow(user, x11Window(window));
    XSync(user, False);
    // Read them into the queue without dispatching.
    waitUntil([&] { return XEventsQueued(display, QueuedAfterReading) >= 3; }, 2000);
    ASSERT_EQ(XEventsQueued(display, QueuedAlready), 3);
    int closesBefore = countOf(WindowEventType::Close);
    platform::postQuit();
    int quitCode = -1;
    platform::MessageResult result;
    while ((result = platform::peekAndDispatch(quitCode)) == platform::MessageResult::Dispatched) {
    }
    EXPECT_EQ(result, platform::MessageResult::Quit);
    EXPECT_EQ(quitCode, 0);
    EXPECT_EQ(countOf(WindowEventType::Close), 3);
    EXPECT_EQ(closesBefore, 0);
    EXPECT_EQ(platform::peekAndDispatch(quitCode), nothingWaiting);
}

// A window manager that died leaves its check window's id and its features on
// the root: a check window that does not name itself is no window manager, and
// fullscreen goes by geometry.
TEST_F(X11Window, ADeadWindowManagersLeftoversDoNotCount) {
    ::Window root = DefaultRootWindow(user), check = XCreateSimpleWindow(user, root, 0, 0, 1, 1, 0, 0, 0);
    Atom checkAtom = XInternAtom(user, "_NET_SUPPORTING_WM_CHECK", False), supported = XInternAtom(user, "_NET_SUPPORTED", False);
    long features[] = {long(XInternAtom(user, "_NET_WM_STATE", False)), long(XInternAtom(user, "_NET_WM_STATE_FULLSCREEN", False))};
    long elsewhere = long(root);
    XChangeProperty(user, root, checkAtom, XA_WINDOW, 32, PropModeReplace, reinterpret_cast<unsigned char*>(&check), 1);
    XChangeProperty(user, check, checkAtom, XA_WINDOW, 32, PropModeReplace, reinterpret_cast<unsigned char*>(&elsewhere), 1);
    XChangeProperty(user, root, supported, XA_ATOM, 32, PropModeReplace, reinterpret_cast<unsigned char*>(features), 2);
    XSync(user, False);
    showAndWait();
    platform::setFullscreen(window, true);
    EXPECT_TRUE(pumpUntil([] { return sawSize(1280, 1024); }));
    XDeleteProperty(user, root, checkAtom);
    XDeleteProperty(user, root, supported);
    XDestroyWindow(user, check);
    XSync(user, False);
}

TEST_F(X11Window, FullscreenCoversTheMonitorThatHoldsTheWindow) {
    // Two monitors side by side on the one screen, as RandR describes them.
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    if (!XRRQueryExtension(user, &eventBase, &errorBase) || !XRRQueryVersion(user, &major, &minor) ||
        (major == 1 && minor < 5))
        GTEST_SKIP() << "no RandR 1.5 monitors on this server";
    ::Window root = DefaultRootWindow(user);
    XRRMonitorInfo* monitors[2];
    for (int i = 0; i < 2; ++i) {
        XRRMonitorInfo* m = monitors[i] = XRRAllocateMonitor(user, 0);
        m->name = XInternAtom(user, i ? "RIGHT" : "LEFT", False);
        m->x = 640 * i, m->y = 0, m->width = 640, m->height = 1024, m->mwidth = 160, m->mheight = 260;
        m->primary = i == 0;
        XRRSetMonitor(user, root, m);
    }
    XSync(user, False);

    XMoveWindow(user, x11Window(window), 700, 100);
    XSync(user, False);
    showAndWait();
    platform::setFullscreen(window, true);
    ASSERT_TRUE(pumpUntil([] { return sawSize(640, 1024); }));
    Geometry full = geometryOf(user, x11Window(window));
    EXPECT_EQ(full.x, 640);
    EXPECT_EQ(full.y, 0);
    platform::setFullscreen(window, false);
    ASSERT_TRUE(pumpUntil([] { return sawSize(640, 400); }));
    EXPECT_EQ(geometryOf(user, x11Window(window)).x, 700);

    for (XRRMonitorInfo* m : monitors) {
        XRRDeleteMonitor(user, root, m->name);
        XRRFreeMonitors(m);
    }
    XSync(user, False);
}

TEST_F(X11Window, UseVisualRecreatesTheWindowWithEverythingKept) {
    XVisualInfo wanted{};
    wanted.screen = DefaultScreen(user);
    wanted.depth = 32;
    wanted.c_class = TrueColor;
    int count = 0;
    Display* display = x11Display(window);
    // The visual as the platform's own connection names it.
    XVisualInfo* own = XGetVisualInfo(display, VisualScreenMask | VisualDepthMask | VisualClassMask, &wanted, &count);
    if (!own) GTEST_SKIP() << "no 32-bit visual";
    VisualID id = own[0].visualid;

    platform::setFullscreen(window, true);
    ::Window before = x11Window(window);
    ASSERT_TRUE(platform::x11UseVisual(window, own[0].visual, own[0].depth));
    XFree(own);
    ::Window after = x11Window(window);

    XWindowAttributes attributes;
    ASSERT_TRUE(XGetWindowAttributes(user, after, &attributes));
    EXPECT_EQ(XVisualIDFromVisual(attributes.visual), id);  // of depth 32
    EXPECT_EQ(attributes.map_state, IsUnmapped);
    EXPECT_EQ(attributes.width, 1280);  // the fullscreen size it was given before
    EXPECT_EQ(stringProperty(user, after, "WM_NAME", "STRING"), testTitle);
    EXPECT_EQ(stringProperty(user, after, "WM_CLASS", "STRING"), std::string("VYRTEST\0VYRTEST\0", 16));
    EXPECT_FALSE(propertyItems(user, after, "_NET_WM_ICON", "CARDINAL").empty());
    EXPECT_EQ(XGetWindowAttributes(user, before, &attributes), 0) << "the old window is still there";

    ASSERT_TRUE(pumpUntil([] { return sawSize(1280, 1024); }));
    showAndWait();
    ASSERT_TRUE(pumpUntil([] { return countOf(WindowEventType::Paint) >= 1; }));
    tapKey(user, XK_Escape);
    ASSERT_TRUE(pumpUntil([] { return countOf(WindowEventType::KeyUp, 0x1B) == 1; }));
    EXPECT_FALSE(platform::x11UseVisual(window, DefaultVisual(display, DefaultScreen(display)),
                                        DefaultDepth(display, DefaultScreen(display))))
        << "a shown window cannot change its visual";
}

}  // namespace
}  // namespace vyr::testing

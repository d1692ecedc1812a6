// The main window on Xlib: one display connection, the window and its
// properties (title, class, icon, protocols), and its re-creation with the
// visual that the OpenGL binding chose.
#include "platform/window_systems_posix.h"
#include "platform/window_x11.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/cursorfont.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "platform/icon_images.h"
#include "platform/window_state_x11.h"

namespace vyr::platform {

namespace x11 {

namespace {

constexpr long eventMask = StructureNotifyMask | ExposureMask | KeyPressMask | KeyReleaseMask |
                           PointerMotionMask | ButtonPressMask | PropertyChangeMask;

struct Connection {
    Display* display = nullptr;
    Atoms atoms{};
    unsigned long errors = 0;
    std::vector<NativeWindow*> windows;
};

// Lives until the process ends, as the windows do; never destroyed, so
// nothing runs at exit against a connection that may be gone.
Connection& state() {
    static Connection* connection = new Connection;
    return *connection;
}

int countError(Display*, XErrorEvent*) {
    ++state().errors;
    return 0;
}

void internAtoms(Display* display, Atoms& atoms) {
    const char* names[] = {"WM_PROTOCOLS",
                           "WM_DELETE_WINDOW",
                           "WM_STATE",
                           "WM_CHANGE_STATE",
                           "_NET_SUPPORTED",
                           "_NET_SUPPORTING_WM_CHECK",
                           "_NET_WM_STATE",
                           "_NET_WM_STATE_FULLSCREEN",
                           "_NET_WM_STATE_HIDDEN",
                           "_NET_WM_FULLSCREEN_MONITORS",
                           "_NET_WM_ICON",
                           "_NET_WM_NAME",
                           "UTF8_STRING",
                           "_MOTIF_WM_HINTS"};
    Atom* targets[] = {&atoms.wmProtocols,
                       &atoms.wmDeleteWindow,
                       &atoms.wmState,
                       &atoms.wmChangeState,
                       &atoms.netSupported,
                       &atoms.netSupportingWmCheck,
                       &atoms.netWmState,
                       &atoms.netWmStateFullscreen,
                       &atoms.netWmStateHidden,
                       &atoms.netWmFullscreenMonitors,
                       &atoms.netWmIcon,
                       &atoms.netWmName,
                       &atoms.utf8String,
                       &atoms.motifWmHints};
    constexpr int count = sizeof names / sizeof names[0];
    Atom values[count];
    XInternAtoms(display, const_cast<char**>(names), count, False, values);
    for (int i = 0; i < count; ++i) *targets[i] = values[i];
}

// Format-32 properties travel as longs in Xlib, 64 bits wide on 64-bit hosts.
std::vector<unsigned long> iconProperty() {
    std::vector<unsigned long> data;
    for (int i = 0; i < iconImageCount(); ++i) {
        const IconImage& image = iconImage(i);
        data.push_back(static_cast<unsigned long>(image.size));
        data.push_back(static_cast<unsigned long>(image.size));
        for (int p = 0; p < image.size * image.size; ++p) data.push_back(image.argb[p]);
    }
    return data;
}

::Window createXWindow(NativeWindow* w, int x, int y, unsigned width, unsigned height) {
    Display* display = w->display;
    XSetWindowAttributes attributes{};
    // No background: the renderer paints every pixel, as with a class without a brush.
    attributes.background_pixmap = None;
    attributes.border_pixel = 0;  // needed when the visual differs from the root's
    attributes.event_mask = eventMask;
    attributes.colormap = w->colormap;
    // Without a cursor of its own the window shows its parent's: on a bare X
    // server that is the root's cross. Windows gives the class the arrow.
    if (!w->cursor) w->cursor = XCreateFontCursor(display, XC_left_ptr);
    attributes.cursor = w->cursor;
    unsigned long mask = CWBackPixmap | CWBorderPixel | CWEventMask | CWCursor | (w->colormap ? CWColormap : 0);
    return XCreateWindow(display, RootWindow(display, w->screen), x, y, width, height, 0,
                         w->visual ? w->depth : CopyFromParent, InputOutput,
                         w->visual ? w->visual : CopyFromParent, mask, &attributes);
}

void setProperties(NativeWindow* w) {
    Display* display = w->display;
    const Atoms& a = atoms();

    XStoreName(display, w->window, w->title.c_str());
    XChangeProperty(display, w->window, a.netWmName, a.utf8String, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(w->title.data()), static_cast<int>(w->title.size()));

    XClassHint classHint;
    classHint.res_name = const_cast<char*>(w->className.c_str());
    classHint.res_class = const_cast<char*>(w->className.c_str());
    XSetClassHint(display, w->window, &classHint);

    XWMHints wmHints{};
    wmHints.flags = InputHint | StateHint;
    wmHints.input = True;
    wmHints.initial_state = NormalState;
    XSetWMHints(display, w->window, &wmHints);

    // Static gravity: positions we save and restore are those of the client
    // area itself, whatever frame a window manager puts around it.
    XSizeHints sizeHints{};
    sizeHints.flags = PWinGravity;
    sizeHints.win_gravity = StaticGravity;
    XSetWMNormalHints(display, w->window, &sizeHints);

    Atom protocols[] = {a.wmDeleteWindow};
    XSetWMProtocols(display, w->window, protocols, 1);

    std::vector<unsigned long> icon = iconProperty();
    if (!icon.empty())
        XChangeProperty(display, w->window, a.netWmIcon, XA_CARDINAL, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(icon.data()), static_cast<int>(icon.size()));

    if (w->decorationsRemoved) setDecorations(w, false);
    if (w->fullscreen && !w->fullscreenByGeometry) setInitialFullscreenState(w, true);
}

}  // namespace

Display* connection() {
    Connection& c = state();
    if (!c.display) {
        c.display = XOpenDisplay(nullptr);
        if (!c.display) {
            // The window cannot be made without it: say which display and why, once.
            static bool told = false;
            const char* name = XDisplayName(nullptr);
            if (!told && (!name || !*name))
                fputs("vyrtest: cannot open the display: DISPLAY is not set, so there is no X server to show the "
                      "window on\n",
                      stderr);
            else if (!told)
                fprintf(stderr, "vyrtest: cannot open the display \"%s\": no X server answers there or it refused "
                        "the connection\n",
                        name);
            told = true;
            return nullptr;
        }
        XSetErrorHandler(countError);
        internAtoms(c.display, c.atoms);
        // The server then sends no release for auto-repeated keys; where it
        // cannot, the event translation looks ahead instead.
        Bool supported = False;
        XkbSetDetectableAutoRepeat(c.display, True, &supported);
    }
    return c.display;
}

const Atoms& atoms() { return state().atoms; }

unsigned long errorCount() { return state().errors; }

NativeWindow* findWindow(::Window id) {
    for (NativeWindow* w : state().windows)
        if (w->window == id) return w;
    return nullptr;
}

std::vector<Atom> atomList(Display* display, ::Window window, Atom property) {
    std::vector<Atom> result;
    Atom type = None;
    int format = 0;
    unsigned long count = 0, remaining = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, window, property, 0, 4096, False, XA_ATOM, &type, &format, &count, &remaining,
                           &data) == Success &&
        data) {
        // Format-32 items travel as longs in Xlib.
        if (format == 32) {
            const unsigned long* values = reinterpret_cast<const unsigned long*>(data);
            result.assign(values, values + count);
        }
        XFree(data);
    }
    return result;
}

// WM_STATE IconicState or _NET_WM_STATE_HIDDEN: the window manager shows it as an icon.
bool iconic(NativeWindow* w) {
    const Atoms& a = atoms();
    bool result = false;
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, remaining = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(w->display, w->window, a.wmState, 0, 2, False, a.wmState, &type, &format, &count,
                           &remaining, &data) == Success &&
        data) {
        if (format == 32 && count >= 1 && reinterpret_cast<const unsigned long*>(data)[0] == IconicState)
            result = true;
        XFree(data);
    }
    for (Atom state : atomList(w->display, w->window, a.netWmState))
        if (state == a.netWmStateHidden) result = true;
    return result;
}

void setInitialFullscreenState(NativeWindow* w, bool fullscreen) {
    const Atoms& a = atoms();
    std::vector<Atom> states = atomList(w->display, w->window, a.netWmState);
    states.erase(std::remove(states.begin(), states.end(), a.netWmStateFullscreen), states.end());
    if (fullscreen) states.push_back(a.netWmStateFullscreen);
    if (states.empty()) {
        XDeleteProperty(w->display, w->window, a.netWmState);
    } else {
        std::vector<unsigned long> values(states.begin(), states.end());
        XChangeProperty(w->display, w->window, a.netWmState, XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(values.data()), static_cast<int>(values.size()));
    }
}

void setDecorations(NativeWindow* w, bool decorated) {
    // flags, functions, decorations, input mode, status; flag 2: decorations given.
    unsigned long hints[5] = {2, 0, decorated ? 1ul : 0ul, 0, 0};
    XChangeProperty(w->display, w->window, atoms().motifWmHints, atoms().motifWmHints, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(hints), 5);
}

namespace {
WindowProcedure procedure = nullptr;
}

WindowProcedure registeredProcedure() { return procedure; }

// X has no window classes: the class name becomes WM_CLASS at creation.
bool registerMainWindowClass(const char* className, WindowProcedure windowProcedure) {
    procedure = windowProcedure;
    return procedure != nullptr;
}

void unregisterMainWindowClass(const char* className) { procedure = nullptr; }

NativeWindow* createMainWindow(const char* className, const char* title, int clientWidth, int clientHeight) {
    Display* display = x11::connection();
    if (!display || clientWidth <= 0 || clientHeight <= 0) return nullptr;

    auto* w = new NativeWindow;
    w->display = display;
    w->screen = DefaultScreen(display);
    w->title = title ? title : "";
    w->className = className ? className : "";
    w->reportedWidth = static_cast<unsigned>(clientWidth);
    w->reportedHeight = static_cast<unsigned>(clientHeight);
    w->savedWidth = w->reportedWidth;
    w->savedHeight = w->reportedHeight;

    unsigned long errorsBefore = x11::errorCount();
    w->window = x11::createXWindow(w, 0, 0, w->reportedWidth, w->reportedHeight);
    XSync(display, False);
    if (!w->window || x11::errorCount() != errorsBefore) {
        delete w;
        return nullptr;
    }
    x11::setProperties(w);
    XFlush(display);
    x11::state().windows.push_back(w);
    return w;
}

void showWindow(NativeWindow* w, int showState) {
    if (!w) return;
    constexpr int hide = 0, showMinimized = 2, minimize = 6, showMinNoActive = 7, forceMinimize = 11;
    w->shown = true;
    switch (showState) {
    case hide:
        w->withdrawn = true;
        XWithdrawWindow(w->display, w->window, w->screen);
        break;
    case showMinimized:
    case minimize:
    case showMinNoActive:
    case forceMinimize:
        if (w->mapped) {
            XIconifyWindow(w->display, w->window, w->screen);
        } else {
            XWMHints hints{};
            hints.flags = InputHint | StateHint;
            hints.input = True;
            hints.initial_state = IconicState;
            XSetWMHints(w->display, w->window, &hints);
            XMapWindow(w->display, w->window);
        }
        break;
    default:
        w->withdrawn = false;
        XMapRaised(w->display, w->window);
        break;
    }
    XFlush(w->display);
}

}  // namespace x11

Display* x11Display(NativeWindow* w) { return w ? w->display : nullptr; }

::Window x11Window(NativeWindow* w) { return w ? w->window : 0; }

int x11Screen(NativeWindow* w) { return w ? w->screen : 0; }

bool x11UseVisual(NativeWindow* w, Visual* visual, int depth) {
    if (!w || !visual || depth <= 0) return false;
    Display* display = w->display;
    Visual* current = w->visual ? w->visual : DefaultVisual(display, w->screen);
    int currentDepth = w->visual ? w->depth : DefaultDepth(display, w->screen);
    if (XVisualIDFromVisual(current) == XVisualIDFromVisual(visual) && currentDepth == depth) return true;
    if (w->shown) return false;

    ::Window root = 0;
    int x = 0, y = 0;
    unsigned width = 0, height = 0, border = 0, oldDepth = 0;
    if (!XGetGeometry(display, w->window, &root, &x, &y, &width, &height, &border, &oldDepth)) return false;

    NativeWindow replacement = *w;
    replacement.visual = visual;
    replacement.depth = depth;
    replacement.colormap = XCreateColormap(display, RootWindow(display, w->screen), visual, AllocNone);
    unsigned long errorsBefore = x11::errorCount();
    replacement.window = x11::createXWindow(&replacement, x, y, width, height);
    XSync(display, False);
    if (!replacement.window || x11::errorCount() != errorsBefore) {
        if (replacement.window) XDestroyWindow(display, replacement.window);
        XFreeColormap(display, replacement.colormap);
        XSync(display, False);
        return false;
    }

    ::Window oldWindow = w->window;
    Colormap oldColormap = w->colormap;
    *w = replacement;
    x11::setProperties(w);
    XDestroyWindow(display, oldWindow);
    if (oldColormap) XFreeColormap(display, oldColormap);
    XFlush(display);

    // Events still queued for the old window are dropped, so a size it was
    // given (fullscreen before the window is shown) is reported here.
    if (width != w->reportedWidth || height != w->reportedHeight) {
        w->reportedWidth = width;
        w->reportedHeight = height;
        WindowEvent event;
        event.type = WindowEventType::Size;
        event.width = width;
        event.height = height;
        x11::queueEvent(w, event);
    }
    return true;
}

}  // namespace vyr::platform

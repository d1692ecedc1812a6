// The main window on Wayland: one display connection, an xdg-shell toplevel
// with the compositor's frame (xdg-decoration) where it draws one, else with
// libdecor's, and the configure events that size it.
#include "platform/window_wayland.h"

#include <libdecor.h>
#include <wayland-client.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cstdlib>

#include "platform/window_state_wayland.h"
#include "platform/window_systems_posix.h"
#include "presentation-time-client-protocol.h"
#include "xdg-decoration-unstable-v1-client-protocol.h"
#include "xdg-shell-client-protocol.h"

namespace vyr::platform {

namespace wayland {

namespace {

WindowProcedure procedure = nullptr;

void tellSize(WaylandWindow* w, uint32_t width, uint32_t height) {
    if (width == w->width && height == w->height) return;
    w->width = width;
    w->height = height;
    WindowEvent event;
    event.type = WindowEventType::Size;
    event.width = width;
    event.height = height;
    queueEvent(w, event);
}

// The size a configure asks for, 0 meaning "choose": the floating size then.
void applyConfigure(WaylandWindow* w, int32_t width, int32_t height, bool fullscreen) {
    w->fullscreen = fullscreen;
    uint32_t newWidth = width > 0 ? uint32_t(width) : w->floatingWidth;
    uint32_t newHeight = height > 0 ? uint32_t(height) : w->floatingHeight;
    if (!fullscreen && width > 0 && height > 0) {
        w->floatingWidth = newWidth;
        w->floatingHeight = newHeight;
    }
    tellSize(w, newWidth, newHeight);
    w->configured = true;
}

// --- xdg-shell -------------------------------------------------------------

void wmBasePing(void*, xdg_wm_base* base, uint32_t serial) { xdg_wm_base_pong(base, serial); }
const xdg_wm_base_listener wmBaseListener = {wmBasePing};

void surfaceConfigure(void* data, xdg_surface* surface, uint32_t serial) {
    auto* w = static_cast<WaylandWindow*>(data);
    xdg_surface_ack_configure(surface, serial);
    applyConfigure(w, w->pendingWidth, w->pendingHeight, w->pendingFullscreen);
}
const xdg_surface_listener surfaceListener = {surfaceConfigure};

void toplevelConfigure(void* data, xdg_toplevel*, int32_t width, int32_t height, wl_array* states) {
    auto* w = static_cast<WaylandWindow*>(data);
    w->pendingWidth = width;
    w->pendingHeight = height;
    w->pendingFullscreen = false;
    const auto* state = static_cast<const uint32_t*>(states->data);
    for (size_t i = 0; i < states->size / sizeof *state; ++i)
        if (state[i] == XDG_TOPLEVEL_STATE_FULLSCREEN) w->pendingFullscreen = true;
}

void closeWindow(WaylandWindow* w) {
    WindowEvent event;
    event.type = WindowEventType::Close;
    queueEvent(w, event);
}

void toplevelClose(void* data, xdg_toplevel*) { closeWindow(static_cast<WaylandWindow*>(data)); }
// Filled by name: events of later versions than bound never come.
xdg_toplevel_listener makeToplevelListener() {
    xdg_toplevel_listener listener{};
    listener.configure = toplevelConfigure;
    listener.close = toplevelClose;
    return listener;
}
const xdg_toplevel_listener toplevelListener = makeToplevelListener();

// --- libdecor --------------------------------------------------------------

void decorError(libdecor*, libdecor_error, const char* message) {
    fprintf(stderr, "vyrtest: the window's frame (libdecor): %s\n", message);
}
libdecor_interface makeDecorInterface() {
    libdecor_interface callbacks{};
    callbacks.error = decorError;
    return callbacks;
}
libdecor_interface decorInterface = makeDecorInterface();

void frameConfigure(libdecor_frame* frame, libdecor_configuration* configuration, void* data) {
    auto* w = static_cast<WaylandWindow*>(data);
    int width = 0, height = 0;
    if (!libdecor_configuration_get_content_size(configuration, frame, &width, &height)) width = height = 0;
    libdecor_window_state state = LIBDECOR_WINDOW_STATE_NONE;
    bool fullscreen = w->fullscreen;
    if (libdecor_configuration_get_window_state(configuration, &state))
        fullscreen = (state & LIBDECOR_WINDOW_STATE_FULLSCREEN) != 0;
    // Back from fullscreen, libdecor 0.1 leaves the title bar in the content
    // size (it takes the borders of the state it leaves): the floating size is meant.
    if (w->fullscreen && !fullscreen) width = height = 0;
    const uint32_t committedWidth = width > 0 ? uint32_t(width) : (fullscreen ? w->width.load() : w->floatingWidth);
    const uint32_t committedHeight =
        height > 0 ? uint32_t(height) : (fullscreen ? w->height.load() : w->floatingHeight);
    libdecor_state* content = libdecor_state_new(int(committedWidth), int(committedHeight));
    libdecor_frame_commit(frame, content, configuration);
    libdecor_state_free(content);
    applyConfigure(w, width, height, fullscreen);
}

void frameClose(libdecor_frame*, void* data) { closeWindow(static_cast<WaylandWindow*>(data)); }

// The frame's parts are synchronised subsurfaces: they show with our next
// commit, which the next frame makes; when paused, Paint draws one.
void frameCommit(libdecor_frame*, void* data) {
    WindowEvent event;
    event.type = WindowEventType::Paint;
    queueEvent(static_cast<WaylandWindow*>(data), event);
}

void frameDismissPopup(libdecor_frame*, const char*, void*) {}

libdecor_frame_interface makeFrameInterface() {
    libdecor_frame_interface callbacks{};
    callbacks.configure = frameConfigure;
    callbacks.close = frameClose;
    callbacks.commit = frameCommit;
    callbacks.dismiss_popup = frameDismissPopup;
    return callbacks;
}
libdecor_frame_interface frameInterface = makeFrameInterface();

// --- globals -----------------------------------------------------------------

void presentationClock(void* data, wp_presentation*, uint32_t clock) {
    static_cast<WaylandWindow*>(data)->presentationClock = clock;
}
const wp_presentation_listener presentationListener = {presentationClock};

template <typename T>
T* bind(wl_registry* registry, uint32_t name, const wl_interface* interface, uint32_t offered, uint32_t wanted) {
    return static_cast<T*>(wl_registry_bind(registry, name, interface, offered < wanted ? offered : wanted));
}

void global(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t version) {
    auto* w = static_cast<WaylandWindow*>(data);
    if (!strcmp(interface, wl_compositor_interface.name) && !w->compositor) {
        w->compositor = bind<wl_compositor>(registry, name, &wl_compositor_interface, version, 4);
    } else if (!strcmp(interface, xdg_wm_base_interface.name) && !w->wmBase) {
        w->wmBase = bind<xdg_wm_base>(registry, name, &xdg_wm_base_interface, version, 1);
        xdg_wm_base_add_listener(w->wmBase, &wmBaseListener, w);
    } else if (!strcmp(interface, zxdg_decoration_manager_v1_interface.name) && !w->decorationManager) {
        w->decorationManager =
            bind<zxdg_decoration_manager_v1>(registry, name, &zxdg_decoration_manager_v1_interface, version, 1);
    } else if (!strcmp(interface, wp_presentation_interface.name) && !w->presentation) {
        w->presentation = bind<wp_presentation>(registry, name, &wp_presentation_interface, version, 1);
        wp_presentation_add_listener(w->presentation, &presentationListener, w);
    } else if (!strcmp(interface, wl_seat_interface.name) && !w->seat) {
        // Version 5 at most: later ones send key repeats as events of their own.
        listenToSeat(w, bind<wl_seat>(registry, name, &wl_seat_interface, version, 5));
    }
}

void globalRemove(void*, wl_registry*, uint32_t) {}
const wl_registry_listener registryListener = {global, globalRemove};

wl_display* connect() {
    wl_display* display = wl_display_connect(nullptr);
    if (display) return display;
    const int error = errno;
    const char* name = getenv("WAYLAND_DISPLAY");
    fprintf(stderr, "vyrtest: cannot open the Wayland display \"%s\": %s\n", name && *name ? name : "wayland-0",
            strerror(error));
    return nullptr;
}

// Our own toplevel, framed by the compositor where it offers that.
void makeToplevel(WaylandWindow* w) {
    w->xdgSurface = xdg_wm_base_get_xdg_surface(w->wmBase, w->surface);
    xdg_surface_add_listener(w->xdgSurface, &surfaceListener, w);
    w->toplevel = xdg_surface_get_toplevel(w->xdgSurface);
    xdg_toplevel_add_listener(w->toplevel, &toplevelListener, w);
    xdg_toplevel_set_title(w->toplevel, w->title.c_str());
    xdg_toplevel_set_app_id(w->toplevel, w->appId.c_str());
    if (w->decorationManager) {
        w->decoration = zxdg_decoration_manager_v1_get_toplevel_decoration(w->decorationManager, w->toplevel);
        zxdg_toplevel_decoration_v1_set_mode(w->decoration, ZXDG_TOPLEVEL_DECORATION_V1_MODE_SERVER_SIDE);
    }
    wl_surface_commit(w->surface);
}

// A compositor that draws no frames (weston, mutter): libdecor draws one, so
// the window has a title bar and a close box. Without it, none.
bool makeDecoratedFrame(WaylandWindow* w) {
    w->decor = libdecor_new(w->display, &decorInterface);
    if (!w->decor) {
        fputs("vyrtest: the compositor draws no window frames and libdecor cannot: the window has none\n", stderr);
        return false;
    }
    w->frame = libdecor_decorate(w->decor, w->surface, &frameInterface, w);
    if (!w->frame) {
        libdecor_unref(w->decor);
        w->decor = nullptr;
        fputs("vyrtest: libdecor cannot frame the window: it has none\n", stderr);
        return false;
    }
    libdecor_frame_set_title(w->frame, w->title.c_str());
    libdecor_frame_set_app_id(w->frame, w->appId.c_str());
    libdecor_frame_map(w->frame);
    return true;
}

void discard(WaylandWindow* w) {
    // Nothing else was made: the connection takes the rest with it.
    pumpWindow(nullptr);
    wl_display_disconnect(w->display);
    delete w;
}

}  // namespace

WindowProcedure registeredProcedure() { return procedure; }

// Wayland has no window classes; the app_id names the program instead.
bool registerMainWindowClass(const char*, WindowProcedure windowProcedure) {
    procedure = windowProcedure;
    return procedure != nullptr;
}

void unregisterMainWindowClass(const char*) { procedure = nullptr; }

NativeWindow* createMainWindow(const char*, const char* title, int clientWidth, int clientHeight) {
    if (clientWidth <= 0 || clientHeight <= 0) return nullptr;
    wl_display* display = connect();
    if (!display) return nullptr;

    auto* w = new WaylandWindow;
    w->display = display;
    pumpWindow(w);
    w->title = title ? title : "";
    w->appId = "vyrtest";
    w->width = uint32_t(clientWidth);
    w->height = uint32_t(clientHeight);
    w->floatingWidth = w->width;
    w->floatingHeight = w->height;

    // The globals, then what they tell at once (the presentation clock, the seat's devices).
    w->registry = wl_display_get_registry(display);
    wl_registry_add_listener(w->registry, &registryListener, w);
    if (wl_display_roundtrip(display) < 0 || wl_display_roundtrip(display) < 0) {
        fprintf(stderr, "vyrtest: the Wayland compositor closed the connection: %s\n", strerror(errno));
        discard(w);
        return nullptr;
    }
    if (!w->compositor || !w->wmBase) {
        fputs("vyrtest: the Wayland compositor offers no desktop windows (wl_compositor, xdg_wm_base)\n", stderr);
        discard(w);
        return nullptr;
    }

    w->surface = wl_compositor_create_surface(w->compositor);
    if (w->decorationManager || !makeDecoratedFrame(w)) makeToplevel(w);

    // The surface shows nothing until a frame is drawn; its first configure
    // must come before that, and tells the size the binding starts with.
    for (int tries = 0; !w->configured && tries < 20; ++tries) {
        if (wl_display_roundtrip(display) < 0) break;
    }
    if (!w->configured) {
        fputs("vyrtest: the Wayland compositor never configured the window\n", stderr);
        return nullptr;  // the half-made window stays with its connection
    }
    return toNative(w);
}

void showWindow(NativeWindow* window, int showState) {
    WaylandWindow* w = fromNative(window);
    if (!w) return;
    constexpr int showMinimized = 2, minimize = 6, showMinNoActive = 7, forceMinimize = 11;
    w->shown = true;
    // A Wayland window shows with its first frame; hiding would undo its
    // configuration, so hiding asks nothing.
    switch (showState) {
    case showMinimized:
    case minimize:
    case showMinNoActive:
    case forceMinimize:
        if (w->frame)
            libdecor_frame_set_minimized(w->frame);
        else
            xdg_toplevel_set_minimized(w->toplevel);
        break;
    default:
        break;
    }
    if (!w->painted) {
        // As X11's Expose on mapping: a paused scene draws its first frame.
        w->painted = true;
        WindowEvent event;
        event.type = WindowEventType::Paint;
        queueEvent(w, event);
    }
    wl_display_flush(w->display);
}

// The compositor answers with a configure of the new size, told as Size.
void setFullscreen(NativeWindow* window, bool fullscreen) {
    WaylandWindow* w = fromNative(window);
    if (!w || w->fullscreenAsked == fullscreen) return;
    w->fullscreenAsked = fullscreen;
    if (w->frame) {
        if (fullscreen)
            libdecor_frame_set_fullscreen(w->frame, nullptr);
        else
            libdecor_frame_unset_fullscreen(w->frame);
    } else if (fullscreen) {
        xdg_toplevel_set_fullscreen(w->toplevel, nullptr);
    } else {
        xdg_toplevel_unset_fullscreen(w->toplevel);
    }
    wl_display_flush(w->display);
}

bool clientAreaSize(NativeWindow* window, uint32_t& width, uint32_t& height) {
    WaylandWindow* w = fromNative(window);
    if (!w) return false;
    width = w->width;
    height = w->height;
    return true;
}

// xdg-shell tells no program whether it is minimised.
bool windowMinimised(NativeWindow*) { return false; }

// No Wayland program may raise or focus itself.
void bringIntoView(NativeWindow*) {}

}  // namespace wayland

wl_display* waylandDisplay(NativeWindow* window) {
    return window ? wayland::fromNative(window)->display : nullptr;
}

wl_surface* waylandSurface(NativeWindow* window) {
    return window ? wayland::fromNative(window)->surface : nullptr;
}

void waylandClientSize(NativeWindow* window, uint32_t& width, uint32_t& height) {
    width = height = 0;
    if (window) wayland::clientAreaSize(window, width, height);
}

void waylandFrameCommitting(NativeWindow* window) {
    if (!window) return;
    wayland::WaylandWindow* w = wayland::fromNative(window);
    std::lock_guard<std::mutex> lock(w->watchLock);
    if (w->watch) wayland::requestFeedback(w->watch, w->surface);
}

}  // namespace vyr::platform

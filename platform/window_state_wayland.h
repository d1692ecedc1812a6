// What the Wayland window layer keeps for its one window and connection;
// private to platform/*_wayland.cpp. A NativeWindow* of the Wayland build is a
// WaylandWindow* (as on Windows it is the HWND): the X11 side owns the struct's name.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "platform/native_window.h"

struct wl_display;
struct wl_registry;
struct wl_compositor;
struct wl_surface;
struct wl_seat;
struct wl_keyboard;
struct wl_pointer;
struct xdg_wm_base;
struct xdg_surface;
struct xdg_toplevel;
struct zxdg_decoration_manager_v1;
struct zxdg_toplevel_decoration_v1;
struct wp_presentation;
struct libdecor;
struct libdecor_frame;
struct xkb_context;
struct xkb_keymap;
struct xkb_state;

namespace vyr::platform::wayland {

struct PresentationWatch;

struct WaylandWindow {
    wl_display* display = nullptr;
    wl_registry* registry = nullptr;
    wl_compositor* compositor = nullptr;
    xdg_wm_base* wmBase = nullptr;
    zxdg_decoration_manager_v1* decorationManager = nullptr;  // null: the compositor draws no frames
    wp_presentation* presentation = nullptr;                  // null: no presentation feedback
    uint32_t presentationClock = 0;                           // clockid_t of its time stamps
    wl_seat* seat = nullptr;
    wl_keyboard* keyboard = nullptr;
    wl_pointer* pointer = nullptr;

    wl_surface* surface = nullptr;
    // Either our own xdg surface and toplevel, or libdecor's frame that owns them.
    xdg_surface* xdgSurface = nullptr;
    xdg_toplevel* toplevel = nullptr;
    zxdg_toplevel_decoration_v1* decoration = nullptr;
    libdecor* decor = nullptr;
    libdecor_frame* frame = nullptr;

    std::string title, appId;
    bool configured = false;  // the first configure was acknowledged: buffers may follow
    bool shown = false;
    bool painted = false;         // the first Paint after showing went out
    bool fullscreenAsked = false;  // as setFullscreen last asked
    // The client area as the compositor last configured it (or as asked when
    // it leaves the size to us); read by the binding on the frame thread.
    std::atomic<uint32_t> width{0}, height{0};
    std::atomic<bool> fullscreen{false};  // as the compositor last told
    // The size while not fullscreen: a configure of 0 x 0 (the compositor
    // leaves the size to us, as after fullscreen) means this size.
    uint32_t floatingWidth = 0, floatingHeight = 0;
    // Toplevel configure values wait here until the xdg surface's configure.
    int32_t pendingWidth = 0, pendingHeight = 0;
    bool pendingFullscreen = false;

    xkb_context* xkb = nullptr;
    xkb_keymap* keymap = nullptr;
    xkb_state* keyState = nullptr;
    bool pointerInside = false;  // on our surface, not on a decoration's
    int16_t pointerX = 0, pointerY = 0;

    // The open screen watch, if any: the frame thread asks it for feedback.
    std::mutex watchLock;
    PresentationWatch* watch = nullptr;
};

inline WaylandWindow* fromNative(NativeWindow* window) { return reinterpret_cast<WaylandWindow*>(window); }
inline NativeWindow* toNative(WaylandWindow* window) { return reinterpret_cast<NativeWindow*>(window); }

WindowProcedure registeredProcedure();
// Neutral events go out one per peekAndDispatch, in order (events_wayland.cpp).
void queueEvent(WaylandWindow* window, const WindowEvent& event);
// The keyboard and pointer of a seat the registry announced (events_wayland.cpp).
void listenToSeat(WaylandWindow* window, wl_seat* seat);
// The window whose connection peekAndDispatch reads (events_wayland.cpp).
void pumpWindow(WaylandWindow* window);
// Called with the watch lock held, on the frame thread (presentation_watch_wayland.cpp).
void requestFeedback(PresentationWatch* watch, wl_surface* surface);

}  // namespace vyr::platform::wayland

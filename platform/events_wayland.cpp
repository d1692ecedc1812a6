// The event pump of the Wayland window layer: the seat's keyboard and pointer
// and the window's own events become the neutral event set, queued, and the
// quit marker waits behind what is already queued (as events_x11.cpp).
#include <linux/input-event-codes.h>
#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include <cstdio>
#include <cstring>
#include <deque>

#include "platform/key_map_wayland.h"
#include "platform/window_state_wayland.h"
#include "platform/window_systems_posix.h"

namespace vyr::platform::wayland {

namespace {

struct QueuedEvent {
    WaylandWindow* window;
    WindowEvent event;
};

struct Pump {
    std::deque<QueuedEvent> queued;
    WaylandWindow* window = nullptr;  // whose connection peekAndDispatch reads
    bool connectionLost = false;
    bool quitPending = false;
    int quitCode = 0;
    long eventsBeforeQuit = 0;  // events that were waiting when the quit was posted
};

Pump& pump() {
    static Pump p;
    return p;
}

// --- keyboard ----------------------------------------------------------------

void keymap(void* data, wl_keyboard*, uint32_t format, int32_t fd, uint32_t size) {
    auto* w = static_cast<WaylandWindow*>(data);
    if (format != WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1) {
        close(fd);
        return;
    }
    // Private: the compositor may share one read-only map with every client.
    void* text = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    close(fd);
    if (text == MAP_FAILED) return;
    if (!w->xkb) w->xkb = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    xkb_keymap* map = w->xkb ? xkb_keymap_new_from_string(w->xkb, static_cast<const char*>(text),
                                                          XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS)
                             : nullptr;
    munmap(text, size);
    if (!map) return;
    xkb_state_unref(w->keyState);
    xkb_keymap_unref(w->keymap);
    w->keymap = map;
    w->keyState = xkb_state_new(map);
}

void keyboardEnter(void*, wl_keyboard*, uint32_t, wl_surface*, wl_array*) {}
void keyboardLeave(void*, wl_keyboard*, uint32_t, wl_surface*) {}

void key(void* data, wl_keyboard*, uint32_t, uint32_t, uint32_t code, uint32_t state) {
    auto* w = static_cast<WaylandWindow*>(data);
    if (!w->keyState) return;
    // Only presses and releases come (seat version 5): the compositor leaves
    // repeating to the client, and repeats act on nothing here.
    const bool pressed = state == WL_KEYBOARD_KEY_STATE_PRESSED;
    const xkb_keycode_t keycode = code + 8;  // evdev codes are XKB's less 8
    const xkb_keysym_t keysym = unshiftedKeysym(w->keyState, keycode);
    WindowEvent event;
    event.key = virtualKeyFromKeysym(keysym);
    // With Alt held keys are system keys, Alt itself included, and F10 is one always.
    const bool altKey = keysym == XKB_KEY_Alt_L || keysym == XKB_KEY_Alt_R || keysym == XKB_KEY_Meta_L ||
                        keysym == XKB_KEY_Meta_R;
    const bool altHeld = xkb_state_mod_name_is_active(w->keyState, XKB_MOD_NAME_ALT, XKB_STATE_MODS_EFFECTIVE) > 0;
    const bool system = altHeld || altKey || event.key == KeyF10;
    if (pressed)
        event.type = system ? WindowEventType::SystemKeyDown : WindowEventType::KeyDown;
    else
        event.type = system ? WindowEventType::SystemKeyUp : WindowEventType::KeyUp;
    queueEvent(w, event);
}

void modifiers(void* data, wl_keyboard*, uint32_t, uint32_t depressed, uint32_t latched, uint32_t locked,
               uint32_t group) {
    auto* w = static_cast<WaylandWindow*>(data);
    if (w->keyState) xkb_state_update_mask(w->keyState, depressed, latched, locked, 0, 0, group);
}

void repeatInfo(void*, wl_keyboard*, int32_t, int32_t) {}

const wl_keyboard_listener keyboardListener = {keymap, keyboardEnter, keyboardLeave, key, modifiers, repeatInfo};

// --- pointer -----------------------------------------------------------------

void moveTo(WaylandWindow* w, wl_fixed_t x, wl_fixed_t y) {
    w->pointerX = int16_t(wl_fixed_to_int(x));
    w->pointerY = int16_t(wl_fixed_to_int(y));
    WindowEvent event;
    event.type = WindowEventType::MouseMove;
    event.x = w->pointerX;
    event.y = w->pointerY;
    queueEvent(w, event);
}

// A pointer that comes into the window has moved there: a compositor sends
// only the enter when it jumps in (X11 sends a motion too).
void pointerEnter(void* data, wl_pointer*, uint32_t, wl_surface* surface, wl_fixed_t x, wl_fixed_t y) {
    auto* w = static_cast<WaylandWindow*>(data);
    // libdecor's frame parts are surfaces of their own: not the client area.
    w->pointerInside = surface == w->surface;
    if (w->pointerInside) moveTo(w, x, y);
}

void pointerLeave(void* data, wl_pointer*, uint32_t, wl_surface*) {
    static_cast<WaylandWindow*>(data)->pointerInside = false;
}

void motion(void* data, wl_pointer*, uint32_t, wl_fixed_t x, wl_fixed_t y) {
    auto* w = static_cast<WaylandWindow*>(data);
    if (w->pointerInside) moveTo(w, x, y);
}

void button(void* data, wl_pointer*, uint32_t, uint32_t, uint32_t which, uint32_t state) {
    auto* w = static_cast<WaylandWindow*>(data);
    if (!w->pointerInside || which != BTN_LEFT || state != WL_POINTER_BUTTON_STATE_PRESSED) return;
    WindowEvent event;
    event.type = WindowEventType::LeftButtonDown;
    event.x = w->pointerX;
    event.y = w->pointerY;
    queueEvent(w, event);
}

void axis(void*, wl_pointer*, uint32_t, uint32_t, wl_fixed_t) {}
void frame(void*, wl_pointer*) {}
void axisSource(void*, wl_pointer*, uint32_t) {}
void axisStop(void*, wl_pointer*, uint32_t, uint32_t) {}
void axisDiscrete(void*, wl_pointer*, uint32_t, int32_t) {}

// Filled by name: events of later versions than the seat's never come.
wl_pointer_listener makePointerListener() {
    wl_pointer_listener listener{};
    listener.enter = pointerEnter;
    listener.leave = pointerLeave;
    listener.motion = motion;
    listener.button = button;
    listener.axis = axis;
    listener.frame = frame;
    listener.axis_source = axisSource;
    listener.axis_stop = axisStop;
    listener.axis_discrete = axisDiscrete;
    return listener;
}
const wl_pointer_listener pointerListener = makePointerListener();

// --- seat --------------------------------------------------------------------

void capabilities(void* data, wl_seat* seat, uint32_t caps) {
    auto* w = static_cast<WaylandWindow*>(data);
    if ((caps & WL_SEAT_CAPABILITY_KEYBOARD) && !w->keyboard) {
        w->keyboard = wl_seat_get_keyboard(seat);
        wl_keyboard_add_listener(w->keyboard, &keyboardListener, w);
    } else if (!(caps & WL_SEAT_CAPABILITY_KEYBOARD) && w->keyboard) {
        wl_keyboard_release(w->keyboard);
        w->keyboard = nullptr;
    }
    if ((caps & WL_SEAT_CAPABILITY_POINTER) && !w->pointer) {
        w->pointer = wl_seat_get_pointer(seat);
        wl_pointer_add_listener(w->pointer, &pointerListener, w);
    } else if (!(caps & WL_SEAT_CAPABILITY_POINTER) && w->pointer) {
        wl_pointer_release(w->pointer);
        w->pointer = nullptr;
        w->pointerInside = false;
    }
}

void seatName(void*, wl_seat*, const char*) {}

const wl_seat_listener seatListener = {capabilities, seatName};

void dispatch(WaylandWindow* w, const WindowEvent& event) {
    // Nothing is left for default handling: the compositor did it.
    if (WindowProcedure procedure = registeredProcedure()) procedure(toNative(w), event);
}

void countTowardsQuit() {
    Pump& p = pump();
    if (p.quitPending && p.eventsBeforeQuit > 0) --p.eventsBeforeQuit;
}

}  // namespace

void listenToSeat(WaylandWindow* window, wl_seat* seat) {
    window->seat = seat;
    wl_seat_add_listener(seat, &seatListener, window);
}

void pumpWindow(WaylandWindow* window) { pump().window = window; }

void queueEvent(WaylandWindow* window, const WindowEvent& event) { pump().queued.push_back({window, event}); }

namespace {

// The compositor went away (or ended the connection for an error of ours):
// the window is gone, as X11 ends the program when its server goes.
void connectionLost(WaylandWindow* window, wl_display* display) {
    Pump& p = pump();
    if (p.connectionLost) return;
    p.connectionLost = true;
    fprintf(stderr, "vyrtest: the Wayland compositor closed the connection: %s\n",
            strerror(wl_display_get_error(display)));
    WindowEvent event;
    event.type = WindowEventType::Destroy;
    queueEvent(window, event);
}

// Other threads (eglSwapBuffers, the Vulkan presentation, the screen watch)
// read the same connection; prepare_read lets whichever reads queue the
// events for the others.
void readDisplay(WaylandWindow* window, wl_display* display) {
    while (wl_display_prepare_read(display) != 0)
        if (wl_display_dispatch_pending(display) < 0) return connectionLost(window, display);
    wl_display_flush(display);
    pollfd ready = {wl_display_get_fd(display), POLLIN, 0};
    if (poll(&ready, 1, 0) > 0 && (ready.revents & POLLIN))
        wl_display_read_events(display);
    else
        wl_display_cancel_read(display);
    if (wl_display_dispatch_pending(display) < 0) connectionLost(window, display);
}

}  // namespace

void postQuit() {
    Pump& p = pump();
    if (p.quitPending) return;
    // Events read but not yet dispatched come before the quit too.
    if (p.window && !p.connectionLost) wl_display_dispatch_pending(p.window->display);
    p.quitPending = true;
    p.quitCode = 0;
    p.eventsBeforeQuit = long(p.queued.size());
}

MessageResult peekAndDispatch(int& quitCode) {
    Pump& p = pump();
    if (p.quitPending && p.eventsBeforeQuit == 0) {
        p.quitPending = false;
        quitCode = p.quitCode;
        return MessageResult::Quit;
    }
    if (p.queued.empty() && p.window && !p.connectionLost) readDisplay(p.window, p.window->display);
    if (!p.queued.empty()) {
        QueuedEvent next = p.queued.front();
        p.queued.pop_front();
        countTowardsQuit();
        dispatch(next.window, next.event);
        return MessageResult::Dispatched;
    }
    if (p.quitPending) {
        p.quitPending = false;
        quitCode = p.quitCode;
        return MessageResult::Quit;
    }
    return MessageResult::None;
}

}  // namespace vyr::platform::wayland

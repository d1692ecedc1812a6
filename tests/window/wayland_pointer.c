// A pointer of the test's own on a wlroots compositor (sway), as wtype is a
// keyboard: a virtual pointer (zwlr_virtual_pointer_v1) on the seat for as
// long as it runs, driven by lines on standard input:
//   move X Y   to (X, Y) of the layout, whose size the first line gave:
//   extent W H
//   click      the left button pressed and released
// Each line is answered "done" once the compositor has taken it. The device
// stays, so a program that bound the seat's pointer keeps it between lines.
#include <stdio.h>
#include <string.h>
#include <time.h>
#include <wayland-client.h>

// The protocol's two interfaces (version 1), as wayland-scanner would make them.
extern const struct wl_interface zwlr_virtual_pointer_v1_interface;
static const struct wl_interface* types[] = {NULL, NULL, NULL, NULL, NULL, &wl_seat_interface,
                                             &zwlr_virtual_pointer_v1_interface};
static const struct wl_message pointerRequests[] = {
    {"motion", "uff", types},   {"motion_absolute", "uuuuu", types}, {"button", "uuu", types},
    {"axis", "uuf", types},     {"frame", "", types},                {"axis_source", "u", types},
    {"axis_stop", "uu", types}, {"axis_discrete", "uufi", types},    {"destroy", "", types},
};
const struct wl_interface zwlr_virtual_pointer_v1_interface = {"zwlr_virtual_pointer_v1", 1, 9, pointerRequests,
                                                                0, NULL};
static const struct wl_message managerRequests[] = {
    {"create_virtual_pointer", "?on", types + 5},
    {"destroy", "", types},
};
static const struct wl_interface managerInterface = {"zwlr_virtual_pointer_manager_v1", 1, 2, managerRequests, 0,
                                                     NULL};

enum { opMotionAbsolute = 1, opButton = 2, opFrame = 4 };
enum { leftButton = 0x110 };  // BTN_LEFT

static struct wl_seat* seat;
static struct wl_proxy* manager;

static void global(void* data, struct wl_registry* registry, uint32_t name, const char* interface, uint32_t version) {
    (void)data;
    (void)version;
    if (!strcmp(interface, "wl_seat") && !seat) seat = wl_registry_bind(registry, name, &wl_seat_interface, 1);
    if (!strcmp(interface, managerInterface.name))
        manager = wl_registry_bind(registry, name, &managerInterface, 1);
}
static void globalRemove(void* data, struct wl_registry* registry, uint32_t name) {
    (void)data;
    (void)registry;
    (void)name;
}
static const struct wl_registry_listener registryListener = {global, globalRemove};

static uint32_t now(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (uint32_t)(t.tv_sec * 1000 + t.tv_nsec / 1000000);
}

static void button(struct wl_proxy* pointer, uint32_t state) {
    wl_proxy_marshal_flags(pointer, opButton, NULL, 1, 0, now(), leftButton, state);
    wl_proxy_marshal_flags(pointer, opFrame, NULL, 1, 0);
}

int main(void) {
    struct wl_display* display = wl_display_connect(NULL);
    if (!display) {
        fprintf(stderr, "wayland_pointer: no Wayland display\n");
        return 2;
    }
    struct wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &registryListener, NULL);
    wl_display_roundtrip(display);
    if (!manager) {
        fprintf(stderr, "wayland_pointer: the compositor offers no virtual pointer\n");
        return 2;
    }
    struct wl_proxy* pointer = wl_proxy_marshal_flags(manager, 0, &zwlr_virtual_pointer_v1_interface, 1, 0, seat, NULL);
    wl_display_roundtrip(display);
    printf("ready\n");
    fflush(stdout);
    unsigned width = 1, height = 1, x = 0, y = 0;
    char line[128];
    while (fgets(line, sizeof line, stdin)) {
        if (sscanf(line, "extent %u %u", &width, &height) == 2) {
        } else if (sscanf(line, "move %u %u", &x, &y) == 2) {
            wl_proxy_marshal_flags(pointer, opMotionAbsolute, NULL, 1, 0, now(), x, y, width, height);
            wl_proxy_marshal_flags(pointer, opFrame, NULL, 1, 0);
        } else if (!strncmp(line, "click", 5)) {
            button(pointer, WL_POINTER_BUTTON_STATE_PRESSED);
            button(pointer, WL_POINTER_BUTTON_STATE_RELEASED);
        } else {
            fprintf(stderr, "wayland_pointer: what is %s", line);
            return 2;
        }
        if (wl_display_roundtrip(display) < 0) return 1;
        printf("done\n");
        fflush(stdout);
    }
    wl_display_disconnect(display);
    return 0;
}

// Pairs with platform/wayland_outputs_wayland.h.
#include "platform/wayland_outputs_wayland.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "xdg-output-unstable-v1-client-protocol.h"

namespace vyr::platform {

namespace {

void outputGeometry(void* data, wl_output*, int32_t x, int32_t y, int32_t, int32_t, int32_t, const char*, const char*,
                    int32_t transform) {
    auto* output = static_cast<WaylandOutput*>(data);
    output->transform = transform;
    if (output->logical) return;
    output->place.left = x;
    output->place.top = y;
}

void outputMode(void* data, wl_output*, uint32_t flags, int32_t width, int32_t height, int32_t) {
    if (!(flags & WL_OUTPUT_MODE_CURRENT)) return;
    auto* output = static_cast<WaylandOutput*>(data);
    output->place.pixelWidth = width;
    output->place.pixelHeight = height;
}

void outputScale(void* data, wl_output*, int32_t factor) {
    static_cast<WaylandOutput*>(data)->scale = factor > 0 ? factor : 1;
}
void outputDone(void*, wl_output*) {}
void outputText(void*, wl_output*, const char*) {}

const wl_output_listener outputListener = {outputGeometry, outputMode, outputDone, outputScale, outputText, outputText};

void xdgPosition(void* data, zxdg_output_v1*, int32_t x, int32_t y) {
    auto* output = static_cast<WaylandOutput*>(data);
    output->logical = true;
    output->place.left = x;
    output->place.top = y;
}

void xdgSize(void* data, zxdg_output_v1*, int32_t width, int32_t height) {
    auto* output = static_cast<WaylandOutput*>(data);
    output->logical = true;
    output->place.width = width;
    output->place.height = height;
}

void xdgDone(void*, zxdg_output_v1*) {}
void xdgName(void* data, zxdg_output_v1*, const char* name) { static_cast<WaylandOutput*>(data)->name = name; }
void xdgDescription(void*, zxdg_output_v1*, const char*) {}

const zxdg_output_v1_listener xdgListener = {xdgPosition, xdgSize, xdgDone, xdgName, xdgDescription};

}  // namespace

wl_display* connectToCompositor(std::string& why) {
    const char* name = getenv("WAYLAND_DISPLAY");
    if (!name || !*name) {
        why = "the X server is Xwayland, but WAYLAND_DISPLAY is not set: the program cannot reach the Wayland "
              "compositor that shows the screen";
        return nullptr;
    }
    wl_display* display = wl_display_connect(nullptr);
    if (!display) why = "the Wayland display \"" + std::string(name) + "\" could not be reached: " + strerror(errno);
    return display;
}

void WaylandOutputs::release() {
    for (auto& output : outputs) {
        if (output->xdg) zxdg_output_v1_destroy(output->xdg);
        wl_output_destroy(output->output);
    }
    outputs.clear();
    places.clear();
    if (xdgOutputs) zxdg_output_manager_v1_destroy(xdgOutputs);
    xdgOutputs = nullptr;
}

bool WaylandOutputs::offer(wl_registry* registry, uint32_t name, const char* interface, uint32_t version) {
    if (strcmp(interface, zxdg_output_manager_v1_interface.name) == 0) {
        if (!xdgOutputs)
            xdgOutputs = static_cast<zxdg_output_manager_v1*>(
                wl_registry_bind(registry, name, &zxdg_output_manager_v1_interface, version < 2 ? version : 2));
        return true;
    }
    if (strcmp(interface, wl_output_interface.name) != 0) return false;
    auto output = std::make_unique<WaylandOutput>();
    output->output =
        static_cast<wl_output*>(wl_registry_bind(registry, name, &wl_output_interface, version < 2 ? version : 2));
    wl_output_add_listener(output->output, &outputListener, output.get());
    outputs.push_back(std::move(output));
    return true;
}

void WaylandOutputs::askLogicalPlaces() {
    if (!xdgOutputs) return;
    for (auto& output : outputs) {
        output->xdg = zxdg_output_manager_v1_get_xdg_output(xdgOutputs, output->output);
        zxdg_output_v1_add_listener(output->xdg, &xdgListener, output.get());
    }
}

bool WaylandOutputs::learn(std::string& why) {
    places.clear();
    for (auto& output : outputs) {
        OutputPlace& place = output->place;
        // A turned or flipped output's copy is not in the layout's
        // orientation; the program does not turn it back.
        if (output->transform != WL_OUTPUT_TRANSFORM_NORMAL) {
            why = "the Wayland compositor shows an output turned or flipped, which the program does not read";
            return false;
        }
        if (!output->logical) {
            place.width = place.pixelWidth / output->scale;
            place.height = place.pixelHeight / output->scale;
        }
        places.push_back(place);
    }
    return true;
}

}  // namespace vyr::platform

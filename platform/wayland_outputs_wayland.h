// The compositor's outputs as a Wayland client learns them: where each lies
// in the layout (xdg-output, else wl_output's position, mode and scale), its
// real pixels, and its name (a connector's, such as "Meta-0" or "HEADLESS-1").
// Shared by the ways of reading the screen (platform/compositor_capture.h).
#pragma once

#include <wayland-client.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/output_layout_wayland.h"

struct zxdg_output_manager_v1;
struct zxdg_output_v1;

namespace vyr::platform {

struct WaylandOutput {
    wl_output* output = nullptr;
    zxdg_output_v1* xdg = nullptr;
    OutputPlace place;
    std::string name;
    int32_t scale = 1;
    int32_t transform = WL_OUTPUT_TRANSFORM_NORMAL;
    bool logical = false;  // the place came from xdg-output
};

// The Wayland display the environment names, or null with why.
wl_display* connectToCompositor(std::string& why);

class WaylandOutputs {
public:
    ~WaylandOutputs() { release(); }
    // Destroys what was bound; before the connection is closed.
    void release();
    // From the registry's global event: binds outputs and the xdg-output
    // manager; false for any other interface.
    bool offer(wl_registry* registry, uint32_t name, const char* interface, uint32_t version);
    // After the registry's first round trip: asks each output's logical place.
    void askLogicalPlaces();
    // After the second: the places; false with why where the program cannot
    // read an output (turned or flipped).
    bool learn(std::string& why);

    std::vector<std::unique_ptr<WaylandOutput>> outputs;
    std::vector<OutputPlace> places;  // the outputs', in the same order

private:
    zxdg_output_manager_v1* xdgOutputs = nullptr;
};

}  // namespace vyr::platform

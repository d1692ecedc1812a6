// -all: every back-end this build has, one after another, each in a child
// process of the program (a driver that crashes or hangs takes only its own
// run down), and one results file with an entry per back-end and a summary.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/startup_options.h"
#include "platform/process.h"

namespace vyr::test {

// The back-ends this build has, in the order -all runs them (app/backend_*.cpp).
const std::vector<Backend>& buildBackends();

const char* backendName(Backend backend);  // as the results file names it: "Direct3D 9"
const char* backendTag(Backend backend);   // in file names: "direct3d9"

// Each child runs this long when -duration is not given.
constexpr uint64_t defaultChildDurationMs = 10000;
// A child gets its duration plus this long (start-up, shutdown) before it counts as hung.
constexpr uint64_t childMarginMs = 60000;
uint64_t childTimeoutMs(const StartupOptions& options);

// `path` with the back-end's tag before the extension, which becomes
// `extension` when given: ("r.prom", Vulkan, ".json") -> "r.vulkan.json";
// with a window system's tag too: "r.vulkan-wayland.json".
std::string pathForBackend(const std::string& path, Backend backend, const char* extension = nullptr,
                           const std::string& windowSystemTag = "");


// One child's arguments: the parent's without -all, -wayland or a back-end
// choice, then the back-end's own option (and -wayland for a Wayland run), its results file `report` in place of the
// parent's, its own screenshot name, and -duration when none was given.
std::vector<std::string> childArguments(int count, char** arguments, Backend backend, const std::string& report,
                                        bool wayland = false);

struct BackendRun {
    Backend backend = Backend::OpenGL;
    // Where the session offers two window systems (Linux with both X11 and
    // Wayland), which one this run used: its name in the results, the
    // metrics' labels and the page. Empty otherwise.
    std::string windowSystem;
    platform::ChildEnd end;
    double endUnixSeconds = 0;
    nlohmann::ordered_json results;  // the child's own document; null when it wrote none
};

// A run's name for people: "Vulkan", or "Vulkan on Wayland" where the session
// offers two window systems.
std::string runName(const BackendRun& run);

// The exit code of -all: the worst of its children, 0 < 3 < 1; a signal or a
// time-out counts as 1.
int allExitCode(const std::vector<BackendRun>& runs);
nlohmann::ordered_json mergedResults(const std::vector<BackendRun>& runs, const StartupOptions& options);

// Runs them all; returns the exit code.
int runAllBackends(int count, char** arguments, const StartupOptions& options);

}  // namespace vyr::test

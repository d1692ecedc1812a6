// The command-line options, one process-wide record read by the start-up, the
// window procedure and the soundtrack.
#pragma once

#include <cstdint>
#include <vector>

namespace vyr::test {

enum class Backend { OpenGL, Direct3D9, Vulkan };

struct StartupOptions {
    Backend backend = Backend::OpenGL;
    uint64_t frameLimit = 0;
    uint32_t multisampleCount = 4;
    bool startPaused = false;
    bool stereo = false;
    bool gdiCursor = false;
    bool benchmark = false;
    bool fullscreen = false;
    bool soundMuted = false;
    // Beyond the window's own options: end by itself this long after the first
    // presented frame (0: never), and write the results files here, each in the
    // format its name's ending picks (.prom, .html, else JSON). reportPath is
    // the first of them (null: none): the check frames' PNG names and -all's
    // per-back-end files are named after it.
    uint64_t durationMs = 0;
    const char* reportPath = nullptr;
    std::vector<const char*> reportPaths;
    // The scene clock starts at this many seconds (negative: at 0); check the
    // picture once; write the window's pixels to this PNG at the end (null: none).
    double sceneTimeSeconds = -1.0;
    bool checkPicture = false;
    const char* screenshotPath = nullptr;
    // Every back-end of the build, each in a child process of its own.
    bool allBackends = false;
    // Linux: the window on Wayland even where DISPLAY is set too.
    bool wayland = false;
};

StartupOptions& startupOptions();

}  // namespace vyr::test

// -check: once a run shows frames, the check frame is drawn and looked at
// twice: the renderer's pixels against the reference carried in the program,
// and the window's pixels, as the window system holds them, against the
// renderer's. -screenshot: the window's pixels at the end of the run.
#pragma once

#include <string>
#include <vector>

#include "render/frame_comparison.h"
#include "render/frame_image.h"

namespace vyr::test {

struct StartupOptions;

struct CheckOutcome {
    const char* name;     // "renderer" or "screen"
    bool ran = false;     // false: the frame could not be had (see failure)
    std::string failure;  // why it could not run
    FrameComparison comparison;
    bool passed() const { return ran && comparison.passed; }
};

struct PictureCheck {
    bool done = false;
    CheckOutcome renderer{"renderer", false, {}, {}};
    CheckOutcome screen{"screen", false, {}, {}};
    std::vector<std::string> images;  // the PNG files written for a failed check
    FrameImage rendered, shown;       // the frames it looked at, for the report page
    bool failed() const { return done && !(renderer.passed() && screen.passed()); }
};

PictureCheck& pictureCheck();

// The limits, from measurement on every back-end at 0 to 8 samples (see the
// README): what the renderer may differ from the reference, and what the
// screen may differ from the renderer.
extern const RegionLimits rendererLimits;
extern const RegionLimits screenLimits;
// Cell edge, in pixels, of the comparison.
constexpr uint32_t checkCell = 8;

// True once -check was given and the run has shown a frame, until it ran.
bool pictureCheckDue(const StartupOptions& options);
// Draws the check frame, compares, writes the PNGs and the error line of a
// failure. The window then shows the check frame until the next frame.
void runPictureCheck(const StartupOptions& options);
// The base of the PNG files' names: the results file's without its extension,
// or "vyrtest-check" in the working folder.
std::string checkImageBase(const char* reportPath);

// Writes the client area's pixels to `path`; false (with a line on standard
// error) when the window or the file cannot be had.
bool writeScreenshot(const char* path);

}  // namespace vyr::test

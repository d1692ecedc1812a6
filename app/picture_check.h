// -check: once a run shows frames, the check frame is drawn and looked at
// twice: the renderer's pixels against the reference carried in the program,
// and the screen's pixels where the window shows against the renderer's,
// unless the window cannot be seen there (inconclusive, not failed). -screenshot: the window's pixels at the end of the run.
#pragma once

#include <string>
#include <vector>

#include "render/frame_comparison.h"
#include "render/frame_image.h"

namespace vyr::test {

struct StartupOptions;

// Passed, failed, or inconclusive: the screen could not be looked at (the
// window covered, minimised, the screen locked), which is neither.
struct CheckOutcome {
    const char* name;     // "renderer" or "screen"
    bool ran = false;     // false: the frame could not be had (see failure)
    std::string failure;  // why it could not run
    std::string unseen;   // why the window could not be seen: the check is inconclusive
    std::string readFrom;  // the screen's: where its pixels were read, once they were
    FrameComparison comparison;
    bool inconclusive() const { return !unseen.empty(); }
    bool passed() const { return !inconclusive() && ran && comparison.passed; }
    bool failed() const { return !inconclusive() && !passed(); }
    const char* outcome() const { return inconclusive() ? "inconclusive" : passed() ? "passed" : "failed"; }
};

struct PictureCheck {
    bool done = false;
    CheckOutcome renderer{"renderer", false, {}, {}, {}, {}};
    CheckOutcome screen{"screen", false, {}, {}, {}, {}};
    std::vector<std::string> images;  // the PNG files written for a failed check
    FrameImage rendered, shown;       // the frames it looked at, for the report page
    bool failed() const { return done && (renderer.failed() || screen.failed()); }
    // No check failed, but one could not look.
    bool inconclusive() const { return done && !failed() && (renderer.inconclusive() || screen.inconclusive()); }
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
// or "vyrtest-check" in the working folder; the renderer's and the screen's
// frame add these endings.
std::string checkImageBase(const char* reportPath);
constexpr const char* checkFrameEndings[2] = {".renderer.png", ".screen.png"};

// Writes the client area's pixels to `path`; false (with a line on standard
// error) when the window or the file cannot be had.
bool writeScreenshot(const char* path);

}  // namespace vyr::test

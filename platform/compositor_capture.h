// The screen of a Wayland desktop, read through its compositor as a
// screen-capturing server reads it, for an X window shown by Xwayland (whose
// root window holds no picture). Each reader opens a connection of its own:
// the picture check and -screenshot at the time they look, the screen watch
// on its thread; never the frame path.
// wlr-screencopy (wlroots compositors) and, on GNOME, Mutter's ScreenCast
// through PipeWire; a compositor without either lets no program read the screen.
// Areas are in the compositor's layout, which is Xwayland's root coordinates.
#pragma once

#include <cstdint>
#include <string>

#include "platform/output_layout_wayland.h"
#include "render/frame_image.h"

namespace vyr::platform {

struct CompositorCapture;  // opaque

// The reason given where the compositor offers no way to read the screen.
extern const char* const noScreenCopy;

// Null with `why` where there is no Wayland display to reach or the
// compositor lets no program read the screen.
CompositorCapture* openCompositorCapture(std::string& why);
void closeCompositorCapture(CompositorCapture* capture);

// How the capture reads the screen ("wlr-screencopy", "Mutter ScreenCast"),
// and how it learns the screen's changes, in words for the results.
const char* compositorCaptureWay(const CompositorCapture* capture);
const char* compositorChangesWay(const CompositorCapture* capture);

// What the compositor is: SWAYSOCK's, else what its globals tell; empty when
// unknown or there is no Wayland display.
std::string compositorName();

// `area`'s pixels as the compositor shows them, RGBA top row first. False
// with the reason (the area on no output or across two, the copy failed).
// `scaled` tells whether the output was scaled, so the pixels were too.
bool captureLayoutArea(CompositorCapture* capture, const LayoutArea& area, vyr::test::FrameImage& image, bool& scaled,
                       std::string& why);

// The client area's rectangle that the compositor shows at `area`, its
// top-left pixel at (left, top) of the client area, on a connection opened for
// this one copy; `way` tells how it was read. Says once on stderr when the
// output was scaled, so its pixels were scaled back.
bool captureClientThroughCompositor(const LayoutArea& area, int32_t left, int32_t top, vyr::test::FrameImage& image,
                                    std::string& way, std::string& why);

// Where an output shows `frame` (the check frame the program just presented),
// for a compositor that never tells a program where its window is: the area
// of the one place that shows it, looked for on each output that is not
// scaled. False with the reason where none does, or more than one.
bool findOnScreen(const vyr::test::FrameImage& frame, LayoutArea& area, std::string& why);

// Whether the output that shows `area` scales it by a fraction, so that the
// copy holds it resampled; true with the reason.
bool areaResampled(CompositorCapture* capture, const LayoutArea& area, std::string& why);

enum class ScreenChange { Changed, Unchanged, Stopped, Failed };
// Waits up to `timeoutMs` for the compositor to show something new over
// `area`; Changed with the performance counter at which the output showed
// it. Stopped once `wakeFd` is readable; Failed (with why) when the
// compositor cannot tell. Keeps one copy asked for between calls.
ScreenChange waitForChange(CompositorCapture* capture, const LayoutArea& area, int wakeFd, int timeoutMs,
                           uint64_t& at, std::string& why);

// Whether the compositor shows the X window `xWindow` (over `area`) to a
// viewer: false with the reason ("covered by the Wayland window \"foot\"")
// where it can tell that it does not; true where it shows it or cannot tell.
// An empty `area`: whether it shows the window at all, covered in part or not.
bool compositorShowsWindow(uint64_t xWindow, const LayoutArea& area, std::string& why);

// A descriptor on which the compositor tells that its windows changed (sway's
// window and workspace events), so that a watcher asks compositorShowsWindow
// again only then; -1 where the compositor cannot tell. Close it when done.
int watchCompositorWindows();
// Takes what came on it without allocating: true when anything did.
bool compositorWindowsChanged(int fd);

}  // namespace vyr::platform

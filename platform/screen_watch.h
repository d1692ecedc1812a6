// When the main window's pixels change on the screen, learned as a
// screen-capturing server learns it, on a connection of the watch's own:
// platform/screen_watch_x11.cpp (the DAMAGE extension on the root window),
// platform/screen_watch_win32.cpp (DXGI desktop duplication).
#pragma once

#include <cstdint>
#include <string>

#include "platform/native_window.h"

namespace vyr::platform {

struct ScreenWatch;  // opaque per platform

// Called on the watching thread with the performance counter at which a
// change of the window's client area on the screen was seen, and where the
// window system tells which frame it was (Wayland's presentation feedback),
// the counter at which that frame was committed; else 0.
using ScreenChanged = void (*)(void* user, uint64_t counter, uint64_t committedCounter);

// Null with `why` ("not measured: ...") where the system offers no way to watch.
// `how` tells the way it watches.
ScreenWatch* openScreenWatch(NativeWindow* window, std::string& how, std::string& why);
// Blocks, telling each change, until stopScreenWatch; call on a thread of its own.
void runScreenWatch(ScreenWatch* watch, ScreenChanged changed, void* user);
// From any thread: runScreenWatch tells what the server sent up to now, then returns.
void stopScreenWatch(ScreenWatch* watch);
// After runScreenWatch returned: false with why ("not measured: ...") where
// the window system answered too little to go by (a compositor that sent no
// presentation feedback for most frames), so its figures must not be told.
bool screenWatchAnswered(const ScreenWatch* watch, std::string& why);
// After runScreenWatch returned (or never ran).
void closeScreenWatch(ScreenWatch* watch);
// Whether the changes told are a Wayland compositor's frames of what Xwayland
// had, which come no sooner than the X server got the frame.
bool watchesCompositorFrames(const ScreenWatch* watch);

}  // namespace vyr::platform

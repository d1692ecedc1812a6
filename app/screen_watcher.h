// The screen's side of every run: a thread of its own that watches the main
// window on the screen (platform/screen_watch.h) and tells the context's
// ScreenFrames when its pixels changed, on the frame timer's clock.
#pragma once

#include <thread>

#include "platform/native_window.h"
#include "platform/screen_watch.h"

namespace vyr::test {

class RenderingContext;

class ScreenWatcher {
public:
    // Where the system cannot watch, the context's screen figures say why.
    ScreenWatcher(NativeWindow* window, RenderingContext& context);
    // Tells what the window system sent up to now, then stops.
    ~ScreenWatcher();

private:
    static void changed(void* user, uint64_t counter, uint64_t committedCounter);

    RenderingContext& context;
    platform::ScreenWatch* watch = nullptr;
    std::thread thread;
};

}  // namespace vyr::test

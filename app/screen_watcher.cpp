#include "app/screen_watcher.h"

#include <string>

#include "render/rendering_context.h"

namespace vyr::test {

ScreenWatcher::ScreenWatcher(NativeWindow* window, RenderingContext& context) : context(context) {
    std::string how, why;
    watch = platform::openScreenWatch(window, how, why);
    if (!watch) {
        context.screenFrames.notMeasured(why);
        return;
    }
    context.screenFrames.watchStarted(how, platform::watchesCompositorFrames(watch));
    thread = std::thread([this] { platform::runScreenWatch(watch, changed, this); });
}

ScreenWatcher::~ScreenWatcher() {
    if (!watch) return;
    platform::stopScreenWatch(watch);
    thread.join();
    std::string why;
    if (!platform::screenWatchAnswered(watch, why)) context.screenFrames.notMeasured(why);
    platform::closeScreenWatch(watch);
}

void ScreenWatcher::changed(void* user, uint64_t counter, uint64_t committedCounter) {
    auto* self = static_cast<ScreenWatcher*>(user);
    const Timer& timer = self->context.frameTimer;
    const uint64_t committedUs =
        committedCounter > timer.startCount ? counterUs(committedCounter - timer.startCount, timer.frequency) : 0;
    self->context.screenFrames.screenChanged(counterUs(counter - timer.startCount, timer.frequency), committedUs);
}

}  // namespace vyr::test

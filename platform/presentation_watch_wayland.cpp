// Pairs with platform/screen_watch.h on Wayland: the compositor's presentation
// feedback (wp_presentation) for each frame the binding commits, which tells
// when the frame reached the screen. The feedback objects live on an event
// queue of the watch's own, read on the watch thread; per frame only a slot
// of a fixed ring is taken, so the frame path allocates nothing of ours.
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <time.h>
#include <unistd.h>
#include <wayland-client.h>

#include <atomic>
#include <cstdio>
#include <string>

#include "platform/clock.h"
#include "platform/window_state_wayland.h"
#include "platform/window_systems_posix.h"
#include "presentation-time-client-protocol.h"

namespace vyr::platform::wayland {

namespace {

// More frames in flight than this are not watched (their feedback is not asked).
constexpr int slotCount = 64;

struct Slot {
    PresentationWatch* watch = nullptr;
    struct wp_presentation_feedback* feedback = nullptr;  // touched by the watch thread once busy
    uint64_t committed = 0;                        // the counter when the frame was committed
    std::atomic<bool> busy{false};
};

}  // namespace

struct PresentationWatch {
    WaylandWindow* window = nullptr;
    wl_display* display = nullptr;
    wl_event_queue* queue = nullptr;
    wp_presentation* presentation = nullptr;  // a wrapper whose new objects go to `queue`
    clockid_t clock = CLOCK_MONOTONIC;
    int stop = -1;  // eventfd
    Slot slots[slotCount];
    int next = 0;  // the slot the frame thread tries next
    ScreenChanged changed = nullptr;
    void* user = nullptr;
    // The frame told shown last, held until the next answer: two frames shown
    // at the same moment of the same output refresh were one commit (a
    // driver dropped the earlier frame's swap, and its feedback rode on the
    // next commit), so only the later one reached the screen.
    bool holding = false;
    uint64_t heldShown = 0, heldCommitted = 0, heldSequence = 0;
    // Frames whose feedback was asked, and answers (shown or discarded): a
    // compositor that answers almost none tells nothing to go by.
    std::atomic<uint64_t> asked{0}, answered{0};
};

namespace {

// The compositor's clock as the performance counter (CLOCK_MONOTONIC ns):
// another clock is put on it by reading both now.
uint64_t counterAt(const PresentationWatch& watch, uint64_t seconds, uint32_t nanoseconds) {
    const uint64_t at = seconds * 1000000000ull + nanoseconds;
    if (watch.clock == CLOCK_MONOTONIC) return at;
    timespec now{};
    clock_gettime(watch.clock, &now);
    const uint64_t counterNow = performanceCounter();
    const int64_t clockNow = int64_t(now.tv_sec) * 1000000000ll + now.tv_nsec;
    return uint64_t(int64_t(at) + (int64_t(counterNow) - clockNow));
}

void release(Slot& slot) {
    wp_presentation_feedback_destroy(slot.feedback);
    slot.feedback = nullptr;
    slot.busy.store(false, std::memory_order_release);
}

void syncOutput(void*, struct wp_presentation_feedback*, wl_output*) {}

void tellHeld(PresentationWatch& watch) {
    if (watch.holding && watch.changed) watch.changed(watch.user, watch.heldShown, watch.heldCommitted);
    watch.holding = false;
}

void presented(void* data, struct wp_presentation_feedback*, uint32_t secondsHigh, uint32_t secondsLow,
               uint32_t nanoseconds, uint32_t, uint32_t sequenceHigh, uint32_t sequenceLow, uint32_t) {
    auto* slot = static_cast<Slot*>(data);
    PresentationWatch& watch = *slot->watch;
    const uint64_t seconds = (uint64_t(secondsHigh) << 32) | secondsLow;
    const uint64_t committed = slot->committed;
    const uint64_t shown = counterAt(watch, seconds, nanoseconds);
    const uint64_t sequence = (uint64_t(sequenceHigh) << 32) | sequenceLow;
    release(*slot);
    watch.answered.fetch_add(1, std::memory_order_relaxed);
    const bool sameCommit = watch.holding && watch.heldShown == shown && watch.heldSequence == sequence;
    if (!sameCommit) tellHeld(watch);
    watch.holding = true;
    watch.heldShown = shown;
    watch.heldCommitted = committed;
    watch.heldSequence = sequence;
}

// The frame never reached the screen (a later one replaced it): nothing to tell.
void discarded(void* data, struct wp_presentation_feedback*) {
    auto* slot = static_cast<Slot*>(data);
    slot->watch->answered.fetch_add(1, std::memory_order_relaxed);
    release(*slot);
}

const wp_presentation_feedback_listener feedbackListener = {syncOutput, presented, discarded};

// Reads the connection for the watch's queue until it was stopped.
void readUntilStopped(PresentationWatch& watch) {
    pollfd waits[2] = {{wl_display_get_fd(watch.display), POLLIN, 0}, {watch.stop, POLLIN, 0}};
    for (;;) {
        while (wl_display_prepare_read_queue(watch.display, watch.queue) != 0)
            if (wl_display_dispatch_queue_pending(watch.display, watch.queue) < 0) return;
        wl_display_flush(watch.display);
        waits[0].revents = waits[1].revents = 0;
        if (poll(waits, 2, -1) > 0 && (waits[0].revents & POLLIN)) {
            if (wl_display_read_events(watch.display) < 0) {
                fputs("vyrtest: the screen is no longer watched: the Wayland connection failed\n", stderr);
                return;
            }
        } else {
            wl_display_cancel_read(watch.display);
        }
        wl_display_dispatch_queue_pending(watch.display, watch.queue);
        if (waits[1].revents & POLLIN) return;
        if (waits[0].revents & (POLLERR | POLLHUP)) return;
    }
}

}  // namespace

// Frame thread, watch lock held: the coming commit's feedback, on the watch's queue.
void requestFeedback(PresentationWatch* watch, wl_surface* surface) {
    Slot& slot = watch->slots[watch->next];
    if (slot.busy.load(std::memory_order_acquire)) return;  // too many in flight: this frame goes untold
    watch->next = (watch->next + 1) % slotCount;
    slot.committed = performanceCounter();
    slot.feedback = ::wp_presentation_feedback(watch->presentation, surface);
    if (!slot.feedback) return;
    slot.busy.store(true, std::memory_order_release);
    watch->asked.fetch_add(1, std::memory_order_relaxed);
    wp_presentation_feedback_add_listener(slot.feedback, &feedbackListener, &slot);
}

ScreenWatch* openScreenWatch(NativeWindow* window, std::string& how, std::string& why) {
    WaylandWindow* w = fromNative(window);
    if (!w || !w->presentation) {
        why = "not measured: the Wayland compositor has no presentation-time protocol (wp_presentation)";
        return nullptr;
    }
    auto* watch = new PresentationWatch;
    watch->window = w;
    watch->display = w->display;
    watch->clock = clockid_t(w->presentationClock);
    watch->stop = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    watch->queue = wl_display_create_queue(w->display);
    watch->presentation = static_cast<wp_presentation*>(wl_proxy_create_wrapper(w->presentation));
    if (watch->stop < 0 || !watch->queue || !watch->presentation) {
        wayland::closeScreenWatch(reinterpret_cast<ScreenWatch*>(watch));
        why = "not measured: the presentation feedback could not be set up";
        return nullptr;
    }
    wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(watch->presentation), watch->queue);
    for (Slot& slot : watch->slots) slot.watch = watch;
    {
        std::lock_guard<std::mutex> lock(w->watchLock);
        w->watch = watch;
    }
    how = "Wayland presentation feedback";
    return reinterpret_cast<ScreenWatch*>(watch);
}

void runScreenWatch(ScreenWatch* screenWatch, ScreenChanged changed, void* user) {
    pthread_setname_np(pthread_self(), "screen watch");  // for top, gdb and the benchmark
    auto* watch = reinterpret_cast<PresentationWatch*>(screenWatch);
    watch->changed = changed;
    watch->user = user;
    readUntilStopped(*watch);
    // The last frames: what the compositor sent up to now comes before its answer.
    wl_display_roundtrip_queue(watch->display, watch->queue);
    tellHeld(*watch);
    watch->changed = nullptr;
}

bool screenWatchAnswered(const ScreenWatch* screenWatch, std::string& why) {
    auto* watch = reinterpret_cast<const PresentationWatch*>(screenWatch);
    const uint64_t asked = watch->asked.load(), answered = watch->answered.load();
    // A few frames may still be on their way when the run ends.
    if (asked < 10 || answered * 4 >= asked) return true;
    why = "not measured: the Wayland compositor answered the presentation feedback of only " +
          std::to_string(answered) + " of " + std::to_string(asked) + " frames";
    return false;
}

void stopScreenWatch(ScreenWatch* screenWatch) {
    auto* watch = reinterpret_cast<PresentationWatch*>(screenWatch);
    if (watch && watch->stop >= 0) (void)!eventfd_write(watch->stop, 1);
}

void closeScreenWatch(ScreenWatch* screenWatch) {
    auto* watch = reinterpret_cast<PresentationWatch*>(screenWatch);
    if (!watch) return;
    {
        // No frame asks for feedback from here on.
        std::lock_guard<std::mutex> lock(watch->window->watchLock);
        if (watch->window->watch == watch) watch->window->watch = nullptr;
    }
    for (Slot& slot : watch->slots)
        if (slot.busy.load(std::memory_order_acquire)) release(slot);
    if (watch->presentation) wl_proxy_wrapper_destroy(watch->presentation);
    if (watch->queue) wl_event_queue_destroy(watch->queue);
    if (watch->stop >= 0) close(watch->stop);
    delete watch;
}

// The compositor's own frames of the window itself, not of Xwayland's copy.
bool watchesCompositorFrames(const ScreenWatch*) { return false; }

}  // namespace vyr::platform::wayland

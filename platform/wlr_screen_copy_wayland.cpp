// wlr-screencopy (wlroots compositors) behind platform/compositor_capture.h,
// over a Wayland connection of the caller's own. A copy of the window's rectangle of the
// output that holds it, into a shared-memory buffer (memfd). For the screen
// watch, copies of one pixel that wait for the output to change
// (copy_with_damage): their damage reports, which cover the whole output, tell
// whether the change lies over the window. Two such copies are always asked
// for, so that no change of the output passes while none is.
#include "platform/compositor_reader_wayland.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/clock.h"
#include "platform/wayland_outputs_wayland.h"
#include "wlr-screencopy-unstable-v1-client-protocol.h"

namespace vyr::platform {

namespace {

// The compositor answers a copy within a frame or two; this allows for a busy one.
constexpr uint64_t answerWaitNs = 2000000000ull;

// What the compositor told of the copy asked for last.
struct Frame {
    zwlr_screencopy_frame_v1* frame = nullptr;
    uint32_t version = 0;  // of the screencopy manager
    LayoutArea area;
    PixelArea window;  // the area in the output's pixels, where damage is told
    uint32_t format = 0, width = 0, height = 0, stride = 0;
    bool shmOffered = false, described = false, copying = false;
    bool ready = false, failed = false, yInvert = false, changeOver = false;
    uint64_t readyNs = 0;
};

// One shared-memory buffer, kept while copies keep its size.
struct Buffer {
    int fd = -1;
    void* data = MAP_FAILED;
    size_t size = 0;
    wl_shm_pool* pool = nullptr;
    wl_buffer* buffer = nullptr;
    uint32_t format = 0, width = 0, height = 0, stride = 0;
};

}  // namespace

struct ScreenCopy : CompositorCapture {
    ~ScreenCopy() override;
    const char* way() const override { return "wlr-screencopy"; }
    const char* changesWay() const override { return "wlr-screencopy damage on the compositor's output"; }
    bool capture(const LayoutArea& area, vyr::test::FrameImage& image, bool& scaled, std::string& why) override;
    bool resampled(const LayoutArea& area, std::string& why) override;
    const std::vector<OutputPlace>& outputPlaces() const override { return outputs.places; }
    ScreenChange waitForChange(const LayoutArea& area, int wakeFd, int timeoutMs, uint64_t& at,
                               std::string& why) override;

    wl_display* display = nullptr;
    wl_registry* registry = nullptr;
    wl_shm* shm = nullptr;
    zwlr_screencopy_manager_v1* screencopy = nullptr;
    uint32_t screencopyVersion = 0;
    WaylandOutputs outputs;
    Frame frame;          // a copy of the window's pixels
    Frame watched[2];     // the screen watch's copies
    Buffer buffer, pixel;  // theirs
};

namespace {

void registryGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t version) {
    auto* c = static_cast<ScreenCopy*>(data);
    if (c->outputs.offer(registry, name, interface, version)) return;
    if (strcmp(interface, wl_shm_interface.name) == 0 && !c->shm) {
        c->shm = static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
    } else if (strcmp(interface, zwlr_screencopy_manager_v1_interface.name) == 0 && !c->screencopy) {
        c->screencopyVersion = version < 3 ? version : 3;
        c->screencopy = static_cast<zwlr_screencopy_manager_v1*>(
            wl_registry_bind(registry, name, &zwlr_screencopy_manager_v1_interface, c->screencopyVersion));
    }
}

void registryGlobalRemove(void*, wl_registry*, uint32_t) {}

const wl_registry_listener registryListener = {registryGlobal, registryGlobalRemove};

void frameBuffer(void* data, zwlr_screencopy_frame_v1*, uint32_t format, uint32_t width, uint32_t height,
                 uint32_t stride) {
    auto* f = static_cast<Frame*>(data);
    if (f->shmOffered) return;
    f->shmOffered = true;
    f->format = format;
    f->width = width;
    f->height = height;
    f->stride = stride;
    // Before version 3 the shared-memory buffer is the only one told.
    if (f->version < 3) f->described = true;
}

void frameFlags(void* data, zwlr_screencopy_frame_v1*, uint32_t flags) {
    static_cast<Frame*>(data)->yInvert = flags & ZWLR_SCREENCOPY_FRAME_V1_FLAGS_Y_INVERT;
}

void frameReady(void* data, zwlr_screencopy_frame_v1*, uint32_t secondsHigh, uint32_t secondsLow, uint32_t ns) {
    auto* f = static_cast<Frame*>(data);
    // The monotonic clock, which is the performance counter's (platform/clock_posix.cpp).
    f->readyNs = ((uint64_t(secondsHigh) << 32) | secondsLow) * 1000000000ull + ns;
    f->ready = true;
}

void frameFailed(void* data, zwlr_screencopy_frame_v1*) { static_cast<Frame*>(data)->failed = true; }

void frameDamage(void* data, zwlr_screencopy_frame_v1*, uint32_t x, uint32_t y, uint32_t width, uint32_t height) {
    auto* f = static_cast<Frame*>(data);
    if (changeTouches(f->window, x, y, width, height)) f->changeOver = true;
}

void frameDmabuf(void*, zwlr_screencopy_frame_v1*, uint32_t, uint32_t, uint32_t) {}
void frameBufferDone(void* data, zwlr_screencopy_frame_v1*) { static_cast<Frame*>(data)->described = true; }

const zwlr_screencopy_frame_v1_listener frameListener = {frameBuffer, frameFlags,  frameReady,     frameFailed,
                                                         frameDamage, frameDmabuf, frameBufferDone};

enum class Wait { Done, TimedOut, Woken, Lost };

// Reads and handles the compositor's events until `done()`, the deadline, or
// `wakeFd` (when not -1) becomes readable.
template <class Done>
Wait dispatchUntil(ScreenCopy& c, Done done, uint64_t deadlineNs, int wakeFd) {
    for (;;) {
        if (wl_display_dispatch_pending(c.display) < 0) return Wait::Lost;
        if (done()) return Wait::Done;
        const uint64_t now = performanceCounter();
        if (now >= deadlineNs) return Wait::TimedOut;
        while (wl_display_prepare_read(c.display) != 0)
            if (wl_display_dispatch_pending(c.display) < 0) return Wait::Lost;
        if (done()) {
            wl_display_cancel_read(c.display);
            return Wait::Done;
        }
        if (wl_display_flush(c.display) < 0 && errno != EAGAIN) {
            wl_display_cancel_read(c.display);
            return Wait::Lost;
        }
        pollfd waits[2] = {{wl_display_get_fd(c.display), POLLIN, 0}, {wakeFd, POLLIN, 0}};
        const int timeoutMs = int((deadlineNs - now + 999999) / 1000000);
        const int count = poll(waits, wakeFd >= 0 ? 2 : 1, timeoutMs);
        if (count > 0 && (waits[0].revents & POLLIN)) {
            if (wl_display_read_events(c.display) < 0) return Wait::Lost;
        } else {
            wl_display_cancel_read(c.display);
            if (count > 0 && (waits[0].revents & (POLLERR | POLLHUP))) return Wait::Lost;
        }
        if (count > 0 && wakeFd >= 0 && waits[1].revents) {
            wl_display_dispatch_pending(c.display);
            return done() ? Wait::Done : Wait::Woken;
        }
    }
}

void dropFrame(Frame& f) {
    if (f.frame) zwlr_screencopy_frame_v1_destroy(f.frame);
    f = Frame();
}

void dropBuffer(Buffer& b) {
    if (b.buffer) wl_buffer_destroy(b.buffer);
    if (b.pool) wl_shm_pool_destroy(b.pool);
    if (b.data != MAP_FAILED) munmap(b.data, b.size);
    if (b.fd >= 0) close(b.fd);
    b = Buffer();
}

// A buffer of the size and format the frame asked for; the last one when it fits.
bool bufferForFrame(ScreenCopy& c, Buffer& b, const Frame& f) {
    if (b.buffer && b.format == f.format && b.width == f.width && b.height == f.height && b.stride == f.stride)
        return true;
    dropBuffer(b);
    b.size = size_t(f.stride) * f.height;
    if (b.size == 0 || b.size > INT32_MAX) return false;
    b.fd = memfd_create("vyrtest-screen", MFD_CLOEXEC);
    if (b.fd < 0 || ftruncate(b.fd, off_t(b.size)) != 0) return false;
    b.data = mmap(nullptr, b.size, PROT_READ | PROT_WRITE, MAP_SHARED, b.fd, 0);
    if (b.data == MAP_FAILED) return false;
    b.pool = wl_shm_create_pool(c.shm, b.fd, int32_t(b.size));
    b.buffer = wl_shm_pool_create_buffer(b.pool, 0, int32_t(f.width), int32_t(f.height), int32_t(f.stride), f.format);
    b.format = f.format;
    b.width = f.width;
    b.height = f.height;
    b.stride = f.stride;
    return true;
}

// Asks for a copy of the output that holds `area`, or of the area's first
// pixel only (`pixelOnly`); false with why. The whole output, not the area:
// a compositor may round a region's edges otherwise than the window's.
bool askForCopy(ScreenCopy& c, Frame& f, const LayoutArea& area, bool pixelOnly, std::string& why) {
    dropFrame(f);
    const int index = outputHolding(c.outputs.places, area);
    if (index < 0) {
        why = areaOnNoOutput;
        return false;
    }
    const WaylandOutput& output = *c.outputs.outputs[size_t(index)];
    f.version = c.screencopyVersion;
    f.area = area;
    f.window = areaInOutput(output.place, area);
    f.frame = pixelOnly ? zwlr_screencopy_manager_v1_capture_output_region(c.screencopy, 0, output.output,
                                                                           area.left - output.place.left,
                                                                           area.top - output.place.top, 1, 1)
                        : zwlr_screencopy_manager_v1_capture_output(c.screencopy, 0, output.output);
    zwlr_screencopy_frame_v1_add_listener(f.frame, &frameListener, &f);
    return true;
}

bool sameArea(const LayoutArea& a, const LayoutArea& b) {
    return a.left == b.left && a.top == b.top && a.width == b.width && a.height == b.height;
}

bool scaledOutputFor(const ScreenCopy& c, const LayoutArea& area) {
    const int index = outputHolding(c.outputs.places, area);
    return index >= 0 && outputScaled(c.outputs.places[size_t(index)]);
}

}  // namespace

CompositorCapture* openScreenCopy(std::string& why) {
    wl_display* display = connectToCompositor(why);
    if (!display) return nullptr;
    auto* c = new ScreenCopy;
    c->display = display;
    c->registry = wl_display_get_registry(display);
    wl_registry_add_listener(c->registry, &registryListener, c);
    wl_display_roundtrip(display);
    if (!c->screencopy || !c->shm) {
        delete c;
        return nullptr;  // not offered: why stays empty
    }
    c->outputs.askLogicalPlaces();
    wl_display_roundtrip(display);
    if (!c->outputs.learn(why)) {
        delete c;
        return nullptr;
    }
    return c;
}

ScreenCopy::~ScreenCopy() {
    dropFrame(frame);
    for (Frame& f : watched) dropFrame(f);
    dropBuffer(buffer);
    dropBuffer(pixel);
    outputs.release();  // before the connection goes
    if (screencopy) zwlr_screencopy_manager_v1_destroy(screencopy);
    if (shm) wl_shm_destroy(shm);
    if (registry) wl_registry_destroy(registry);
    wl_display_disconnect(display);
}

bool ScreenCopy::capture(const LayoutArea& area, vyr::test::FrameImage& image, bool& scaled, std::string& why) {
    ScreenCopy* c = this;
    Frame& f = c->frame;
    if (!askForCopy(*c, f, area, false, why)) return false;
    scaled = scaledOutputFor(*c, area);
    Wait wait = dispatchUntil(*c, [&] { return f.described || f.failed; }, performanceCounter() + answerWaitNs, -1);
    if (wait == Wait::Done && !f.failed && f.shmOffered && bufferForFrame(*c, c->buffer, f)) {
        zwlr_screencopy_frame_v1_copy(f.frame, c->buffer.buffer);
        f.copying = true;
        wait = dispatchUntil(*c, [&] { return f.ready || f.failed; }, performanceCounter() + answerWaitNs, -1);
    }
    bool read = false;
    if (wait == Wait::Lost)
        why = "the connection to the Wayland compositor was lost";
    else if (wait == Wait::TimedOut)
        why = "the Wayland compositor did not answer a copy of the screen within 2 seconds";
    else if (f.failed)
        why = "the Wayland compositor would not copy the screen";
    else if (!f.shmOffered)
        why = "the Wayland compositor offers no shared-memory copy of the screen";
    else if (!f.ready)
        why = "no memory for a copy of the screen";
    else if (!(read = bufferToImage(static_cast<const uint8_t*>(c->buffer.data), f.format, f.width, f.height, f.stride,
                                    f.yInvert, f.window, area.width, area.height, image))) {
        char format[16];
        snprintf(format, sizeof format, "0x%08x", f.format);
        why = "the Wayland compositor copies the screen in a form the program does not read (format " +
              std::string(format) + ", " + std::to_string(f.width) + " x " + std::to_string(f.height) + ")";
    }
    dropFrame(f);
    return read;
}

bool ScreenCopy::resampled(const LayoutArea& area, std::string& why) {
    return areaResampledOn(outputs.places, area, why);
}

ScreenChange ScreenCopy::waitForChange(const LayoutArea& area, int wakeFd, int timeoutMs, uint64_t& at,
                                       std::string& why) {
    ScreenCopy* c = this;
    if (c->screencopyVersion < 2) {
        why = "the Wayland compositor's wlr-screencopy tells no changes (version 1)";
        return ScreenChange::Failed;
    }
    const uint64_t deadline = performanceCounter() + uint64_t(timeoutMs) * 1000000ull;
    for (Frame& f : c->watched) {
        // The window moved or changed size: copies of its new place.
        if (f.frame && !sameArea(f.area, area)) dropFrame(f);
        if (!f.frame && !askForCopy(*c, f, area, true, why)) {
            // Off every output for now: nothing to watch until it moves back.
            pollfd wake = {wakeFd, POLLIN, 0};
            return poll(&wake, 1, timeoutMs) > 0 ? ScreenChange::Stopped : ScreenChange::Unchanged;
        }
    }
    Frame* watched = c->watched;
    auto answered = [&] {
        for (int i = 0; i < 2; i++)
            if (watched[i].ready || watched[i].failed || (watched[i].described && !watched[i].copying)) return true;
        return false;
    };
    for (;;) {
        Wait wait = dispatchUntil(*c, answered, deadline, wakeFd);
        if (wait == Wait::Woken) return ScreenChange::Stopped;
        if (wait == Wait::TimedOut) return ScreenChange::Unchanged;
        if (wait == Wait::Lost) {
            why = "the connection to the Wayland compositor was lost";
            return ScreenChange::Failed;
        }
        Frame* first = nullptr;  // the earliest copy answered
        for (Frame& f : c->watched) {
            if (f.failed || (f.described && !f.copying && (!f.shmOffered || !bufferForFrame(*c, c->pixel, f)))) {
                why = "the Wayland compositor stopped copying the screen";
                for (Frame& other : c->watched) dropFrame(other);
                return ScreenChange::Failed;
            }
            if (f.described && !f.copying) {
                // Answered once the output shows something new since the last copy.
                zwlr_screencopy_frame_v1_copy_with_damage(f.frame, c->pixel.buffer);
                f.copying = true;
            }
            if (f.ready && (!first || f.readyNs < first->readyNs)) first = &f;
        }
        if (!first) continue;
        const bool changed = first->changeOver;
        const uint64_t now = performanceCounter();
        at = first->readyNs != 0 && first->readyNs <= now ? first->readyNs : now;
        dropFrame(*first);
        return changed ? ScreenChange::Changed : ScreenChange::Unchanged;
    }
}

}  // namespace vyr::platform

// GNOME's screen behind platform/compositor_capture.h, read as GNOME's own
// remote desktop reads it: a session of Mutter's ScreenCast (D-Bus, sd-bus)
// recording the window's area of the screen (not the whole monitor, whose
// every frame Mutter would copy), its frames through a PipeWire stream. Everything runs on the caller's thread: the stream's loop is
// iterated while the caller waits, so the frame path never meets it.
// Mutter sends a frame when it paints the monitor; the buffer's header tells
// when, and its damage regions (where Mutter sends them) where it changed.
// Whether the window's area changed is told by its pixels, compared with the
// last frame's: a paint elsewhere on the monitor is not the window's frame.
#include <poll.h>
#include <pipewire/pipewire.h>
#include <spa/buffer/meta.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>
#include <systemd/sd-bus.h>

#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/clock.h"
#include "platform/compositor_reader_wayland.h"
#include "platform/wayland_outputs_wayland.h"

namespace vyr::platform {

namespace {

constexpr const char* service = "org.gnome.Mutter.ScreenCast";
constexpr const char* sessionInterface = "org.gnome.Mutter.ScreenCast.Session";
// Mutter answers within a frame or two; this allows for a busy machine.
constexpr uint64_t answerWaitNs = 5000000000ull;
constexpr size_t changesKept = 64;

// wl_shm's codes for the same byte orders (platform/output_layout_wayland.h reads them).
uint32_t shmFormat(uint32_t spaFormat) {
    switch (spaFormat) {
    case SPA_VIDEO_FORMAT_BGRA: return 0;           // ARGB8888
    case SPA_VIDEO_FORMAT_BGRx: return 1;           // XRGB8888
    case SPA_VIDEO_FORMAT_RGBA: return 0x34324241;  // ABGR8888
    case SPA_VIDEO_FORMAT_RGBx: return 0x34324258;  // XBGR8888
    default: return UINT32_MAX;
    }
}

std::string busError(const char* what, int result, const sd_bus_error& error) {
    return std::string(what) + ": " + (error.message ? error.message : strerror(-result));
}

std::once_flag pipewireStarted;

}  // namespace

class MutterScreenCast : public CompositorCapture {
public:
    ~MutterScreenCast() override;
    bool open(std::string& why);
    const char* way() const override { return "Mutter ScreenCast"; }
    const char* changesWay() const override {
        return "Mutter ScreenCast frames through PipeWire, the window's pixels compared";
    }
    bool capture(const LayoutArea& area, vyr::test::FrameImage& image, bool& scaled, std::string& why) override;
    bool resampled(const LayoutArea& area, std::string& why) override;
    const std::vector<OutputPlace>& outputPlaces() const override { return places; }
    ScreenChange waitForChange(const LayoutArea& area, int wakeFd, int timeoutMs, uint64_t& at,
                               std::string& why) override;

    // The stream's events, from its loop.
    void formatChanged(const spa_pod* param);
    void stateChanged(pw_stream_state state, const char* error);
    void frameArrived();
    void takeFrame(pw_buffer* buffer);

private:
    bool streamFor(const LayoutArea& area, std::string& why);
    bool startSession(const LayoutArea& recorded, std::string& why);
    bool connectStream(std::string& why);
    void endSession();
    // Iterates the stream's loop until `done()`, the deadline, or wakeFd.
    template <class Done>
    ScreenChange iterateUntil(Done done, uint64_t deadlineNs, int wakeFd);
    void takeWindow(const uint8_t* pixels, uint32_t stride, const spa_buffer* buffer, uint64_t shownNs);

    std::vector<OutputPlace> places;  // the monitors'
    sd_bus* bus = nullptr;
    sd_bus_slot* streamAdded = nullptr;
    std::string session;
    bool recording = false;
    OutputPlace recorded;  // the area recorded, its pixels the stream's
    uint32_t node = 0;
    bool nodeKnown = false;

    pw_loop* loop = nullptr;
    pw_context* context = nullptr;
    pw_core* core = nullptr;
    pw_stream* stream = nullptr;
    spa_hook streamListener{};
    bool streamFailed = false;
    std::string streamError;
    uint32_t format = 0, width = 0, height = 0;

    // The window's area in the stream's pixels, and what a frame is for.
    LayoutArea area;
    PixelArea window;
    vyr::test::FrameImage* wanted = nullptr;  // capture: the next frame's pixels go here
    bool wantedTaken = false, wantedRead = false;
    std::vector<uint8_t> last;  // the window's bytes in the last frame (the watch)
    bool lastKnown = false;
    uint64_t changes[changesKept] = {};
    size_t changesFirst = 0, changesCount = 0;
};

namespace {

int onStreamAdded(sd_bus_message* message, void* data, sd_bus_error*) {
    auto* found = static_cast<std::pair<uint32_t, bool>*>(data);
    if (sd_bus_message_read(message, "u", &found->first) >= 0) found->second = true;
    return 0;
}

void onStateChanged(void* data, pw_stream_state, pw_stream_state state, const char* error) {
    static_cast<MutterScreenCast*>(data)->stateChanged(state, error);
}

void onParamChanged(void* data, uint32_t id, const spa_pod* param) {
    if (id == SPA_PARAM_Format && param) static_cast<MutterScreenCast*>(data)->formatChanged(param);
}

void onProcess(void* data) { static_cast<MutterScreenCast*>(data)->frameArrived(); }

const pw_stream_events& streamEvents() {
    static const pw_stream_events events = [] {
        pw_stream_events e{};
        e.version = PW_VERSION_STREAM_EVENTS;
        e.state_changed = onStateChanged;
        e.param_changed = onParamChanged;
        e.process = onProcess;
        return e;
    }();
    return events;
}

// Whether a damage region (stream pixels) touches the window, or whether the
// buffer tells no regions at all.
bool damageTouches(const spa_buffer* buffer, const PixelArea& window, bool& told) {
    const spa_meta* meta = spa_buffer_find_meta(buffer, SPA_META_VideoDamage);
    told = meta != nullptr;
    if (!meta) return true;
    spa_meta_region* region;
    spa_meta_for_each(region, meta) {
        if (!spa_meta_region_is_valid(region)) break;
        if (changeTouches(window, uint32_t(region->region.position.x), uint32_t(region->region.position.y),
                          region->region.size.width, region->region.size.height))
            return true;
    }
    return false;
}

}  // namespace

bool MutterScreenCast::open(std::string& why) {
    int result = sd_bus_open_user(&bus);
    if (result < 0) {
        bus = nullptr;
        return false;  // no session bus: no GNOME compositor to ask
    }
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    int owned = 0;
    result = sd_bus_call_method(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                "NameHasOwner", &error, &reply, "s", service);
    if (result >= 0) sd_bus_message_read(reply, "b", &owned);
    sd_bus_message_unref(reply);
    sd_bus_error_free(&error);
    if (!owned) return false;  // not GNOME

    // Where the monitors lie, and their connectors' names, from the compositor.
    wl_display* display = connectToCompositor(why);
    if (!display) return false;
    {
        WaylandOutputs outputs;
        wl_registry* registry = wl_display_get_registry(display);
        static const wl_registry_listener listener = {
            [](void* data, wl_registry* r, uint32_t name, const char* interface, uint32_t version) {
                static_cast<WaylandOutputs*>(data)->offer(r, name, interface, version);
            },
            [](void*, wl_registry*, uint32_t) {}};
        wl_registry_add_listener(registry, &listener, &outputs);
        wl_display_roundtrip(display);
        outputs.askLogicalPlaces();
        wl_display_roundtrip(display);
        const bool learnt = outputs.learn(why);
        places = outputs.places;
        outputs.release();
        wl_registry_destroy(registry);
        wl_display_disconnect(display);
        if (!learnt) return false;
    }

    std::call_once(pipewireStarted, [] { pw_init(nullptr, nullptr); });
    loop = pw_loop_new(nullptr);
    context = loop ? pw_context_new(loop, nullptr, 0) : nullptr;
    core = context ? pw_context_connect(context, nullptr, 0) : nullptr;
    if (!core) {
        why = std::string("GNOME's screen cast needs PipeWire, which is not running in this session (") +
              strerror(errno) + ")";
        return false;
    }
    return true;
}

MutterScreenCast::~MutterScreenCast() {
    endSession();
    if (core) pw_core_disconnect(core);
    if (context) pw_context_destroy(context);
    if (loop) pw_loop_destroy(loop);
    sd_bus_flush_close_unref(bus);
}

void MutterScreenCast::endSession() {
    if (stream) {
        spa_hook_remove(&streamListener);
        pw_stream_destroy(stream);
        stream = nullptr;
    }
    streamAdded = sd_bus_slot_unref(streamAdded);
    if (!session.empty()) {
        sd_bus_call_method(bus, service, session.c_str(), sessionInterface, "Stop", nullptr, nullptr, "");
        session.clear();
    }
    recording = false;
    nodeKnown = streamFailed = lastKnown = false;
    streamError.clear();
    width = height = 0;
}

bool MutterScreenCast::startSession(const LayoutArea& at, std::string& why) {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    const char* path = nullptr;
    // A session, and in it the area recorded without the pointer: the screen
    // check compares the window's pixels, not the pointer over them.
    int result = sd_bus_call_method(bus, service, "/org/gnome/Mutter/ScreenCast", service, "CreateSession", &error,
                                    &reply, "a{sv}", 0);
    if (result >= 0 && sd_bus_message_read(reply, "o", &path) >= 0) session = path;
    sd_bus_message_unref(reply);
    reply = nullptr;
    if (session.empty()) {
        why = busError("GNOME's screen cast would not start a session", result, error);
        sd_bus_error_free(&error);
        return false;
    }
    std::string streamPath;
    result = sd_bus_call_method(bus, service, session.c_str(), sessionInterface, "RecordArea", &error, &reply,
                                "iiiia{sv}", at.left, at.top, int32_t(at.width), int32_t(at.height), 1,
                                "cursor-mode", "u", 0u);
    if (result >= 0 && sd_bus_message_read(reply, "o", &path) >= 0) streamPath = path;
    sd_bus_message_unref(reply);
    if (streamPath.empty()) {
        why = busError("GNOME's screen cast would not record the window's area", result, error);
        sd_bus_error_free(&error);
        return false;
    }
    std::pair<uint32_t, bool> found{0, false};
    sd_bus_match_signal(bus, &streamAdded, nullptr, streamPath.c_str(), "org.gnome.Mutter.ScreenCast.Stream",
                        "PipeWireStreamAdded", onStreamAdded, &found);
    result = sd_bus_call_method(bus, service, session.c_str(), sessionInterface, "Start", &error, nullptr, "");
    if (result < 0) {
        why = busError("GNOME's screen cast would not start", result, error);
        sd_bus_error_free(&error);
        return false;
    }
    const uint64_t deadline = performanceCounter() + answerWaitNs;
    while (!found.second && performanceCounter() < deadline) {
        if (sd_bus_process(bus, nullptr) > 0) continue;
        sd_bus_wait(bus, (deadline - performanceCounter()) / 1000);
    }
    streamAdded = sd_bus_slot_unref(streamAdded);
    if (!found.second) {
        why = "GNOME's screen cast named no PipeWire stream within 5 seconds";
        return false;
    }
    node = found.first;
    nodeKnown = true;
    recording = true;
    recorded = OutputPlace{at.left, at.top, int32_t(at.width), int32_t(at.height), 0, 0};
    return true;
}

bool MutterScreenCast::connectStream(std::string& why) {
    stream = pw_stream_new(core, "vyrtest screen",
                           pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY, "Capture",
                                             PW_KEY_MEDIA_ROLE, "Screen", nullptr));
    if (!stream) {
        why = std::string("no PipeWire stream for GNOME's screen cast: ") + strerror(errno);
        return false;
    }
    pw_stream_add_listener(stream, &streamListener, &streamEvents(), this);
    // Shared-memory frames in the byte orders the program reads; any rate up
    // to far above a monitor's, so that Mutter drops no frame for the stream.
    uint8_t space[1024];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(space, sizeof space);
    spa_rectangle size{1280, 1024}, smallest{1, 1}, largest{16384, 16384};
    spa_fraction rate{0, 1}, most{1000, 1}, least{0, 1};
    const spa_pod* formats = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType, SPA_POD_Id(SPA_MEDIA_TYPE_video),
        SPA_FORMAT_mediaSubtype, SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), SPA_FORMAT_VIDEO_format,
        SPA_POD_CHOICE_ENUM_Id(5, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRA,
                               SPA_VIDEO_FORMAT_RGBx, SPA_VIDEO_FORMAT_RGBA),
        SPA_FORMAT_VIDEO_size, SPA_POD_CHOICE_RANGE_Rectangle(&size, &smallest, &largest), SPA_FORMAT_VIDEO_framerate,
        SPA_POD_Fraction(&rate), SPA_FORMAT_VIDEO_maxFramerate,
        SPA_POD_CHOICE_RANGE_Fraction(&most, &least, &most)));
    const auto flags = pw_stream_flags(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS);
    if (pw_stream_connect(stream, PW_DIRECTION_INPUT, node, flags, &formats, 1) < 0) {
        why = "PipeWire would not connect to GNOME's screen cast";
        return false;
    }
    // Ready once the format is agreed and the stream runs.
    iterateUntil([&] { return streamFailed || (width > 0 && pw_stream_get_state(stream, nullptr) ==
                                                                  PW_STREAM_STATE_STREAMING); },
                 performanceCounter() + answerWaitNs, -1);
    if (streamFailed || width == 0) {
        why = streamFailed ? "GNOME's screen cast stream failed: " + streamError
                           : "GNOME's screen cast stream did not start within 5 seconds";
        return false;
    }
    return true;
}

void MutterScreenCast::formatChanged(const spa_pod* param) {
    spa_video_info_raw info{};
    if (spa_format_video_raw_parse(param, &info) < 0) return;
    format = shmFormat(info.format);
    width = info.size.width;
    height = info.size.height;
    recorded.pixelWidth = int32_t(width);
    recorded.pixelHeight = int32_t(height);
    uint8_t space[1024];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(space, sizeof space);
    const spa_pod* params[3];
    params[0] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_buffers,
        SPA_POD_CHOICE_RANGE_Int(16, 2, 32), SPA_PARAM_BUFFERS_dataType,
        SPA_POD_CHOICE_FLAGS_Int((1 << SPA_DATA_MemFd) | (1 << SPA_DATA_MemPtr))));
    params[1] = static_cast<const spa_pod*>(
        spa_pod_builder_add_object(&builder, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type,
                                   SPA_POD_Id(SPA_META_Header), SPA_PARAM_META_size, SPA_POD_Int(sizeof(spa_meta_header))));
    params[2] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type, SPA_POD_Id(SPA_META_VideoDamage),
        SPA_PARAM_META_size,
        SPA_POD_CHOICE_RANGE_Int(sizeof(spa_meta_region) * 16, sizeof(spa_meta_region), sizeof(spa_meta_region) * 16)));
    pw_stream_update_params(stream, params, 3);
}

void MutterScreenCast::stateChanged(pw_stream_state state, const char* error) {
    if (state == PW_STREAM_STATE_ERROR || (state == PW_STREAM_STATE_UNCONNECTED && width > 0)) {
        streamFailed = true;
        streamError = error ? error : "the stream ended";
    }
}

void MutterScreenCast::frameArrived() {
    // Every frame waiting, oldest first: a thread kept from running by a busy
    // processor finds several, and each one held is one Mutter cannot paint into.
    while (pw_buffer* buffer = pw_stream_dequeue_buffer(stream)) takeFrame(buffer);
}

void MutterScreenCast::takeFrame(pw_buffer* buffer) {
    const spa_buffer* b = buffer->buffer;
    const auto* header =
        static_cast<const spa_meta_header*>(spa_buffer_find_meta_data(b, SPA_META_Header, sizeof(spa_meta_header)));
    const spa_data& data = b->datas[0];
    const bool usable = b->n_datas > 0 && data.data && data.chunk && data.chunk->size > 0 &&
                        !(data.chunk->flags & SPA_CHUNK_FLAG_CORRUPTED) &&
                        !(header && (header->flags & SPA_META_HEADER_FLAG_CORRUPTED));
    if (usable) {
        // The header's time is the monotonic clock's, as the performance counter's;
        // one out of reason is taken as now.
        const uint64_t now = performanceCounter();
        const uint64_t shown = header && header->pts > 0 && uint64_t(header->pts) <= now &&
                                       now - uint64_t(header->pts) < 1000000000ull
                                   ? uint64_t(header->pts)
                                   : now;
        const uint32_t stride = data.chunk->stride > 0 ? uint32_t(data.chunk->stride) : width * 4;
        takeWindow(static_cast<const uint8_t*>(data.data) + data.chunk->offset, stride, b, shown);
    }
    pw_stream_queue_buffer(stream, buffer);
}

void MutterScreenCast::takeWindow(const uint8_t* pixels, uint32_t stride, const spa_buffer* buffer,
                                  uint64_t shownNs) {
    if (window.width <= 0 || window.height <= 0 || window.left < 0 || window.top < 0 ||
        window.left + window.width > int64_t(width) || window.top + window.height > int64_t(height))
        return;
    if (wanted && !wantedTaken) {
        wantedTaken = true;
        wantedRead = bufferToImage(pixels, format, width, height, stride, false, window, area.width, area.height,
                                   *wanted);
        return;
    }
    bool damageTold = false;
    if (lastKnown && !damageTouches(buffer, window, damageTold)) return;
    const size_t row = size_t(window.width) * 4;
    bool changed = !lastKnown;
    for (int64_t y = 0; y < window.height; y++) {
        const uint8_t* from = pixels + size_t(window.top + y) * stride + size_t(window.left) * 4;
        uint8_t* kept = last.data() + size_t(y) * row;
        if (memcmp(from, kept, row) != 0) {
            memcpy(kept, from, row);
            changed = true;
        }
    }
    // The first frame is where the watch starts, not a change.
    if (changed && lastKnown) {
        changes[(changesFirst + changesCount) % changesKept] = shownNs;
        if (changesCount < changesKept) changesCount++;
        else changesFirst = (changesFirst + 1) % changesKept;
    }
    lastKnown = true;
}

template <class Done>
ScreenChange MutterScreenCast::iterateUntil(Done done, uint64_t deadlineNs, int wakeFd) {
    pw_loop_enter(loop);
    ScreenChange outcome = ScreenChange::Unchanged;
    for (;;) {
        pw_loop_iterate(loop, 0);
        if (done()) {
            outcome = ScreenChange::Changed;
            break;
        }
        const uint64_t now = performanceCounter();
        if (now >= deadlineNs) break;
        pollfd waits[2] = {{pw_loop_get_fd(loop), POLLIN, 0}, {wakeFd, POLLIN, 0}};
        const int count = poll(waits, wakeFd >= 0 ? 2 : 1, int((deadlineNs - now + 999999) / 1000000));
        if (count > 0 && wakeFd >= 0 && waits[1].revents) {
            outcome = ScreenChange::Stopped;
            break;
        }
    }
    pw_loop_leave(loop);
    return outcome;
}

bool MutterScreenCast::streamFor(const LayoutArea& wanted, std::string& why) {
    if (outputHolding(places, wanted) < 0) {
        why = areaOnNoOutput;
        return false;
    }
    // A window moved or resized is recorded anew.
    if (!recording || streamFailed || recorded.left != wanted.left || recorded.top != wanted.top ||
        recorded.width != int32_t(wanted.width) || recorded.height != int32_t(wanted.height)) {
        endSession();
        if (!startSession(wanted, why) || !connectStream(why)) {
            endSession();
            return false;
        }
    }
    const LayoutArea before = area;
    area = wanted;
    window = areaInOutput(recorded, wanted);
    if (before.left != wanted.left || before.top != wanted.top || before.width != wanted.width ||
        before.height != wanted.height || last.size() != size_t(window.width * window.height * 4)) {
        last.assign(size_t(window.width * window.height * 4), 0);  // only when the window moves or resizes
        lastKnown = false;
    }
    return true;
}

bool MutterScreenCast::capture(const LayoutArea& at, vyr::test::FrameImage& image, bool& scaled, std::string& why) {
    if (!streamFor(at, why)) return false;
    scaled = outputScaled(recorded);
    wanted = &image;
    wantedTaken = wantedRead = false;
    // A new session's first frame is what the monitor shows now.
    iterateUntil([&] { return wantedTaken || streamFailed; }, performanceCounter() + answerWaitNs, -1);
    wanted = nullptr;
    if (streamFailed) why = "GNOME's screen cast stream failed: " + streamError;
    else if (!wantedTaken) why = "GNOME's screen cast gave no frame within 5 seconds";
    else if (!wantedRead) {
        char told[16];
        snprintf(told, sizeof told, "0x%08x", format);
        why = "GNOME's screen cast gives frames in a form the program does not read (format " + std::string(told) +
              ", " + std::to_string(width) + " x " + std::to_string(height) + ")";
    }
    return wantedTaken && wantedRead && !streamFailed;
}

bool MutterScreenCast::resampled(const LayoutArea& at, std::string& why) { return areaResampledOn(places, at, why); }

ScreenChange MutterScreenCast::waitForChange(const LayoutArea& at, int wakeFd, int timeoutMs, uint64_t& when,
                                             std::string& why) {
    if (!streamFor(at, why)) {
        if (why != areaOnNoOutput) return ScreenChange::Failed;
        // Off every monitor for now: nothing to watch until it moves back.
        pollfd wake = {wakeFd, POLLIN, 0};
        return poll(&wake, 1, timeoutMs) > 0 ? ScreenChange::Stopped : ScreenChange::Unchanged;
    }
    const ScreenChange outcome = iterateUntil([&] { return changesCount > 0 || streamFailed; },
                                              performanceCounter() + uint64_t(timeoutMs) * 1000000ull, wakeFd);
    if (changesCount > 0) {
        when = changes[changesFirst];
        changesFirst = (changesFirst + 1) % changesKept;
        changesCount--;
        return ScreenChange::Changed;
    }
    if (streamFailed) {
        why = "GNOME's screen cast stream failed: " + streamError;
        return ScreenChange::Failed;
    }
    return outcome == ScreenChange::Stopped ? ScreenChange::Stopped : ScreenChange::Unchanged;
}

CompositorCapture* openMutterScreenCast(std::string& why) {
    auto* cast = new MutterScreenCast;
    if (!cast->open(why)) {
        delete cast;
        return nullptr;
    }
    return cast;
}

}  // namespace vyr::platform

// The Wayland main window (platform/window_wayland.cpp) driven as the program
// drives it, with plain shared-memory frames in place of a renderer, for
// wayland_window_check.py. One line per thing seen, flushed at once:
//   configured W H      the client size after createMainWindow
//   watch HOW | unwatched WHY
//   shown               the first frame was committed
//   event TYPE KEY W H X Y
//   end frames F presented P late L   (L: shown before it was committed)
// Options: --fullscreen (asked before showing), --toggle (fullscreen after
// 30 frames, back after 60), --seconds S (default 10; Escape's release, a
// close or a lost window end it sooner).
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/clock.h"
#include "platform/window_systems_posix.h"
#include "platform/window_wayland.h"

using namespace vyr::platform;

namespace {

const char* const typeNames[] = {"Close",      "Destroy",       "Move",        "Size",      "Paint",
                                 "KeyDown",    "KeyUp",         "SystemKeyDown", "SystemKeyUp", "MouseMove",
                                 "LeftButtonDown", "Other"};

std::atomic<int> presented{0}, late{0};

EventDisposition procedure(NativeWindow*, const WindowEvent& event) {
    printf("event %s 0x%x %u %u %d %d\n", typeNames[int(event.type)], event.key, event.width, event.height, event.x,
           event.y);
    fflush(stdout);
    const bool escape = event.type == WindowEventType::KeyUp && event.key == KeyEscape;
    if (escape || event.type == WindowEventType::Close || event.type == WindowEventType::Destroy)
        wayland::postQuit();
    return EventDisposition::Handled;
}

void changed(void*, uint64_t counter, uint64_t committed) {
    ++presented;
    if (counter < committed) ++late;
}

wl_shm* shm = nullptr;

void global(void*, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
    if (!strcmp(interface, wl_shm_interface.name))
        shm = static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
}
void globalRemove(void*, wl_registry*, uint32_t) {}
const wl_registry_listener registryListener = {global, globalRemove};

// wl_shm from the window's own connection, on a queue of the probe's so the
// window's dispatching never sees these events.
bool bindShm(wl_display* display) {
    wl_event_queue* queue = wl_display_create_queue(display);
    auto* wrapped = static_cast<wl_display*>(wl_proxy_create_wrapper(display));
    wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(wrapped), queue);
    wl_registry* registry = wl_display_get_registry(wrapped);
    wl_registry_add_listener(registry, &registryListener, nullptr);
    wl_display_roundtrip_queue(display, queue);
    wl_proxy_wrapper_destroy(wrapped);
    return shm != nullptr;
}

void commitFrame(NativeWindow* window, int frame) {
    uint32_t width = 0, height = 0;
    waylandClientSize(window, width, height);
    const int stride = int(width) * 4, size = stride * int(height);
    const int fd = memfd_create("frame", MFD_CLOEXEC);
    if (fd < 0 || ftruncate(fd, size) != 0) return;
    void* pixels = mmap(nullptr, size_t(size), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    memset(pixels, (frame * 8) & 0xff, size_t(size));
    munmap(pixels, size_t(size));
    wl_shm_pool* pool = wl_shm_create_pool(shm, fd, size);
    wl_buffer* buffer = wl_shm_pool_create_buffer(pool, 0, int(width), int(height), stride, WL_SHM_FORMAT_XRGB8888);
    wl_shm_pool_destroy(pool);
    close(fd);
    wl_surface* surface = waylandSurface(window);
    wl_surface_attach(surface, buffer, 0, 0);
    wl_surface_damage(surface, 0, 0, int(width), int(height));
    waylandFrameCommitting(window);
    wl_surface_commit(surface);
    wl_buffer_destroy(buffer);  // the compositor keeps what it was given
    wl_display_flush(waylandDisplay(window));
}

}  // namespace

int main(int argc, char** argv) {
    bool fullscreen = false, toggle = false;
    int seconds = 10;
    for (int i = 1; i < argc; ++i) {
        if (!strcmp(argv[i], "--fullscreen")) fullscreen = true;
        if (!strcmp(argv[i], "--toggle")) toggle = true;
        if (!strcmp(argv[i], "--seconds") && i + 1 < argc) seconds = atoi(argv[++i]);
    }
    wayland::registerMainWindowClass("probe", procedure);
    NativeWindow* window = wayland::createMainWindow("probe", "wayland window probe", 640, 400);
    if (!window) return 2;
    uint32_t width = 0, height = 0;
    wayland::clientAreaSize(window, width, height);
    printf("configured %u %u\n", width, height);
    if (fullscreen) wayland::setFullscreen(window, true);
    if (!bindShm(waylandDisplay(window))) return 3;
    wayland::showWindow(window, 1);

    std::string how, why;
    ScreenWatch* watch = wayland::openScreenWatch(window, how, why);
    printf(watch ? "watch %s\n" : "unwatched %s\n", watch ? how.c_str() : why.c_str());
    std::thread watching;
    if (watch) watching = std::thread([watch] { wayland::runScreenWatch(watch, changed, nullptr); });

    const uint64_t end = performanceCounter() + uint64_t(seconds) * performanceFrequency();
    int frames = 0;
    while (performanceCounter() < end) {
        int code = 0;
        MessageResult result;
        while ((result = wayland::peekAndDispatch(code)) == MessageResult::Dispatched) {
        }
        if (result == MessageResult::Quit) break;
        if (toggle && (frames == 30 || frames == 60)) wayland::setFullscreen(window, frames == 30);
        commitFrame(window, frames);
        if (++frames == 1) printf("shown\n");
        fflush(stdout);
        usleep(16000);
    }
    if (watch) {
        wayland::stopScreenWatch(watch);
        watching.join();
        wayland::closeScreenWatch(watch);
    }
    printf("end frames %d presented %d late %d\n", frames, presented.load(), late.load());
    return 0;
}

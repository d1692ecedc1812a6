// Pairs with platform/screen_watch.h on Windows: DXGI desktop duplication, the
// way a screen-capturing server learns that the desktop shows a new image. Each
// new desktop image whose changed rectangles touch the main window's client
// area is told with the performance counter at which the desktop presented it
// (LastPresentTime), so a busy watching thread does not make frames look late.
// d3d11.dll and dxgi.dll are loaded at run time: where duplication is missing
// (before Windows 8, Wine) the figures are null and the reason says why.
#include "platform/screen_watch.h"

#include <d3d11.h>
#include <dxgi1_2.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <vector>

#include "platform/clock.h"
#include "platform/window_win32.h"

namespace vyr::platform {

struct ScreenWatch {
    HWND window = nullptr;
    HMODULE d3d11 = nullptr, dxgi = nullptr;
    IDXGIOutput1* output = nullptr;
    ID3D11Device* device = nullptr;
    IDXGIOutputDuplication* duplication = nullptr;
    RECT desktop = {};  // the output's place on the virtual screen
    // The client area in the output's coordinates, read again now and then: the
    // user may move the window.
    RECT client = {};
    uint64_t placeRead = 0;
    std::vector<RECT> dirty;  // grows to the most rectangles seen, then stays
    std::atomic<bool> stopping{false};
};

namespace {

constexpr UINT waitMs = 50;

std::string failed(const char* what, const char* call, HRESULT result) {
    char text[200];
    std::snprintf(text, sizeof text, "not measured: %s (%s gave 0x%08lx)", what, call,
                  static_cast<unsigned long>(result));
    return text;
}

template <typename T>
void release(T*& object) {
    if (object) object->Release();
    object = nullptr;
}

void readPlace(ScreenWatch& watch) {
    watch.placeRead = performanceCounter();
    RECT area = {};
    POINT origin = {0, 0};
    if (IsIconic(watch.window) || !GetClientRect(watch.window, &area) || !ClientToScreen(watch.window, &origin)) {
        watch.client = {};
        return;
    }
    const LONG left = origin.x - watch.desktop.left, top = origin.y - watch.desktop.top;
    watch.client = {left, top, left + area.right, top + area.bottom};
}

bool overWindow(const ScreenWatch& watch, const RECT& area) {
    const RECT& c = watch.client;
    return area.left < c.right && c.left < area.right && area.top < c.bottom && c.top < area.bottom;
}

// Whether the new desktop image changed pixels over the window. Moved
// rectangles come first in the list, dirty ones after them; both count.
bool changedOverWindow(ScreenWatch& watch, const DXGI_OUTDUPL_FRAME_INFO& info) {
    if (info.TotalMetadataBufferSize == 0) return false;  // no rectangle changed anywhere
    const UINT wanted = info.TotalMetadataBufferSize / sizeof(RECT) + 1;
    if (watch.dirty.size() < wanted) watch.dirty.resize(wanted);
    UINT movedBytes = 0, dirtyBytes = 0;
    auto* moved = reinterpret_cast<DXGI_OUTDUPL_MOVE_RECT*>(watch.dirty.data());
    const UINT room = UINT(watch.dirty.size() * sizeof(RECT));
    if (FAILED(watch.duplication->GetFrameMoveRects(room, moved, &movedBytes))) return true;
    for (UINT i = 0; i < movedBytes / sizeof(DXGI_OUTDUPL_MOVE_RECT); ++i)
        if (overWindow(watch, moved[i].DestinationRect)) return true;
    if (FAILED(watch.duplication->GetFrameDirtyRects(room, watch.dirty.data(), &dirtyBytes))) return true;
    for (UINT i = 0; i < dirtyBytes / sizeof(RECT); ++i)
        if (overWindow(watch, watch.dirty[i])) return true;
    return false;
}

// One wait for the next desktop image: false once the duplication is gone for
// good. A mode change, a full-screen program or the secure desktop take it
// away; it is asked for again until the watch stops.
bool takeFrame(ScreenWatch& watch, UINT timeoutMs, ScreenChanged changed, void* user, bool& timedOut) {
    timedOut = false;
    if (!watch.duplication) {
        if (FAILED(watch.output->DuplicateOutput(watch.device, &watch.duplication))) {
            Sleep(timeoutMs);
            timedOut = true;
            return true;
        }
    }
    DXGI_OUTDUPL_FRAME_INFO info = {};
    IDXGIResource* image = nullptr;
    const HRESULT result = watch.duplication->AcquireNextFrame(timeoutMs, &info, &image);
    if (result == DXGI_ERROR_WAIT_TIMEOUT) {
        timedOut = true;
        return true;
    }
    if (FAILED(result)) {
        release(watch.duplication);
        if (result != DXGI_ERROR_ACCESS_LOST) return false;
        timedOut = true;
        return true;
    }
    // A zero present time is a pointer move only, not a new desktop image.
    if (info.LastPresentTime.QuadPart != 0 && changedOverWindow(watch, info))
        changed(user, uint64_t(info.LastPresentTime.QuadPart), 0);
    release(image);
    watch.duplication->ReleaseFrame();
    return true;
}

}  // namespace

ScreenWatch* openScreenWatch(NativeWindow* window, std::string& how, std::string& why) {
    auto* watch = new ScreenWatch;
    watch->window = toHwnd(window);
    watch->d3d11 = LoadLibraryA("d3d11.dll");
    watch->dxgi = LoadLibraryA("dxgi.dll");
    auto createDevice = watch->d3d11 ? reinterpret_cast<PFN_D3D11_CREATE_DEVICE>(
                                           reinterpret_cast<void*>(GetProcAddress(watch->d3d11, "D3D11CreateDevice")))
                                     : nullptr;
    using CreateFactory = HRESULT(WINAPI*)(REFIID, void**);
    auto createFactory = watch->dxgi ? reinterpret_cast<CreateFactory>(
                                           reinterpret_cast<void*>(GetProcAddress(watch->dxgi, "CreateDXGIFactory1")))
                                     : nullptr;
    if (!createDevice || !createFactory) {
        closeScreenWatch(watch);
        why = "not measured: this system has no Direct3D 11 (d3d11.dll, dxgi.dll), which desktop duplication needs";
        return nullptr;
    }
    // The output that shows the window, and the adapter it hangs on.
    IDXGIFactory1* factory = nullptr;
    IDXGIAdapter1* adapter = nullptr;
    IDXGIOutput* output = nullptr;
    HRESULT result = createFactory(__uuidof(IDXGIFactory1), reinterpret_cast<void**>(&factory));
    const HMONITOR monitor = MonitorFromWindow(watch->window, MONITOR_DEFAULTTONEAREST);
    for (UINT a = 0; SUCCEEDED(result) && !output && factory->EnumAdapters1(a, &adapter) == S_OK; ++a) {
        for (UINT o = 0; !output && adapter->EnumOutputs(o, &output) == S_OK; ++o) {
            DXGI_OUTPUT_DESC description = {};
            if (FAILED(output->GetDesc(&description)) || description.Monitor != monitor) release(output);
            else watch->desktop = description.DesktopCoordinates;
        }
        if (!output) release(adapter);
    }
    release(factory);
    if (!output) {
        closeScreenWatch(watch);
        why = SUCCEEDED(result) ? "not measured: no DXGI output shows the window's monitor"
                                : failed("DXGI could not list the outputs", "CreateDXGIFactory1", result);
        return nullptr;
    }
    result = output->QueryInterface(__uuidof(IDXGIOutput1), reinterpret_cast<void**>(&watch->output));
    release(output);
    if (SUCCEEDED(result))
        result = createDevice(adapter, D3D_DRIVER_TYPE_UNKNOWN, nullptr, 0, nullptr, 0, D3D11_SDK_VERSION,
                              &watch->device, nullptr, nullptr);
    release(adapter);
    if (FAILED(result)) {
        closeScreenWatch(watch);
        why = watch->output ? failed("no Direct3D 11 device for desktop duplication", "D3D11CreateDevice", result)
                            : failed("this system has no desktop duplication", "IDXGIOutput1", result);
        return nullptr;
    }
    result = watch->output->DuplicateOutput(watch->device, &watch->duplication);
    if (FAILED(result)) {
        closeScreenWatch(watch);
        why = failed("the system does not offer desktop duplication here", "DuplicateOutput", result);
        return nullptr;
    }
    readPlace(*watch);
    how = "DXGI desktop duplication";
    return watch;
}

void runScreenWatch(ScreenWatch* watch, ScreenChanged changed, void* user) {
    const uint64_t placeEvery = performanceFrequency() / 4;
    bool timedOut = false;
    while (!watch->stopping.load()) {
        if (performanceCounter() - watch->placeRead >= placeEvery) readPlace(*watch);
        if (!takeFrame(*watch, waitMs, changed, user, timedOut)) return;
    }
    // The last frames: whatever the desktop presented up to now is waiting.
    while (watch->duplication && takeFrame(*watch, 0, changed, user, timedOut) && !timedOut) {
    }
}

bool watchesCompositorFrames(const ScreenWatch*) { return false; }

void stopScreenWatch(ScreenWatch* watch) {
    if (watch) watch->stopping.store(true);
}

void closeScreenWatch(ScreenWatch* watch) {
    if (!watch) return;
    release(watch->duplication);
    release(watch->device);
    release(watch->output);
    if (watch->d3d11) FreeLibrary(watch->d3d11);
    if (watch->dxgi) FreeLibrary(watch->dxgi);
    delete watch;
}

bool screenWatchAnswered(const ScreenWatch*, std::string&) { return true; }

}  // namespace vyr::platform

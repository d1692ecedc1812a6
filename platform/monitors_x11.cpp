#include "platform/monitors_x11.h"

#include <X11/extensions/Xinerama.h>
#include <X11/extensions/Xrandr.h>

#include <algorithm>

namespace vyr::platform::x11 {

namespace {

bool randrMonitors(Display* display, int screen, Monitors& out) {
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    if (!XRRQueryExtension(display, &eventBase, &errorBase) || !XRRQueryVersion(display, &major, &minor))
        return false;
    if (major < 1 || (major == 1 && minor < 5)) return false;
    int count = 0;
    XRRMonitorInfo* info = XRRGetMonitors(display, RootWindow(display, screen), True, &count);
    if (!info) return false;
    for (int i = 0; i < count; ++i) {
        if (info[i].width <= 0 || info[i].height <= 0) continue;
        if (info[i].primary) out.primary = static_cast<int>(out.rects.size());
        out.rects.push_back({info[i].x, info[i].y, info[i].width, info[i].height});
    }
    XRRFreeMonitors(info);
    // The server's Xinerama view lists the same monitors in the same order.
    out.indexed = !out.rects.empty();
    return !out.rects.empty();
}

bool xineramaScreens(Display* display, Monitors& out) {
    int eventBase = 0, errorBase = 0;
    if (!XineramaQueryExtension(display, &eventBase, &errorBase) || !XineramaIsActive(display)) return false;
    int count = 0;
    XineramaScreenInfo* info = XineramaQueryScreens(display, &count);
    if (!info) return false;
    for (int i = 0; i < count; ++i) out.rects.push_back({info[i].x_org, info[i].y_org, info[i].width, info[i].height});
    XFree(info);
    out.indexed = !out.rects.empty();
    return !out.rects.empty();
}

long overlap(const MonitorRect& a, const MonitorRect& b) {
    long w = std::min(a.x + a.width, b.x + b.width) - std::max(a.x, b.x);
    long h = std::min(a.y + a.height, b.y + b.height) - std::max(a.y, b.y);
    return w > 0 && h > 0 ? w * h : 0;
}

}  // namespace

Monitors queryMonitors(Display* display, int screen) {
    Monitors monitors;
    if (randrMonitors(display, screen, monitors)) return monitors;
    monitors = Monitors{};
    if (xineramaScreens(display, monitors)) return monitors;
    monitors = Monitors{};
    monitors.rects.push_back({0, 0, DisplayWidth(display, screen), DisplayHeight(display, screen)});
    return monitors;
}

int monitorHolding(const Monitors& monitors, const MonitorRect& window) {
    int best = monitors.primary;
    long bestArea = 0;
    for (size_t i = 0; i < monitors.rects.size(); ++i) {
        long area = overlap(monitors.rects[i], window);
        if (area > bestArea) {
            bestArea = area;
            best = static_cast<int>(i);
        }
    }
    return best;
}

}  // namespace vyr::platform::x11

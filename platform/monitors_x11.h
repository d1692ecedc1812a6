// The monitors of an X screen: RandR's monitor list, else Xinerama's
// screens, else the X screen as one monitor.
#pragma once

#include <X11/Xlib.h>

#include <vector>

namespace vyr::platform::x11 {

struct MonitorRect {
    int x = 0, y = 0;
    int width = 0, height = 0;
};

struct Monitors {
    std::vector<MonitorRect> rects;
    int primary = 0;
    bool indexed = false;  // the indices are those the window manager knows (EWMH monitor numbers)
};

Monitors queryMonitors(Display* display, int screen);
// The monitor with the largest share of the rectangle, the primary one when
// it lies on none.
int monitorHolding(const Monitors& monitors, const MonitorRect& window);

}  // namespace vyr::platform::x11

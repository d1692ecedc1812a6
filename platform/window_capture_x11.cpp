// Pairs with platform/window_capture.h on X11: XGetImage of the root window
// where the client area shows, which is what the screen shows: under a
// compositor its output, not the window's own (redirected) pixels. Xwayland's
// root holds no picture: there the Wayland compositor copies its output.
#include "platform/window_systems_posix.h"
#include "platform/window_capture.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>

#include "platform/compositor_capture.h"

#include "platform/window_state_x11.h"
#include "platform/window_x11.h"

namespace vyr::platform::x11 {

namespace {

// The position of a channel's mask and its width, to scale it to 8 bits.
struct Channel {
    int shift = 0;
    unsigned long max = 0;
};

Channel channelOf(unsigned long mask) {
    Channel c;
    if (!mask) return c;
    while (!(mask & 1)) {
        mask >>= 1;
        c.shift++;
    }
    c.max = mask;
    return c;
}

uint8_t scaled(unsigned long pixel, const Channel& c) {
    return c.max ? uint8_t(((pixel >> c.shift) & c.max) * 255 / c.max) : 0;
}

// How the last copy through the compositor was read, for the results.
std::string lastCompositorWay = "the compositor's capture";

}  // namespace

std::string screenSourceName(NativeWindow* window) {
    Display* display = x11Display(window);
    return display && x11::serverIsXwayland(display) ? "the compositor's output (" + lastCompositorWay + ")"
                                                      : "the root window";
}

bool clientAreaSize(NativeWindow* window, uint32_t& width, uint32_t& height) {
    Display* display = x11Display(window);
    XWindowAttributes attributes;
    if (!display || !XGetWindowAttributes(display, x11Window(window), &attributes)) return false;
    width = uint32_t(attributes.width);
    height = uint32_t(attributes.height);
    return true;
}

bool screenReadable(NativeWindow* window, std::string& why) {
    Display* display = x11Display(window);
    if (!display || !x11::serverIsXwayland(display)) return true;
    CompositorCapture* capture = openCompositorCapture(why);
    closeCompositorCapture(capture);
    return capture != nullptr;
}

bool screenResamples(NativeWindow* window, std::string& why) {
    Display* display = x11Display(window);
    XWindowAttributes attributes;
    ::Window child = 0;
    int x = 0, y = 0;
    if (!display || !x11::serverIsXwayland(display) || !XGetWindowAttributes(display, x11Window(window), &attributes) ||
        !XTranslateCoordinates(display, x11Window(window), RootWindow(display, x11Screen(window)), 0, 0, &x, &y,
                               &child))
        return false;
    std::string unread;
    CompositorCapture* capture = openCompositorCapture(unread);
    const bool resampled =
        capture && areaResampled(capture, {x, y, uint32_t(attributes.width), uint32_t(attributes.height)}, why);
    closeCompositorCapture(capture);
    return resampled;
}

bool captureClientArea(NativeWindow* window, int32_t left, int32_t top, uint32_t width, uint32_t height,
                       vyr::test::FrameImage& image, std::string& why) {
    Display* display = x11Display(window);
    if (!display) {
        why = "there is no display";
        return false;
    }
    // Whatever the program sent before is drawn by the time the server answers.
    XSync(display, False);
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, x11Window(window), &attributes) || attributes.map_state != IsViewable) {
        why = "the window is not shown";
        return false;
    }
    if (left < 0 || top < 0 || width == 0 || height == 0 || left + int64_t(width) > attributes.width ||
        top + int64_t(height) > attributes.height) {
        why = "the frame is not inside the window";
        return false;
    }
    ::Window root = RootWindow(display, x11Screen(window)), child = 0;
    int rootX = 0, rootY = 0;
    if (!XTranslateCoordinates(display, x11Window(window), root, left, top, &rootX, &rootY, &child)) {
        why = "the window's place on the screen could not be had";
        return false;
    }
    if (x11::serverIsXwayland(display))
        return captureClientThroughCompositor({rootX, rootY, width, height}, left, top, image, lastCompositorWay, why);
    // A rectangle partly off the screen makes the request fail; the shell's
    // error handler counts the error instead of ending the program.
    unsigned long errorsBefore = x11::errorCount();
    XImage* picture = XGetImage(display, root, rootX, rootY, width, height, AllPlanes, ZPixmap);
    XSync(display, False);
    if (!picture || x11::errorCount() != errorsBefore) {
        if (picture) XDestroyImage(picture);
        why = "the X server gives no pixels of its root window there";
        return false;
    }
    Channel red = channelOf(picture->red_mask), green = channelOf(picture->green_mask),
            blue = channelOf(picture->blue_mask);
    image.place(width, height, left, top);
    uint8_t* to = image.rgba.data();
    for (uint32_t y = 0; y < height; y++)
        for (uint32_t x = 0; x < width; x++, to += 4) {
            unsigned long pixel = XGetPixel(picture, int(x), int(y));
            to[0] = scaled(pixel, red);
            to[1] = scaled(pixel, green);
            to[2] = scaled(pixel, blue);
            to[3] = 255;
        }
    XDestroyImage(picture);
    return true;
}

}  // namespace vyr::platform::x11

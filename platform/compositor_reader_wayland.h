// The ways of reading a Wayland compositor's screen behind
// platform/compositor_capture.h, one class each: wlr-screencopy
// (platform/wlr_screen_copy_wayland.cpp) and GNOME's ScreenCast through
// PipeWire (platform/mutter_screen_cast_wayland.cpp).
#pragma once

#include <cstdint>
#include <string>

#include "platform/compositor_capture.h"

namespace vyr::platform {

struct CompositorCapture {
    virtual ~CompositorCapture() = default;
    // How the screen is read, in words for the results ("wlr-screencopy").
    virtual const char* way() const = 0;
    // How the screen's changes are learned, for the screen figures' measured_by.
    virtual const char* changesWay() const = 0;
    virtual bool capture(const LayoutArea& area, vyr::test::FrameImage& image, bool& scaled, std::string& why) = 0;
    virtual bool resampled(const LayoutArea& area, std::string& why) = 0;
    // The outputs' places in the layout, as learned when the capture opened.
    virtual const std::vector<OutputPlace>& outputPlaces() const = 0;
    virtual ScreenChange waitForChange(const LayoutArea& area, int wakeFd, int timeoutMs, uint64_t& at,
                                       std::string& why) = 0;
};

// Null where the compositor does not offer the way: with `why` empty where it
// is simply not there, else the reason it failed.
CompositorCapture* openScreenCopy(std::string& why);
CompositorCapture* openMutterScreenCast(std::string& why);

// The reason shared by the ways: the frame's area on no single output.
extern const char* const areaOnNoOutput;

}  // namespace vyr::platform

// Where a screen's picture shows a frame: for a window system that never tells
// a program where its window is (GNOME's Wayland compositor), the picture
// check finds the window by the frame it just presented. Pure functions, no
// graphics API.
#pragma once

#include <cstdint>

#include "render/frame_image.h"

namespace vyr::platform {

struct FoundFrame {
    int32_t left = 0, top = 0;  // the frame's top-left pixel on the screen
    // Places that show the frame: 1 when found, 0 when none does, 2 when
    // more than one does (two windows with the same picture).
    int places = 0;
    bool searchable = true;  // false: the frame has too few edges to be told from a flat screen
};

// Looks for `frame` in `screen` at every whole-pixel place, by the frame's
// sharpest edges (where a picture moved by a pixel differs most), allowing the
// rounding of a compositor's copy and a few edges drawn or hidden otherwise.
// The place where the fewest edges stray counts; places a pixel or two apart
// are one place.
FoundFrame findFrame(const vyr::test::FrameImage& screen, const vyr::test::FrameImage& frame);

}  // namespace vyr::platform

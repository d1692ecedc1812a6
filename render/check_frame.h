// The picture check's frame: the scene at a fixed time with every part of it
// on screen, drawn at 640 x 400 and read back from the renderer as it presents.
#pragma once

#include "render/frame_image.h"

namespace vyr::test {

class RenderingContext;
class Project3D;
class Texture;

// 266.5 degrees into the logos' spin, early in the cross-fade: both logos are
// drawn (the back one at alpha 0.9375 and still turned a little toward the
// viewer, the front one at 0.0625), so that a depth buffer that is not
// cleared between them hides part of the back logo where it shows most.
constexpr float checkSceneTime = 266.5f / 75.5f;

// Draws the check frame mono, with the pause label and the OFF indicator, no
// frame-rate text, the stars as spikes; copies the renderer's 640 x 400 pixels
// into `frame` and presents. The context's own state is left as it was. False
// when the drawable is smaller than 640 x 400 or the back-end gave no pixels.
bool drawCheckFrame(RenderingContext& context, Project3D* project, Texture** overlays, FrameImage& frame);

}  // namespace vyr::test

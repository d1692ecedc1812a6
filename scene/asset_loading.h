// The program's scene content: three overlay textures and one project, read
// from the embedded pack and handed to the rendering context.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vyr::test {

class Project3D;
class Texture;
class RenderingContext;

enum OverlaySlot { OverlayStars = 0, OverlayPause = 1, OverlayOff = 2 };

struct SceneContent {
    Project3D* project = nullptr;
    Texture* overlays[3] = {nullptr, nullptr, nullptr};
};

// The program's one instance of the holders.
SceneContent& sceneContent();

// Fills the holders from a pack (the embedded one by default), then uploads
// them when a context is given.
void loadAssets(SceneContent& content, RenderingContext* context);
void loadAssets(SceneContent& content, RenderingContext* context, const uint8_t* pack, size_t packSize);
// After a completed device reset: the same objects are handed over again.
void reuploadAssets(SceneContent& content, RenderingContext* context);
// Shutdown: overlays in array order, then the project.
void releaseAssets(SceneContent& content);

}  // namespace vyr::test

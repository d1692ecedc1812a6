#include "scene/asset_loading.h"

#include "render/rendering_context.h"
#include "scene/asset_pack.h"
#include "scene/data_stream.h"
#include "scene/project3d.h"
#include "scene/texture.h"

namespace vyr::test {

SceneContent& sceneContent() {
    static SceneContent content;
    return content;
}

void loadAssets(SceneContent& content, RenderingContext* context) {
    loadAssets(content, context, assetPackData(), assetPackSize());
}

void loadAssets(SceneContent& content, RenderingContext* context, const uint8_t* pack, size_t packSize) {
    content.project = new Project3D;
    DataStream stream;
    stream.openMemoryRead(pack, packSize);
    // Reading stops at the first record not read whole; the holders stay, empty.
    bool complete = true;
    for (Texture*& overlay : content.overlays) {
        overlay = new Texture;
        complete = complete && overlay->load(stream);
    }
    if (complete) content.project->load(stream);
    stream.close();
    reuploadAssets(content, context);
}

void reuploadAssets(SceneContent& content, RenderingContext* context) {
    if (!context) return;
    for (Texture* overlay : content.overlays) context->uploadTexture(overlay, nullptr);
    context->uploadProject(content.project);
}

void releaseAssets(SceneContent& content) {
    for (Texture*& overlay : content.overlays) {
        delete overlay;
        overlay = nullptr;
    }
    delete content.project;
    content.project = nullptr;
}

}  // namespace vyr::test

// A rendering context that draws nothing, so the shell's logic runs without a display.
#pragma once

#include <vector>

#include "render/rendering_context.h"

namespace vyr::test {

class NullContext : public RenderingContext {
public:
    DrawableContext* createDrawable(NativeWindow*, bool, uint32_t, bool, bool) override { return nullptr; }
    bool createContext(DrawableContext*) override { return true; }
    void setDeviceLost(bool) override {}
    bool isDeviceLost() override { return false; }
    bool resetDevice() override { return false; }
    void printCapabilities() override {}
    double getVersion() override { return 1.5; }
    void setSize(unsigned w, unsigned h) override { width = w, height = h; }
    bool makeCurrent(DrawableContext* drawable) override {
        currentDrawable = drawable;
        return true;
    }
    void present() override {}
    void setupRenderState() override {}
    void drawObject(Project3D*, Object3D*, float) override {}
    void drawScene(float, Project3D*, Texture**) override {}
    void renderFrame(Project3D*, Texture**) override {}
    bool uploadTexture(Texture*, const float*) override { return true; }
    bool uploadMesh(Object3D*) override { return true; }
};

}  // namespace vyr::test

// The OpenGL back-end: fixed-function drawing shared by both platforms, the
// window system behind gl_window_binding.h.
//
//  [x] the demo scene's primitives in OpenGL 1.5's fixed-function pipeline
//  [x] quad-buffered stereo where the window system grants it (mono otherwise)
//  [x] multisampling by the largest sample count the window system grants
//  [x] frame copy into the window and the inverted cursor square while paused
//  [ ] lost devices: an OpenGL context is never lost
#pragma once

#include <cstdint>

#include "render/rendering_context.h"
#include "render/scene_primitives.h"

namespace vyr::test {

class OpenGLDrawable;
class OpenGLTexture;

class OpenGLContext : public RenderingContext, private ScenePrimitives {
public:
    OpenGLContext() = default;
    ~OpenGLContext() override;

    DrawableContext* createDrawable(NativeWindow* window, bool multisample, uint32_t samples,
                                    bool stereo, bool vsync) override;
    bool createContext(DrawableContext* drawable) override;
    void setDeviceLost(bool lost) override {}
    bool isDeviceLost() override { return false; }
    bool resetDevice() override { return false; }
    void printCapabilities() override;
    double getVersion() override;
    void setSize(unsigned width, unsigned height) override;
    bool makeCurrent(DrawableContext* drawable) override;
    void present() override;
    void setupRenderState() override;
    void drawObject(Project3D* project, Object3D* object, float alpha) override;
    void drawScene(float eyeOffset, Project3D* project, Texture** overlays) override;
    void renderFrame(Project3D* project, Texture** overlays) override;
    bool uploadTexture(Texture* texture, const float* palette) override;
    bool uploadMesh(Object3D* object) override;
    void copyFrameToWindow() override;
    // The back buffer's width x height pixels from its bottom-left corner.
    void readFrame(FrameImage& frame);

    void applyBackgroundProjection(unsigned width, unsigned height);

    // Whole-word search in a blank-separated extension list.
    static bool hasExtension(const char* list, const char* name);

    void* glContext = nullptr;
    uint32_t fontListBase = 0;

private:
    OpenGLDrawable* drawable() const;
    bool bindHeldTexture(Texture* texture);
    void applyMaterial(const MeshMaterial& material, Texture* texture, float alpha);

    bool beginFrame(float eyeOffset) override;
    void endFrame() override;
    void drawBackground(Texture* image) override;
    void setCamera() override;
    void beginStars(bool streaks, Texture* streakImage) override;
    void drawStreak() override;
    void endStars(bool streaks) override;
    void beginLogos(bool blended) override;
    void clearDepth() override;
    void placeObject(const ModelTransform& transform) override;
    void turnObject(float degrees) override;
    void drawMesh(Mesh3D& mesh, const MeshMaterial* material, Texture* texture, float alpha) override;
    void beginOverlays() override;
    void drawOverlay(Texture* image, float left, bool enableBlending) override;
    void beginText() override;
    void drawText(const char* text, TextLayer layer) override;
};

RenderingContext* createOpenGLContext();

}  // namespace vyr::test

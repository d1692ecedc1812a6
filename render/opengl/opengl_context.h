// The OpenGL back-end: fixed-function drawing shared by both platforms, the
// window system behind gl_window_binding.h.
#pragma once

#include <cstdint>

#include "render/rendering_context.h"

namespace vyr::test {

class OpenGLDrawable;
class OpenGLTexture;

class OpenGLContext : public RenderingContext {
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

    void applyBackgroundProjection(unsigned width, unsigned height);
    void drawText(const char* format, ...);

    // Whole-word search in a blank-separated extension list.
    static bool hasExtension(const char* list, const char* name);

    void* glContext = nullptr;
    uint32_t fontListBase = 0;

private:
    OpenGLDrawable* drawable() const;
    bool bindHeldTexture(Texture* texture);
    void drawOverlayQuad(float x0, float x1);
};

RenderingContext* createOpenGLContext();

}  // namespace vyr::test

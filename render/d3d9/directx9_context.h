// The Direct3D 9 back-end (-directx9).
//
//  [x] the demo scene's primitives in Direct3D 9's fixed-function pipeline,
//      left-handed: placements mirrored in z (directx9_scene.cpp)
//  [x] the extended device where the runtime has it; lost devices reset
//  [x] D3DX loaded at run time (d3dx9_43.dll); all ten exports required
//  [ ] stereo: drawn mono
//  [ ] a font whose glyph textures the device refuses: no frame-rate text
#pragma once

#include <d3d9.h>

#include "render/d3d9/directx9_d3dx.h"
#include "render/rendering_context.h"
#include "render/scene_primitives.h"

namespace vyr::test {

class DirectX9Drawable;
class DirectX9Texture;

// The shell's one way to make the back-end.
RenderingContext* createDirectX9Context();

// The two process-wide Direct3D 9 objects; both load D3DX first and are never released.
IDirect3D9* getDirect3D();
IDirect3D9Ex* getDirect3DEx();

// No runtime reports this adapter; a remote-visualization session answers its capability query.
constexpr UINT markerAdapter = 0xFFFFFF;

class DirectX9Context : public RenderingContext, private ScenePrimitives {
public:
    DirectX9Context() = default;
    ~DirectX9Context() override;

    DrawableContext* createDrawable(NativeWindow* window, bool multisample, uint32_t samples, bool stereo,
                                    bool vsync) override;
    bool createContext(DrawableContext* drawable) override;
    void setDeviceLost(bool lost) override { deviceLost = lost; }
    bool isDeviceLost() override { return deviceLost; }
    bool resetDevice() override;
    void printCapabilities() override;
    double getVersion() override { return 9.0; }
    void setSize(unsigned width, unsigned height) override;
    bool makeCurrent(DrawableContext* drawable) override;
    void present() override;
    void setupRenderState() override;
    void drawObject(Project3D* project, Object3D* object, float alpha) override;
    void drawScene(float eyeOffset, Project3D* project, Texture** overlays) override;
    void renderFrame(Project3D* project, Texture** overlays) override;
    bool uploadTexture(Texture* texture, const float* palette) override;
    bool uploadMesh(Object3D* object) override;

    // Every texture and mesh object, emptying both maps, then quadBuffer.
    void releaseDeviceResources();
    // The picture check: the back buffer's width x height pixels from its
    // top-left corner, and a viewport of that size while such a frame is drawn.
    void readFrame(FrameImage& frame);
    void limitViewport(bool toFrameSize);

    IDirect3DDevice9Ex* device = nullptr;
    IDirect3DVertexBuffer9* quadBuffer = nullptr;
    D3DXFont* font = nullptr;
    bool deviceLost = false;

private:
    void gatherDriverFacts(IDirect3D9& d3d);
    // Texture-stage set-ups of stage 0; each binds the texture first. The
    // colour is the texture times white (MODULATE) or twice that (MODULATE2X).
    void applyTextureStage(DirectX9Texture* texture, DWORD colourOp, DWORD alphaOp);
    void applyReflectiveStage(DirectX9Texture* texture);
    DirectX9Texture* heldTexture(Texture* texture) const;
    void drawQuad(UINT firstVertex, D3DPRIMITIVETYPE type, UINT primitives);

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

    D3DMATRIX world = {};  // the placement of the objects drawn next
};

}  // namespace vyr::test

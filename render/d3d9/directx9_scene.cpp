// The demo scene's primitives with Direct3D 9's fixed-function pipeline and
// D3DX matrices.
//
// The scene places things in OpenGL's right-handed eye space; Direct3D's axes
// are left-handed. The meshes were mirrored in z at upload, and every placement
// is mirrored here (z negated, angles about y negated), so the view is the
// identity: the eye at the origin looking along +z, and everything turns the
// same way on screen as with OpenGL.
#include <cstdio>

#include "render/d3d9/directx9_context.h"
#include "render/d3d9/directx9_resources.h"
#include "render/demo_scene.h"
#include "scene/object3d.h"
#include "scene/project3d.h"

namespace vyr::test {

namespace {

constexpr float pi = 3.14159265358979f;

void setStates(IDirect3DDevice9* device, DWORD cull, BOOL lit, BOOL depth) {
    device->SetRenderState(D3DRS_CULLMODE, cull);
    device->SetRenderState(D3DRS_LIGHTING, lit);
    device->SetRenderState(D3DRS_ZENABLE, depth);
    device->SetRenderState(D3DRS_ZWRITEENABLE, depth);
}

void clearDepthBuffer(IDirect3DDevice9* device) { device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0); }

// One step of a placement, mirrored into the left-handed world.
D3DMATRIX stepMatrix(const TransformStep& step) {
    D3DMATRIX m;
    switch (step.kind) {
    case TransformStep::Translate:
        d3dx.matrixTranslation(&m, step.x, step.y, -step.z);
        break;
    case TransformStep::RotateY:
        d3dx.matrixRotationY(&m, step.x * (-pi) / 180.0f);
        break;
    case TransformStep::Scale:
        d3dx.matrixScaling(&m, step.x, step.y, step.z);
        break;
    }
    return m;
}

}  // namespace

void DirectX9Context::drawObject(Project3D* project, Object3D* object, float alpha) {
    drawSceneObject(*this, *this, project, object, alpha);
}

void DirectX9Context::drawScene(float eyeOffset, Project3D* project, Texture** overlays) {
    drawDemoScene(*this, *this, eyeOffset, project, overlays);
}

// No stereo: a Direct3D 9 swap chain has one back buffer per frame.
void DirectX9Context::renderFrame(Project3D* project, Texture** overlays) { produceFrame(project, overlays, false); }

// >>d3d9 scene primitives

bool DirectX9Context::beginFrame(float) {
    if (!device) return false;
    // A frame smaller than the back buffer (the picture check's) draws into its top-left corner.
    if (frameCapture) limitViewport(true);
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    return SUCCEEDED(device->BeginScene());
}

void DirectX9Context::endFrame() { device->EndScene(); }

void DirectX9Context::drawQuad(UINT firstVertex, D3DPRIMITIVETYPE type, UINT primitives) {
    device->SetStreamSource(0, quadBuffer, 0, sizeof(SceneVertex));
    device->SetFVF(sceneVertexFormat);
    device->DrawPrimitive(type, firstVertex, primitives);
}

void DirectX9Context::drawBackground(Texture* image) {
    // The centred unit quad spans the longer side, cropped along the shorter.
    float w = float(width > 1 ? width : 1);
    float h = float(height > 1 ? height : 1);
    D3DMATRIX projection;
    if (h > w)
        d3dx.matrixOrthoLH(&projection, w / h, 1.0f, -1.0f, 1.0f);
    else
        d3dx.matrixOrthoLH(&projection, 1.0f, h / w, -1.0f, 1.0f);
    const D3DMATRIX identity = identityMatrix();
    device->SetTransform(D3DTS_PROJECTION, &projection);
    device->SetTransform(D3DTS_WORLD, &identity);
    device->SetTransform(D3DTS_VIEW, &identity);
    if (DirectX9Texture* texture = heldTexture(image)) applyTextureStage(texture, D3DTOP_MODULATE, D3DTOP_DISABLE);
    setStates(device, D3DCULL_NONE, FALSE, FALSE);
    drawQuad(4, D3DPT_TRIANGLESTRIP, 2);
}

void DirectX9Context::setCamera() {
    // Near plane 0.3 instead of OpenGL's 0.1: more depth precision, nothing of
    // the scene comes that close.
    D3DMATRIX projection;
    d3dx.matrixPerspectiveFovLH(&projection, pi / 4.0f, float(width) / float(height > 1 ? height : 1), 0.3f,
                                100.0f);
    const D3DMATRIX identity = identityMatrix();
    device->SetTransform(D3DTS_PROJECTION, &projection);
    device->SetTransform(D3DTS_VIEW, &identity);
}

// The star cones are drawn with depth test and writes (cleared again in
// endStars); the streaks are coloured by the gradient image instead of by
// their vertices, without depth test.
void DirectX9Context::beginStars(bool streaks, Texture* streakImage) {
    if (!streaks) {
        setStates(device, D3DCULL_CW, TRUE, TRUE);
        device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
        device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
        device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
        return;
    }
    if (DirectX9Texture* texture = heldTexture(streakImage))
        applyTextureStage(texture, D3DTOP_MODULATE2X, D3DTOP_MODULATE);
    device->SetStreamSource(0, quadBuffer, 0, sizeof(SceneVertex));
    device->SetFVF(sceneVertexFormat);
}

void DirectX9Context::drawStreak() { device->DrawPrimitive(D3DPT_LINESTRIP, 8, 1); }

void DirectX9Context::endStars(bool streaks) {
    if (streaks)
        setStates(device, D3DCULL_CW, TRUE, TRUE);
    else
        clearDepthBuffer(device);
}

// Opaque logos do not occur: there is no stereo frame.
void DirectX9Context::beginLogos(bool blended) {
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, blended);
}

void DirectX9Context::clearDepth() { clearDepthBuffer(device); }

// Row vectors: a step listed later applies first, so each one is put in front.
void DirectX9Context::placeObject(const ModelTransform& transform) {
    world = identityMatrix();
    for (int i = 0; i < transform.count; i++) world = multiply(stepMatrix(transform.steps[i]), world);
    device->SetTransform(D3DTS_WORLD, &world);
}

void DirectX9Context::turnObject(float degrees) {
    world = multiply(stepMatrix({TransformStep::RotateY, degrees, 0.0f, 0.0f}), world);
    device->SetTransform(D3DTS_WORLD, &world);
}

void DirectX9Context::beginOverlays() {
    // Pixels with the origin at the centre of the client area.
    D3DMATRIX projection;
    d3dx.matrixOrthoLH(&projection, float(width), float(height), -1.0f, 1.0f);
    const D3DMATRIX identity = identityMatrix();
    device->SetTransform(D3DTS_PROJECTION, &projection);
    device->SetTransform(D3DTS_VIEW, &identity);
}

// Blending is always on here: the logos left it so.
void DirectX9Context::drawOverlay(Texture* image, float left, bool) {
    D3DMATRIX scaling, translation;
    d3dx.matrixScaling(&scaling, float(overlayWidth), float(overlayHeight), 1.0f);
    d3dx.matrixTranslation(&translation, left - float(width) / 2.0f, -float(height) / 2.0f, 1.0f);
    world = multiply(multiply(identityMatrix(), scaling), translation);
    device->SetTransform(D3DTS_WORLD, &world);
    setStates(device, D3DCULL_NONE, FALSE, FALSE);
    if (DirectX9Texture* texture = heldTexture(image)) applyTextureStage(texture, D3DTOP_MODULATE, D3DTOP_MODULATE);
    drawQuad(0, D3DPT_TRIANGLESTRIP, 2);
}

void DirectX9Context::beginText() {}

// The D3DX font counts rows downward from the top: the black shadow lies one
// pixel below the white face.
void DirectX9Context::drawText(const char* text, TextLayer layer) {
    if (!font) return;
    const int p = layer == TextLayer::Shadow ? 0 : 1;
    RECT rect = {0, 1 - p, 0, 0};
    font->DrawTextA(nullptr, text, -1, &rect, DT_CALCRECT, 0);
    rect.left = 3;
    rect.right = LONG(width) - p - 5;
    font->DrawTextA(nullptr, text, -1, &rect, 0, p == 0 ? 0xFF000000 : 0xFFFFFFFF);
}

// <<d3d9 scene primitives

}  // namespace vyr::test

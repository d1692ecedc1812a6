// The demo scene's frame with Direct3D 9: left-handed axes, the camera at
// (0, 0, -8) looking at the logos at the origin.
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

}  // namespace

void DirectX9Context::drawQuad(UINT firstVertex, D3DPRIMITIVETYPE type, UINT primitives) {
    device->SetStreamSource(0, quadBuffer, 0, sizeof(SceneVertex));
    device->SetFVF(sceneVertexFormat);
    device->DrawPrimitive(type, firstVertex, primitives);
}

void DirectX9Context::drawOverlay(Texture* overlay, float tx) {
    D3DMATRIX scaling, translation;
    d3dx.matrixScaling(&scaling, float(overlayWidth), float(overlayHeight), 1.0f);
    d3dx.matrixTranslation(&translation, tx, -float(height) / 2.0f, 1.0f);
    D3DMATRIX world = multiply(multiply(identityMatrix(), scaling), translation);
    device->SetTransform(D3DTS_WORLD, &world);
    setStates(device, D3DCULL_NONE, FALSE, FALSE);
    if (DirectX9Texture* texture = heldTexture(overlay)) applyPlainStage(texture, D3DTOP_MODULATE);
    drawQuad(0, D3DPT_TRIANGLESTRIP, 2);
}

void DirectX9Context::drawFrameRate() {
    char text[64];
    snprintf(text, sizeof text, "Generated FPS: %d", int(uint32_t(currentFrameRate)));
    for (int p = 0; p < 2; p++) {
        RECT rect = {0, 1 - p, 0, 0};
        font->DrawTextA(nullptr, text, -1, &rect, DT_CALCRECT, 0);
        rect.left = 3;
        rect.right = LONG(width) - p - 5;
        // Rows count downward here: the black shadow lies one pixel below the white text.
        font->DrawTextA(nullptr, text, -1, &rect, 0, p == 0 ? 0xFF000000 : 0xFFFFFFFF);
    }
}

void DirectX9Context::drawScene(float, Project3D* project, Texture** overlays) {
    if (!device) return;
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    if (FAILED(device->BeginScene())) return;

    const D3DMATRIX identity = identityMatrix();

    // Background: the centred unit quad spans the longer side, cropped along the shorter.
    float w = float(width > 1 ? width : 1);
    float h = float(height > 1 ? height : 1);
    D3DMATRIX projection;
    if (h > w)
        d3dx.matrixOrthoLH(&projection, w / h, 1.0f, -1.0f, 1.0f);
    else
        d3dx.matrixOrthoLH(&projection, 1.0f, h / w, -1.0f, 1.0f);
    device->SetTransform(D3DTS_PROJECTION, &projection);
    device->SetTransform(D3DTS_WORLD, &identity);
    device->SetTransform(D3DTS_VIEW, &identity);
    if (DirectX9Texture* texture = heldTexture(overlays ? overlays[0] : nullptr))
        applyPlainStage(texture, D3DTOP_DISABLE);
    setStates(device, D3DCULL_NONE, FALSE, FALSE);
    drawQuad(4, D3DPT_TRIANGLESTRIP, 2);

    if (!benchmark) {
        setStates(device, D3DCULL_CW, TRUE, TRUE);
        device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
        device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
        device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    }

    D3DMATRIX view;
    D3DVECTOR eye = {0.0f, 0.0f, -8.0f}, target = {0.0f, 0.0f, 0.0f}, up = {0.0f, 1.0f, 0.0f};
    d3dx.matrixPerspectiveFovLH(&projection, pi / 4.0f, float(width) / float(height > 1 ? height : 1), 0.3f,
                                100.0f);
    d3dx.matrixLookAtLH(&view, &eye, &target, &up);
    device->SetTransform(D3DTS_PROJECTION, &projection);
    device->SetTransform(D3DTS_VIEW, &view);

    float t = animationTime(*this);

    // Stars. The scene logic gives z = z0 - 36 trunc(z0 / 36) - 24 (= d); the
    // left-handed world puts the star at -d.
    Object3D* star = project ? project->findObject("gfx/star.dae") : nullptr;
    D3DMATRIX turn, stretch;
    d3dx.matrixRotationY(&turn, pi);
    d3dx.matrixScaling(&stretch, 2.0f, 2.0f, 1.0f);
    const D3DMATRIX starBase = multiply(multiply(identity, turn), stretch);
    if (benchmark) {
        Texture* gradient = project ? project->findTexture("gfx/gradient.jpg") : nullptr;
        if (DirectX9Texture* texture = heldTexture(gradient)) applyDoubledStage(texture, D3DTOP_MODULATE);
        device->SetStreamSource(0, quadBuffer, 0, sizeof(SceneVertex));
        device->SetFVF(sceneVertexFormat);
    }
    for (int k = 0; k < starCandidates; k++) {
        StarPosition position;
        if (!starPosition(k, t, starDepthOffsetDirect3D, position)) continue;
        D3DMATRIX translation;
        d3dx.matrixTranslation(&translation, position.x, position.y, -position.z);
        D3DMATRIX world = multiply(starBase, translation);
        device->SetTransform(D3DTS_WORLD, &world);
        if (benchmark)
            device->DrawPrimitive(D3DPT_LINESTRIP, 8, 1);
        else
            drawObject(project, star, 1.0f);
    }
    if (benchmark)
        setStates(device, D3DCULL_CW, TRUE, TRUE);
    else
        device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);

    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);

    // Logos: angles negated against the right-handed scene, so they turn the same way on screen.
    float a = logoSpinMono * t;
    float front, back;
    logoAlphas(a, front, back);
    D3DMATRIX spin, halfTurn;
    d3dx.matrixRotationY(&spin, a * (-pi) / 180.0f);
    d3dx.matrixRotationY(&halfTurn, pi);
    D3DMATRIX world = multiply(identity, spin);
    device->SetTransform(D3DTS_WORLD, &world);
    drawObject(project, project ? project->findObject("gfx/Tarsel Logo.dae") : nullptr, front);
    device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    world = multiply(world, halfTurn);
    device->SetTransform(D3DTS_WORLD, &world);
    drawObject(project, project ? project->findObject("gfx/VYR Logo.dae") : nullptr, back);

    // Overlays in pixels, the origin at the centre of the client area.
    d3dx.matrixOrthoLH(&projection, float(width), float(height), -1.0f, 1.0f);
    device->SetTransform(D3DTS_PROJECTION, &projection);
    device->SetTransform(D3DTS_VIEW, &identity);
    if (pauseState != Running) {
        drawOverlay(overlays ? overlays[1] : nullptr, -float(width) / 2.0f);
        completePauseTransition(*this);
    } else if (showFrameRate && font) {
        drawFrameRate();
    }
    if (!remoteActive)
        drawOverlay(overlays ? overlays[2] : nullptr,
                    float(width) / 2.0f - float(overlayWidth + offIndicatorRightMargin));

    device->EndScene();
}

void DirectX9Context::renderFrame(Project3D* project, Texture** overlays) {
    uint64_t now = elapsedMs();
    if (frameLimit != 0) paceFrame(now);
    countFrame(now);
    drawScene(0.0f, project, overlays);
    present();
}

}  // namespace vyr::test

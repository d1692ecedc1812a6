// Fixed render state, the scene light, the shared quad buffer and the text font.
#include <cstring>

#include "render/d3d9/directx9_context.h"
#include "render/d3d9/directx9_resources.h"

namespace vyr::test {

namespace {

// Every character the frame-rate text can show.
const char* const frameRateGlyphs = "Generated FPS: -0123456789";

// Overlay quad (0-3), background quad (4-7, texture repeated twice each way), streak (8-9).
const SceneVertex quadVertices[10] = {
    {0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f},
    {1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f},
    {0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f},
    {1.0f, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 1.0f},
    {-0.5f, -0.5f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f},
    {0.5f, -0.5f, 0.0f, 0.0f, 0.0f, 0.0f, 2.0f, 0.0f},
    {-0.5f, 0.5f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 2.0f},
    {0.5f, 0.5f, 0.0f, 0.0f, 0.0f, 0.0f, 2.0f, 2.0f},
    {0.0f, 0.0f, 0.5f, 0.0f, 1.0f, 0.0f, 0.5f, 0.0f},
    {0.0f, 0.0f, -0.5f, 0.0f, 1.0f, 0.0f, -0.45f, 0.0f},
};

}  // namespace

void DirectX9Context::setupRenderState() {
    if (!device) return;

    D3DLIGHT9 light = {};
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Diffuse = {1.0f, 1.0f, 1.0f, 0.0f};
    light.Specular = {1.0f, 1.0f, 1.0f, 0.0f};
    D3DVECTOR direction = {0.0f, 0.0f, 1.0f};
    d3dx.vec3Normalize(&light.Direction, &direction);
    light.Range = 1000.0f;
    device->SetLight(0, &light);
    device->LightEnable(0, TRUE);

    device->SetRenderState(D3DRS_LIGHTING, TRUE);
    device->SetRenderState(D3DRS_SPECULARENABLE, TRUE);
    device->SetRenderState(D3DRS_AMBIENT, 0);
    device->SetRenderState(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_MATERIAL);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);

    // A second call (without a reset in between) must not leak the first objects.
    if (quadBuffer) quadBuffer->Release();
    quadBuffer = nullptr;
    if (font) font->Release();
    font = nullptr;

    IDirect3DVertexBuffer9* buffer = nullptr;
    if (FAILED(device->CreateVertexBuffer(sizeof quadVertices, 0, sceneVertexFormat, D3DPOOL_DEFAULT, &buffer,
                                          nullptr)) ||
        !buffer)
        return;
    quadBuffer = buffer;
    void* data = nullptr;
    if (FAILED(quadBuffer->Lock(0, 0, &data, 0)) || !data) return;
    memcpy(data, quadVertices, sizeof quadVertices);
    quadBuffer->Unlock();

    D3DXFont* created = nullptr;
    if (FAILED(d3dx.createFontA(device, -19, 0, 0, 1, FALSE, ANSI_CHARSET, OUT_TT_PRECIS, ANTIALIASED_QUALITY, 0,
                                "Times New Roman", &created)))
        created = nullptr;
    // Some D3DX builds keep the glyphs in managed-pool textures, which the
    // extended device refuses; drawing with such a font reads a texture that
    // was never made. A font that cannot cache the frame-rate text's glyphs is
    // dropped here, and the text is skipped as with no font at all.
    if (created && FAILED(created->PreloadTextA(frameRateGlyphs, -1))) {
        created->Release();
        created = nullptr;
    }
    font = created;
}

}  // namespace vyr::test

// A mesh with the material of its name, and the texture-stage set-ups.
#include "render/d3d9/directx9_context.h"
#include "render/d3d9/directx9_resources.h"
#include "render/demo_scene.h"
#include "scene/object3d.h"

namespace vyr::test {

namespace {

constexpr D3DCOLORVALUE specularColour = {0.3f, 0.3f, 0.3f, 1.0f};
constexpr D3DCOLOR reflectionTint = 0xFF001A80;

// Direct3D's lighting takes the colour from the material, not from the
// vertices: a glowing mesh is its emission alone, the rest diffuse and ambient.
D3DMATERIAL9 direct3DMaterial(const MeshMaterial& source, float alpha) {
    D3DMATERIAL9 material = {};
    material.Specular = specularColour;
    material.Power = 3.0f;
    if (source.emissive) {
        material.Emissive = {1.0f, 1.0f, 1.0f, 1.0f};
    } else {
        material.Diffuse = {float(source.red) / 255.0f, float(source.green) / 255.0f, float(source.blue) / 255.0f,
                            alpha};
        material.Ambient = material.Diffuse;
    }
    return material;
}

void setFilters(IDirect3DDevice9* device) {
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
}

}  // namespace

DirectX9Texture* DirectX9Context::heldTexture(Texture* texture) const {
    if (!texture) return nullptr;
    auto found = textureResources.find(texture);
    return found == textureResources.end() ? nullptr : dynamic_cast<DirectX9Texture*>(found->second);
}

void DirectX9Context::applyTextureStage(DirectX9Texture* texture, DWORD colourOp, DWORD alphaOp) {
    device->SetTexture(0, texture->d3dTexture);
    device->SetTextureStageState(0, D3DTSS_COLOROP, colourOp);
    device->SetTextureStageState(0, D3DTSS_CONSTANT, 0xFFFFFFFF);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_CONSTANT);
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, alphaOp);
    setFilters(device);
}

void DirectX9Context::applyReflectiveStage(DirectX9Texture* texture) {
    device->SetTexture(0, texture->d3dTexture);
    // Sphere-map lookup: the coordinates come from the camera-space normal.
    device->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, D3DTSS_TCI_CAMERASPACENORMAL);
    device->SetTextureStageState(0, D3DTSS_CONSTANT, reflectionTint);
    // MULTIPLYADD is arg0 + arg1 * arg2: the lit diffuse colour plus the
    // reflection image tinted by the constant, the counterpart of the OpenGL
    // back-end's blend with the environment colour (0, 0.1, 0.5).
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MULTIPLYADD);
    device->SetTextureStageState(0, D3DTSS_COLORARG0, D3DTA_DIFFUSE);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_CONSTANT);
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
    setFilters(device);
}

void DirectX9Context::drawMesh(Mesh3D& mesh, const MeshMaterial* material, Texture* texture, float alpha) {
    auto found = meshResources.find(&mesh);
    DirectX9Mesh3D* held = found != meshResources.end() ? dynamic_cast<DirectX9Mesh3D*>(found->second) : nullptr;
    if (!held || !device) return;
    if (material) {
        D3DMATERIAL9 d3dMaterial = direct3DMaterial(*material, alpha);
        device->SetMaterial(&d3dMaterial);
        if (!material->textureName) {
            device->SetTexture(0, nullptr);
        } else if (DirectX9Texture* image = heldTexture(texture)) {
            // The sphere map's coordinates come from the normals; the object-linear
            // placement was baked into the vertices at upload, brightened twice.
            if (material->placement == TexturePlacement::SphereMap)
                applyReflectiveStage(image);
            else
                applyTextureStage(image, D3DTOP_MODULATE2X, D3DTOP_DISABLE);
        }
    }
    if (held->vertexBuffer) {
        device->SetStreamSource(0, held->vertexBuffer, 0, sizeof(SceneVertex));
        device->SetFVF(sceneVertexFormat);
        device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, mesh.triangleCount);
    }
    device->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 0);
}

}  // namespace vyr::test

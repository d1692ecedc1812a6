// One scene node with the material and texture-stage set-up of its name.
#include <cstring>

#include "render/d3d9/directx9_context.h"
#include "render/d3d9/directx9_resources.h"
#include "scene/object3d.h"
#include "scene/project3d.h"

namespace vyr::test {

namespace {

constexpr D3DCOLORVALUE darkColour = {0.0f, 35.0f / 255.0f, 106.0f / 255.0f, 1.0f};
constexpr D3DCOLORVALUE lightColour = {176.0f / 255.0f, 205.0f / 255.0f, 235.0f / 255.0f, 1.0f};
constexpr D3DCOLORVALUE specularColour = {0.3f, 0.3f, 0.3f, 1.0f};
constexpr D3DCOLOR reflectionTint = 0xFF001A80;

enum class StageSetup { None, Reflective, Doubled };

// The material of the mesh's name; false for a name outside the table.
bool materialFor(const std::string& name, float alpha, D3DMATERIAL9& material, StageSetup& setup,
                 const char*& textureName) {
    material = D3DMATERIAL9{};
    material.Specular = specularColour;
    material.Power = 3.0f;
    textureName = nullptr;
    setup = StageSetup::None;
    if (name == "Cap_21_1" || name == "Cap_12_1" || name == "Cap_2_1" || name == "Cap_23_1") {
        bool dark = name == "Cap_21_1" || name == "Cap_12_1";
        material.Diffuse = dark ? darkColour : lightColour;
        material.Diffuse.a = alpha;
        material.Ambient = material.Diffuse;
        if (dark) {
            setup = StageSetup::Reflective;
            textureName = "gfx/smap.jpg";
        }
        return true;
    }
    if (name == "Cone") {
        material.Emissive = {1.0f, 1.0f, 1.0f, 1.0f};
        setup = StageSetup::Doubled;
        textureName = "gfx/gradient.jpg";
        return true;
    }
    return false;
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

void DirectX9Context::applyPlainStage(DirectX9Texture* texture, DWORD alphaOp) {
    device->SetTexture(0, texture->d3dTexture);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    device->SetTextureStageState(0, D3DTSS_CONSTANT, 0xFFFFFFFF);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_CONSTANT);
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, alphaOp);
    setFilters(device);
}

void DirectX9Context::applyDoubledStage(DirectX9Texture* texture, DWORD alphaOp) {
    device->SetTexture(0, texture->d3dTexture);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE2X);
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

void DirectX9Context::drawObject(Project3D* project, Object3D* object, float alpha) {
    if (!object) return;
    auto* mesh = dynamic_cast<Mesh3D*>(object);
    DirectX9Mesh3D* held = nullptr;
    if (mesh) {
        auto found = meshResources.find(mesh);
        if (found != meshResources.end()) held = dynamic_cast<DirectX9Mesh3D*>(found->second);
    }
    if (held && device) {
        D3DMATERIAL9 material;
        StageSetup setup;
        const char* textureName;
        if (materialFor(mesh->name, alpha, material, setup, textureName)) {
            device->SetMaterial(&material);
            if (textureName) {
                if (!mesh->texture && project) mesh->texture = project->findTexture(textureName);
                if (DirectX9Texture* texture = heldTexture(mesh->texture)) {
                    if (setup == StageSetup::Reflective)
                        applyReflectiveStage(texture);
                    else
                        applyDoubledStage(texture, D3DTOP_DISABLE);
                }
            } else {
                device->SetTexture(0, nullptr);
            }
        }
        if (held->vertexBuffer) {
            device->SetStreamSource(0, held->vertexBuffer, 0, sizeof(SceneVertex));
            device->SetFVF(sceneVertexFormat);
            device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, mesh->triangleCount);
        }
        device->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 0);
    }
    for (Object3D* child : object->children) {
        if (child) drawObject(project, child, alpha);
    }
}

}  // namespace vyr::test

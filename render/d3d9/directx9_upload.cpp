// Texture and mesh upload: byte order for Direct3D's BGRA formats, and the z
// mirroring that takes the right-handed scene data into left-handed space.
#include <cstdlib>
#include <cstring>

#include "render/d3d9/directx9_context.h"
#include "render/d3d9/directx9_resources.h"
#include "scene/object3d.h"
#include "scene/texture.h"

namespace vyr::test {

namespace {

// Index8 pixels through the palette (four floats per entry, 0 to 255) or as grey.
void convertIndexed(Texture& texture, const float* palette) {
    if (!texture.converted) texture.converted = static_cast<uint8_t*>(malloc(size_t(texture.width) * texture.height * 3));
    if (!texture.converted) return;
    for (uint32_t y = 0; y < texture.height; y++) {
        const uint8_t* source = texture.pixels + size_t(y) * texture.pitch;
        uint8_t* target = texture.converted + size_t(y) * texture.width * 3;
        for (uint32_t x = 0; x < texture.width; x++) {
            uint8_t i = source[x];
            if (palette) {
                // Truncated to an integer, then its low 8 bits: 300 becomes 44.
                for (int c = 0; c < 3; c++) target[x * 3 + c] = uint8_t(int(palette[i * 4 + c]));
            } else {
                target[x * 3 + 0] = target[x * 3 + 1] = target[x * 3 + 2] = i;
            }
        }
    }
}

}  // namespace

bool DirectX9Context::uploadTexture(Texture* texture, const float* palette) {
    if (!texture) return false;
    RenderingTexture*& entry = textureResources[texture];
    auto* held = dynamic_cast<DirectX9Texture*>(entry);
    if (!held) {
        delete entry;
        held = new DirectX9Texture();
        entry = held;
    }
    if (!texture->pixels) return true;
    if (!device) return true;

    const uint8_t* source = texture->pixels;
    size_t sourcePitch = texture->pitch;
    size_t sourceBytes = 4;
    bool opaque = true;
    D3DFORMAT format = D3DFMT_X8R8G8B8;
    if (texture->format == Index8) {
        convertIndexed(*texture, palette);
        if (!texture->converted) return true;
        source = texture->converted;
        sourcePitch = size_t(texture->width) * 3;
        sourceBytes = 3;
    } else if (texture->format == RGB8) {
        sourceBytes = 3;
    } else {
        format = D3DFMT_A8R8G8B8;
        opaque = false;
    }

    if (!held->d3dTexture) {
        IDirect3DTexture9* created = nullptr;
        if (FAILED(d3dx.createTexture(device, texture->width, texture->height, 0, D3DUSAGE_DYNAMIC, format,
                                      D3DPOOL_DEFAULT, &created)))
            created = nullptr;
        held->d3dTexture = created;
    }
    if (!held->d3dTexture) return true;

    D3DLOCKED_RECT locked = {};
    if (FAILED(held->d3dTexture->LockRect(0, &locked, nullptr, 0)) || !locked.pBits) return true;
    for (uint32_t y = 0; y < texture->height; y++) {
        const uint8_t* from = source + y * sourcePitch;
        uint8_t* to = static_cast<uint8_t*>(locked.pBits) + size_t(y) * locked.Pitch;
        for (uint32_t x = 0; x < texture->width; x++) {
            const uint8_t* p = from + x * sourceBytes;
            to[x * 4 + 0] = p[2];
            to[x * 4 + 1] = p[1];
            to[x * 4 + 2] = p[0];
            to[x * 4 + 3] = opaque ? 255 : p[3];
        }
    }
    held->d3dTexture->UnlockRect(0);
    held->d3dTexture->AddDirtyRect(nullptr);
    held->d3dTexture->GenerateMipSubLevels();
    return true;
}

bool DirectX9Context::uploadMesh(Object3D* object) {
    if (auto* mesh = dynamic_cast<Mesh3D*>(object)) {
        RenderingMesh3D*& entry = meshResources[mesh];
        auto* held = dynamic_cast<DirectX9Mesh3D*>(entry);
        if (!held) {
            delete entry;
            held = new DirectX9Mesh3D();
            entry = held;
        }
        UINT vertexCount = mesh->triangleCount * 3;
        // A mesh without triangles needs no buffer (and cannot have one of size 0).
        if (vertexCount != 0) {
            if (!device) return false;
            if (!held->vertexBuffer) {
                IDirect3DVertexBuffer9* created = nullptr;
                if (FAILED(device->CreateVertexBuffer(vertexCount * sizeof(SceneVertex), 0, sceneVertexFormat,
                                                      D3DPOOL_DEFAULT, &created, nullptr)) ||
                    !created)
                    return false;
                held->vertexBuffer = created;
            }
            void* data = nullptr;
            if (FAILED(held->vertexBuffer->Lock(0, 0, &data, 0)) || !data) return false;
            auto* vertex = static_cast<SceneVertex*>(data);
            for (UINT k = 0; k < vertexCount; k++) {
                const float* p = mesh->vertices + k * 3;
                const float* n = mesh->normals + k * 3;
                // Mirrored in z; the texture coordinates come from the unmirrored position.
                vertex[k] = SceneVertex{p[0], p[1], -p[2], n[0], n[1], -n[2], -0.5f * p[2], p[0]};
            }
            held->vertexBuffer->Unlock();
        }
    }
    if (object) {
        for (Object3D* child : object->children) {
            if (child && !uploadMesh(child)) return false;
        }
    }
    return true;
}

}  // namespace vyr::test

// Texture and mesh upload read back from the locked Direct3D objects.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "render/d3d9/directx9_resources.h"
#include "scene/object3d.h"
#include "scene/texture.h"
#include "test_window.h"

namespace vyr::test {
namespace {

using DirectX9Upload = DirectX9Fixture;

// Width x height texture whose rows are pitch bytes apart (the padding is filled with 0xEE).
Texture* makeTexture(uint32_t format, uint32_t width, uint32_t height, uint32_t pitch,
                     const std::vector<uint8_t>& rows) {
    auto* texture = new Texture();
    texture->format = format;
    texture->width = width;
    texture->height = height;
    texture->pitch = pitch;
    texture->pixels = static_cast<uint8_t*>(malloc(size_t(pitch) * height));
    memset(texture->pixels, 0xEE, size_t(pitch) * height);
    memcpy(texture->pixels, rows.data(), rows.size());
    return texture;
}

// Level 0 as B, G, R, A bytes, rows tightly packed.
std::vector<uint8_t> readBack(DirectX9Context& context, Texture* texture) {
    std::vector<uint8_t> bytes;
    auto* held = dynamic_cast<DirectX9Texture*>(context.textureResources[texture]);
    if (!held || !held->d3dTexture) return bytes;
    D3DLOCKED_RECT locked = {};
    if (held->d3dTexture->LockRect(0, &locked, nullptr, D3DLOCK_READONLY) != D3D_OK) return bytes;
    for (uint32_t y = 0; y < texture->height; y++) {
        const uint8_t* row = static_cast<const uint8_t*>(locked.pBits) + y * locked.Pitch;
        bytes.insert(bytes.end(), row, row + texture->width * 4);
    }
    held->d3dTexture->UnlockRect(0);
    return bytes;
}

D3DFORMAT formatOf(DirectX9Context& context, Texture* texture) {
    auto* held = dynamic_cast<DirectX9Texture*>(context.textureResources[texture]);
    D3DSURFACE_DESC desc = {};
    if (held && held->d3dTexture) held->d3dTexture->GetLevelDesc(0, &desc);
    return desc.Format;
}

// Each row: a texture (rows `pitch` bytes apart, padding 0xEE that must not be
// read as pixels), the palette if any, and level 0 read back as B, G, R, A.
TEST_F(DirectX9Upload, FormatsBecomeOpaqueOrAlphaTextures) {
    std::vector<float> palette(256 * 4, 0.0f);
    palette[0] = 12.0f, palette[1] = 34.0f, palette[2] = 56.0f;
    palette[4] = 255.9f, palette[6] = 300.0f, palette[7] = 7.0f;  // truncated to the low byte, alpha ignored
    struct Row {
        uint32_t format, width, height, pitch;
        std::vector<uint8_t> pixels;
        const float* palette;
        D3DFORMAT d3dFormat;
        std::vector<uint8_t> expected;
    } rows[] = {
        {Index8, 3, 2, 4, {10, 20, 30, 0xEE, 40, 50, 60}, nullptr, D3DFMT_X8R8G8B8,
         {10, 10, 10, 255, 20, 20, 20, 255, 30, 30, 30, 255, 40, 40, 40, 255, 50, 50, 50, 255, 60, 60, 60, 255}},
        {Index8, 2, 1, 2, {1, 0}, palette.data(), D3DFMT_X8R8G8B8, {44, 0, 255, 255, 56, 34, 12, 255}},
        {RGBA8, 2, 1, 8, {1, 2, 3, 128, 200, 100, 50, 0}, nullptr, D3DFMT_A8R8G8B8, {3, 2, 1, 128, 50, 100, 200, 0}},
        {RGB8, 2, 2, 8, {1, 2, 3, 4, 5, 6, 0xEE, 0xEE, 7, 8, 9, 10, 11, 12}, nullptr, D3DFMT_X8R8G8B8,
         {3, 2, 1, 255, 6, 5, 4, 255, 9, 8, 7, 255, 12, 11, 10, 255}},
    };
    for (const Row& row : rows) {
        Texture* texture = makeTexture(row.format, row.width, row.height, row.pitch, row.pixels);
        ASSERT_TRUE(context->uploadTexture(texture, row.palette));
        EXPECT_EQ(formatOf(*context, texture), row.d3dFormat);
        EXPECT_EQ(readBack(*context, texture), row.expected);
        // A second upload refreshes the same texture in place.
        auto* held = dynamic_cast<DirectX9Texture*>(context->textureResources[texture]);
        IDirect3DTexture9* first = held->d3dTexture;
        texture->pixels[0] = 0;
        ASSERT_TRUE(context->uploadTexture(texture, row.palette));
        EXPECT_EQ(context->textureResources.size(), 1u);
        EXPECT_EQ(held->d3dTexture, first);
        EXPECT_NE(readBack(*context, texture), row.expected);
        delete held;
        context->textureResources.clear();
        delete texture;
    }
    Texture empty;  // without pixels: an entry without a Direct3D texture
    EXPECT_FALSE(context->uploadTexture(nullptr, nullptr));
    EXPECT_TRUE(context->uploadTexture(&empty, nullptr));
    auto* held = dynamic_cast<DirectX9Texture*>(context->textureResources[&empty]);
    ASSERT_NE(held, nullptr);
    EXPECT_EQ(held->d3dTexture, nullptr);
    delete held;
    context->textureResources.clear();
}

Mesh3D* makeTriangle(const char* name, float x, float y, float z, float nz) {
    auto* mesh = new Mesh3D();
    mesh->name = name;
    mesh->triangleCount = 1;
    mesh->vertices = static_cast<float*>(calloc(9, sizeof(float)));
    mesh->normals = static_cast<float*>(calloc(9, sizeof(float)));
    mesh->vertices[0] = x, mesh->vertices[1] = y, mesh->vertices[2] = z;
    mesh->normals[2] = nz;
    mesh->vertices[3] = 4, mesh->vertices[4] = 5, mesh->vertices[5] = -6;
    mesh->normals[3] = 1;
    return mesh;
}

std::vector<SceneVertex> readVertices(DirectX9Context& context, Object3D* object, size_t count) {
    std::vector<SceneVertex> vertices;
    auto* held = dynamic_cast<DirectX9Mesh3D*>(context.meshResources[object]);
    if (!held || !held->vertexBuffer) return vertices;
    void* data = nullptr;
    if (held->vertexBuffer->Lock(0, 0, &data, D3DLOCK_READONLY) != D3D_OK) return vertices;
    const auto* first = static_cast<const SceneVertex*>(data);
    vertices.assign(first, first + count);
    held->vertexBuffer->Unlock();
    return vertices;
}

TEST_F(DirectX9Upload, MeshIsMirroredInZWithCoordinatesFromTheStoredPosition) {
    Object3D root;
    Mesh3D* mesh = makeTriangle("Cone", 1, 2, 3, 1);
    root.children.push_back(nullptr);
    root.children.push_back(mesh);
    ASSERT_TRUE(context->uploadMesh(&root));
    // The plain node has no entry; its mesh child does.
    EXPECT_EQ(context->meshResources.count(&root), 0u);
    std::vector<SceneVertex> v = readVertices(*context, mesh, 3);
    ASSERT_EQ(v.size(), 3u);
    EXPECT_FLOAT_EQ(v[0].x, 1);
    EXPECT_FLOAT_EQ(v[0].y, 2);
    EXPECT_FLOAT_EQ(v[0].z, -3);
    EXPECT_FLOAT_EQ(v[0].nx, 0);
    EXPECT_FLOAT_EQ(v[0].ny, 0);
    EXPECT_FLOAT_EQ(v[0].nz, -1);
    EXPECT_FLOAT_EQ(v[0].u, -1.5f);
    EXPECT_FLOAT_EQ(v[0].v, 1);
    EXPECT_FLOAT_EQ(v[1].z, 6);
    EXPECT_FLOAT_EQ(v[1].u, 3);
    EXPECT_FLOAT_EQ(v[1].v, 4);
    EXPECT_FLOAT_EQ(v[1].nx, 1);

    // Uploading again reuses the buffer and rewrites it.
    auto* held = dynamic_cast<DirectX9Mesh3D*>(context->meshResources[mesh]);
    IDirect3DVertexBuffer9* buffer = held->vertexBuffer;
    mesh->vertices[0] = 7;
    ASSERT_TRUE(context->uploadMesh(mesh));
    EXPECT_EQ(held->vertexBuffer, buffer);
    EXPECT_FLOAT_EQ(readVertices(*context, mesh, 1)[0].x, 7);
    D3DVERTEXBUFFER_DESC desc = {};
    buffer->GetDesc(&desc);
    EXPECT_EQ(desc.Size, 96u);
    EXPECT_EQ(desc.FVF, DWORD(0x112));

    context->releaseDeviceResources();
    EXPECT_TRUE(context->meshResources.empty());
}

}  // namespace
}  // namespace vyr::test

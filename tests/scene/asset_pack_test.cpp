// The pack linked into the program, read the way start-up reads it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "app/null_context.h"
#include "scene/asset_loading.h"
#include "scene/asset_pack.h"
#include "scene/data_stream.h"
#include "scene/object3d.h"
#include "scene/project3d.h"
#include "scene/texture.h"

using namespace vyr::test;

namespace {

struct Extent {
    float min[3], max[3];
};

struct ExpectedMesh {
    const char* name;
    uint32_t triangles;
    Extent extent;
    bool slab;
};

struct ExpectedObject {
    const char* name;
    std::vector<ExpectedMesh> meshes;
};

const std::vector<ExpectedObject> kObjects = {
    {"gfx/Tarsel Logo.dae",
     {{"Cap_21_1", 2390, {{-1.781f, -0.392f, -0.113f}, {1.850f, 0.322f, -0.028f}}, true},
      {"Cap_2_1", 3202, {{-1.782f, -0.496f, -0.098f}, {-0.153f, 0.927f, -0.010f}}, true}}},
    {"gfx/VYR Logo.dae",
     {{"Cap_12_1", 1828, {{-1.493f, -1.371f, -0.028f}, {1.451f, 1.516f, 0.059f}}, true},
      {"Cap_23_1", 1828, {{-1.308f, -1.409f, -0.028f}, {1.636f, 1.479f, 0.051f}}, true}}},
    {"gfx/star.dae", {{"Cone", 60, {{-0.0054f, -0.0054f, -1.0f}, {0.0054f, 0.0054f, 1.0f}}, false}}},
};

Extent extentOf(const Mesh3D& m) {
    Extent e = {{INFINITY, INFINITY, INFINITY}, {-INFINITY, -INFINITY, -INFINITY}};
    for (uint32_t i = 0; i < m.triangleCount * 9; ++i) {
        e.min[i % 3] = std::fmin(e.min[i % 3], m.vertices[i]);
        e.max[i % 3] = std::fmax(e.max[i % 3], m.vertices[i]);
    }
    return e;
}

// Triangles not wound counter-clockwise as seen from where their normals point.
int windingFaults(const Mesh3D& m) {
    int faults = 0;
    for (uint32_t t = 0; t < m.triangleCount; ++t) {
        const float* p = &m.vertices[t * 9];
        const float* n = &m.normals[t * 9];
        double u[3], w[3];
        for (int a = 0; a < 3; ++a) u[a] = p[3 + a] - p[a], w[a] = p[6 + a] - p[a];
        double f[3] = {u[1] * w[2] - u[2] * w[1], u[2] * w[0] - u[0] * w[2], u[0] * w[1] - u[1] * w[0]};
        bool bad = false;
        for (int k = 0; k < 3; ++k)
            if (f[0] * n[k * 3] + f[1] * n[k * 3 + 1] + f[2] * n[k * 3 + 2] <= 0) bad = true;
        faults += bad;
    }
    return faults;
}

struct Walked {
    std::vector<Texture*> overlays;
    Project3D project;
    uint32_t materialCount = 99, textureCount = 0, objectCount = 0;
    std::vector<std::string> textureOrder, objectOrder;
    uint32_t end = 0;
    ~Walked() {
        for (Texture* t : overlays) delete t;
    }
};

// Reads the pack record by record, keeping the stored order that the
// project's maps lose.
void walk(Walked& w) {
    DataStream s;
    s.openMemoryRead(assetPackData(), assetPackSize());
    for (int i = 0; i < 3; ++i) {
        w.overlays.push_back(new Texture);
        w.overlays.back()->load(s);
    }
    const uint32_t projectStart = s.streamPosition();
    s.readU32(w.materialCount);
    s.readU32(w.textureCount);
    for (uint32_t i = 0; i < w.textureCount; ++i) {
        Texture t;
        t.load(s);
        w.textureOrder.push_back(t.name);
    }
    s.readU32(w.objectCount);
    for (uint32_t i = 0; i < w.objectCount; ++i) {
        Object3D* o = Object3D::createForNextRecord(s);
        if (!o) break;
        o->load(s);
        w.objectOrder.push_back(o->name);
        delete o;
    }
    w.end = s.streamPosition();
    // Then the project itself, the way loadAssets reads it.
    s.stepBack(w.end - projectStart);
    w.project.load(s);
    EXPECT_EQ(s.streamPosition(), w.end);
}

class AssetPack : public testing::Test {
protected:
    static void SetUpTestSuite() {
        walked = new Walked;
        walk(*walked);
    }
    static void TearDownTestSuite() {
        delete walked;
        walked = nullptr;
    }
    static Walked* walked;
};
Walked* AssetPack::walked = nullptr;

std::vector<Mesh3D*> packMeshes(Project3D& p) {
    std::vector<Mesh3D*> meshes;
    for (auto& e : p.objects)
        for (Object3D* c : e.second->children)
            if (auto* m = dynamic_cast<Mesh3D*>(c)) meshes.push_back(m);
    return meshes;
}

}  // namespace

TEST_F(AssetPack, TotalSizeAndTheStreamEndsExactlyThere) {
    EXPECT_EQ(assetPackSize(), 2089095u);
    EXPECT_EQ(walked->end, 2089095u);
}

TEST_F(AssetPack, OverlayTexturesInOrder) {
    struct {
        const char* name;
        uint32_t w, h;
    } expected[] = {{"gfx/stars.jpg", 512, 512}, {"gfx/pause.png", 128, 41}, {"gfx/vyroff.png", 128, 41}};
    ASSERT_EQ(walked->overlays.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        const Texture& t = *walked->overlays[i];
        EXPECT_EQ(t.name, expected[i].name);
        EXPECT_EQ(t.width, expected[i].w);
        EXPECT_EQ(t.height, expected[i].h);
        EXPECT_EQ(t.pitch, expected[i].w * 4);
        EXPECT_EQ(t.format, uint32_t(RGBA8));
        EXPECT_NE(t.pixels, nullptr);
    }
}

TEST_F(AssetPack, ProjectSectionsInStoredOrder) {
    EXPECT_EQ(walked->materialCount, 0u);
    EXPECT_EQ(walked->textureOrder, (std::vector<std::string>{"gfx/smap.jpg", "gfx/gradient.jpg"}));
    EXPECT_EQ(walked->objectOrder,
              (std::vector<std::string>{"gfx/Tarsel Logo.dae", "gfx/VYR Logo.dae", "gfx/star.dae"}));
    Project3D& p = walked->project;
    EXPECT_TRUE(p.materials.empty());
    const Texture* smap = p.findTexture("gfx/smap.jpg");
    const Texture* gradient = p.findTexture("gfx/gradient.jpg");
    ASSERT_TRUE(smap && gradient);
    EXPECT_EQ(smap->width, 256u);
    EXPECT_EQ(smap->height, 256u);
    EXPECT_EQ(smap->pitch, 1024u);
    EXPECT_EQ(gradient->width, 128u);
    EXPECT_EQ(gradient->height, 128u);
    EXPECT_EQ(gradient->pitch, 512u);
    EXPECT_EQ(smap->format, uint32_t(RGBA8));
    EXPECT_EQ(gradient->format, uint32_t(RGBA8));
}

TEST_F(AssetPack, ObjectsChildrenCountsAndExtents) {
    Project3D& p = walked->project;
    ASSERT_EQ(p.objects.size(), 3u);
    for (const ExpectedObject& eo : kObjects) {
        SCOPED_TRACE(eo.name);
        Object3D* o = p.findObject(eo.name);
        ASSERT_NE(o, nullptr);
        EXPECT_EQ(dynamic_cast<Mesh3D*>(o), nullptr);
        for (float v : o->vectors) EXPECT_EQ(v, 0.0f);
        ASSERT_EQ(o->children.size(), eo.meshes.size());
        for (size_t i = 0; i < eo.meshes.size(); ++i) {
            const ExpectedMesh& em = eo.meshes[i];
            SCOPED_TRACE(em.name);
            auto* m = dynamic_cast<Mesh3D*>(o->children[i]);
            ASSERT_NE(m, nullptr);
            EXPECT_EQ(m->name, em.name);
            EXPECT_EQ(m->triangleCount, em.triangles);
            EXPECT_TRUE(m->children.empty());
            for (float v : m->vectors) EXPECT_EQ(v, 0.0f);
            Extent e = extentOf(*m);
            for (int a = 0; a < 3; ++a) {
                EXPECT_NEAR(e.min[a], em.extent.min[a], 0.0005) << "axis " << a;
                EXPECT_NEAR(e.max[a], em.extent.max[a], 0.0005) << "axis " << a;
            }
        }
    }
    // Only top-level names are keys.
    EXPECT_EQ(p.findObject("Cone"), nullptr);
    EXPECT_EQ(p.findObject("Cap_21_1"), nullptr);
}

TEST_F(AssetPack, EveryNormalHasUnitLength) {
    for (Mesh3D* m : packMeshes(walked->project)) {
        int bad = 0;
        for (uint32_t i = 0; i < m->triangleCount * 3; ++i) {
            const float* n = &m->normals[i * 3];
            if (std::fabs(std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]) - 1.0f) > 1e-4f) ++bad;
        }
        EXPECT_EQ(bad, 0) << m->name;
    }
}

TEST_F(AssetPack, EveryTriangleIsWoundCounterClockwiseTowardItsNormals) {
    std::vector<Mesh3D*> meshes = packMeshes(walked->project);
    ASSERT_EQ(meshes.size(), 5u);
    for (Mesh3D* m : meshes) EXPECT_EQ(windingFaults(*m), 0) << m->name;
    // The check sees a single flipped triangle.
    Mesh3D* m = meshes[0];
    float* t = &m->vertices[9 * (m->triangleCount / 2)];
    std::swap_ranges(t, t + 3, t + 3);
    EXPECT_EQ(windingFaults(*m), 1);
    std::swap_ranges(t, t + 3, t + 3);
}

TEST_F(AssetPack, SlabFacesFaceStraightForwardAndBack) {
    for (Mesh3D* m : packMeshes(walked->project)) {
        if (m->name == "Cone") continue;
        Extent e = extentOf(*m);
        int front = 0, back = 0, wrong = 0, walls = 0;
        for (uint32_t t = 0; t < m->triangleCount; ++t) {
            const float* p = &m->vertices[t * 9];
            const float* n = &m->normals[t * 9];
            bool atFront = p[2] == e.max[2] && p[5] == e.max[2] && p[8] == e.max[2];
            bool atBack = p[2] == e.min[2] && p[5] == e.min[2] && p[8] == e.min[2];
            for (int k = 0; k < 3; ++k) {
                const float* c = &n[k * 3];
                if (atFront && !(c[0] == 0 && c[1] == 0 && c[2] == 1)) ++wrong;
                if (atBack && !(c[0] == 0 && c[1] == 0 && c[2] == -1)) ++wrong;
                // Bevels: neither flat nor straight up.
                if (!atFront && !atBack && std::fabs(c[2]) > 0.1f && std::fabs(c[2]) < 0.9f) ++walls;
            }
            front += atFront, back += atBack;
        }
        EXPECT_EQ(wrong, 0) << m->name;
        EXPECT_GT(front, 0) << m->name;
        EXPECT_GT(back, 0) << m->name;
        EXPECT_GT(walls, 0) << m->name << " has no bevelled walls";
    }
}

TEST_F(AssetPack, PicturesLookAsIntended) {
    auto stats = [](const Texture& t, double& mean, double& alpha0, double& alpha255) {
        size_t n = size_t(t.width) * t.height;
        double sum = 0;
        size_t a0 = 0, a255 = 0;
        for (size_t i = 0; i < n; ++i) {
            sum += t.pixels[i * 4] + t.pixels[i * 4 + 1] + t.pixels[i * 4 + 2];
            a0 += t.pixels[i * 4 + 3] == 0;
            a255 += t.pixels[i * 4 + 3] == 255;
        }
        mean = sum / (3.0 * n);
        alpha0 = double(a0) / n;
        alpha255 = double(a255) / n;
    };
    double mean, a0, a255;
    stats(*walked->overlays[0], mean, a0, a255);
    EXPECT_NEAR(mean, 2.0, 0.5) << "the star field is very dark";
    EXPECT_EQ(a255, 1.0);
    stats(*walked->overlays[1], mean, a0, a255);
    EXPECT_NEAR(a0, 0.39, 0.03);
    EXPECT_NEAR(a255, 0.18, 0.03);
    stats(*walked->overlays[2], mean, a0, a255);
    EXPECT_GT(a0, 0.5);
    EXPECT_GT(a255, 0.05);
    // The OFF letters are red.
    const Texture& off = *walked->overlays[2];
    for (size_t i = 0; i < size_t(off.width) * off.height; ++i)
        if (off.pixels[i * 4 + 3] > 0) {
            ASSERT_GT(off.pixels[i * 4], 150);
            ASSERT_LT(off.pixels[i * 4 + 1], 80);
        }
    const Texture& smap = *walked->project.findTexture("gfx/smap.jpg");
    stats(smap, mean, a0, a255);
    EXPECT_EQ(a255, 1.0);
    EXPECT_LT(mean, 80.0);
    const Texture& g = *walked->project.findTexture("gfx/gradient.jpg");
    stats(g, mean, a0, a255);
    EXPECT_EQ(a255, 1.0);
    for (uint32_t y = 1; y < g.height; ++y) ASSERT_EQ(memcmp(&g.pixels[y * g.pitch], g.pixels, g.pitch), 0) << y;
    // Black at the middle, brighter just left of it than at the left edge.
    const uint8_t* row = g.pixels;
    EXPECT_LT(row[64 * 4] + row[64 * 4 + 1] + row[64 * 4 + 2], 10);
    EXPECT_GT(row[63 * 4], row[0]);
    EXPECT_GT(row[127 * 4 + 2], row[64 * 4 + 2]);
}

namespace {

class RecordingContext : public NullContext {
public:
    bool uploadTexture(Texture* texture, const float* palette) override {
        uploads.push_back("texture " + texture->name + (palette ? " palette" : ""));
        return true;
    }
    bool uploadMesh(Object3D* object) override {
        uploads.push_back("mesh " + object->name);
        return true;
    }
    std::vector<std::string> uploads;
};

}  // namespace

TEST(LoadAssets, FillsTheOverlaySlotsAndTheProjectThenUploads) {
    SceneContent content;
    RecordingContext context;
    loadAssets(content, &context);
    ASSERT_TRUE(content.overlays[OverlayStars] && content.overlays[OverlayPause] && content.overlays[OverlayOff]);
    EXPECT_EQ(content.overlays[OverlayStars]->name, "gfx/stars.jpg");
    EXPECT_EQ(content.overlays[OverlayPause]->name, "gfx/pause.png");
    EXPECT_EQ(content.overlays[OverlayOff]->name, "gfx/vyroff.png");
    ASSERT_NE(content.project, nullptr);
    EXPECT_EQ(content.project->textures.size(), 2u);
    EXPECT_EQ(content.project->objects.size(), 3u);
    Object3D* star = content.project->findObject("gfx/star.dae");
    ASSERT_NE(star, nullptr);
    ASSERT_EQ(star->children.size(), 1u);
    EXPECT_EQ(star->children[0]->name, "Cone");
    const std::vector<std::string> expected = {
        "texture gfx/stars.jpg",    "texture gfx/pause.png",    "texture gfx/vyroff.png",
        "texture gfx/gradient.jpg", "texture gfx/smap.jpg",     "mesh gfx/Tarsel Logo.dae",
        "mesh gfx/VYR Logo.dae",    "mesh gfx/star.dae"};
    EXPECT_EQ(context.uploads, expected);

    // A reset device gets the very same objects again.
    Texture* first = content.overlays[0];
    context.uploads.clear();
    reuploadAssets(content, &context);
    EXPECT_EQ(context.uploads, expected);
    EXPECT_EQ(content.overlays[0], first);
    reuploadAssets(content, nullptr);
    releaseAssets(content);
    EXPECT_EQ(content.project, nullptr);
    EXPECT_EQ(content.overlays[2], nullptr);
}

TEST(LoadAssets, WithoutAContextNothingIsUploaded) {
    SceneContent content;
    loadAssets(content, nullptr);
    EXPECT_NE(content.project, nullptr);
    EXPECT_EQ(content.project->objects.size(), 3u);
    releaseAssets(content);
}

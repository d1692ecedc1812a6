// The pack linked into the program, read the way start-up reads it. What the
// packer checks on the sources (extents, unit normals, winding, flat faces)
// fails the build already; here: the records, their order and their use.
#include <gtest/gtest.h>

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

// Reads the pack record by record, keeping the stored order that the
// project's maps lose, then loads it the way loadAssets does.
TEST(AssetPack, RecordsInTheirStoredOrderToTheLastByte) {
    DataStream s;
    s.openMemoryRead(assetPackData(), assetPackSize());
    std::vector<std::string> records;  // "name widthxheight" for pictures, the name for objects
    auto readTexture = [&] {
        Texture t;
        EXPECT_TRUE(t.load(s));
        EXPECT_TRUE(t.pitch == t.width * 4 && t.format == RGBA8) << t.name;
        records.push_back(t.name + " " + std::to_string(t.width) + "x" + std::to_string(t.height));
    };
    for (int i = 0; i < 3; ++i) readTexture();
    const uint32_t projectStart = s.streamPosition();
    uint32_t materials = 99, count = 0;
    s.readU32(materials);
    EXPECT_EQ(materials, 0u);
    for (s.readU32(count); count > 0; --count) readTexture();
    for (s.readU32(count); count > 0; --count) {
        Object3D* o = Object3D::createForNextRecord(s);
        ASSERT_NE(o, nullptr);
        EXPECT_TRUE(o->load(s));
        records.push_back(o->name);
        delete o;
    }
    EXPECT_EQ(records, (std::vector<std::string>{"gfx/stars.jpg 512x512", "gfx/pause.png 128x41",
                                                  "gfx/vyroff.png 128x41", "gfx/smap.jpg 256x256",
                                                  "gfx/gradient.jpg 128x128", "gfx/Tarsel Logo.dae",
                                                  "gfx/VYR Logo.dae", "gfx/star.dae"}));
    EXPECT_EQ(s.streamPosition(), 2089095u);
    EXPECT_EQ(assetPackSize(), 2089095u);

    s.stepBack(s.streamPosition() - projectStart);
    Project3D project;
    EXPECT_TRUE(project.load(s));
    EXPECT_EQ(s.streamPosition(), 2089095u);
    // Top-level objects of meshes without children, named for the materials.
    const std::pair<const char*, std::vector<std::pair<const char*, uint32_t>>> parts[] = {
        {"gfx/Tarsel Logo.dae", {{"Cap_21_1", 2390}, {"Cap_2_1", 3202}}},
        {"gfx/VYR Logo.dae", {{"Cap_12_1", 1828}, {"Cap_23_1", 1828}}},
        {"gfx/star.dae", {{"Cone", 60}}}};
    for (const auto& [name, meshes] : parts) {
        Object3D* o = project.findObject(name);
        ASSERT_NE(o, nullptr) << name;
        EXPECT_EQ(dynamic_cast<Mesh3D*>(o), nullptr);
        ASSERT_EQ(o->children.size(), meshes.size());
        for (size_t i = 0; i < meshes.size(); ++i) {
            auto* m = dynamic_cast<Mesh3D*>(o->children[i]);
            ASSERT_NE(m, nullptr);
            EXPECT_EQ(m->name, meshes[i].first);
            EXPECT_EQ(m->triangleCount, meshes[i].second);
            EXPECT_TRUE(m->children.empty());
        }
    }
    EXPECT_EQ(project.findObject("Cone"), nullptr);  // only top-level names are keys
}

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

TEST(LoadAssets, FillsTheOverlaySlotsAndTheProjectThenUploads) {
    SceneContent content;
    loadAssets(content, nullptr);  // without a context nothing is uploaded
    EXPECT_EQ(content.project->objects.size(), 3u);
    releaseAssets(content);
    RecordingContext context;
    loadAssets(content, &context);
    ASSERT_TRUE(content.overlays[OverlayStars] && content.overlays[OverlayPause] && content.overlays[OverlayOff]);
    EXPECT_EQ(content.overlays[OverlayStars]->name, "gfx/stars.jpg");
    EXPECT_EQ(content.overlays[OverlayPause]->name, "gfx/pause.png");
    EXPECT_EQ(content.overlays[OverlayOff]->name, "gfx/vyroff.png");
    const std::vector<std::string> expected = {
        "texture gfx/stars.jpg",    "texture gfx/pause.png", "texture gfx/vyroff.png", "texture gfx/gradient.jpg",
        "texture gfx/smap.jpg",     "mesh gfx/Tarsel Logo.dae", "mesh gfx/VYR Logo.dae", "mesh gfx/star.dae"};
    EXPECT_EQ(context.uploads, expected);
    // The pictures are the intended ones: red OFF letters, a gradient black in the middle.
    const Texture& off = *content.overlays[OverlayOff];
    for (size_t i = 0; i < size_t(off.width) * off.height; ++i)
        ASSERT_TRUE(off.pixels[i * 4 + 3] == 0 || (off.pixels[i * 4] > 150 && off.pixels[i * 4 + 1] < 80)) << i;
    const uint8_t* row = content.project->findTexture("gfx/gradient.jpg")->pixels;
    EXPECT_LT(row[64 * 4] + row[64 * 4 + 1] + row[64 * 4 + 2], 10);
    EXPECT_GT(row[63 * 4], row[0]);

    // A reset device gets the very same objects again.
    Texture* first = content.overlays[0];
    context.uploads.clear();
    reuploadAssets(content, &context);
    EXPECT_EQ(context.uploads, expected);
    EXPECT_EQ(content.overlays[0], first);
    releaseAssets(content);
    EXPECT_EQ(content.project, nullptr);
    EXPECT_EQ(content.overlays[2], nullptr);
}

}  // namespace

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "allocation_counter.h"
#include "scene/data_stream.h"
#include "scene/object3d.h"
#include "scene/project3d.h"
#include "scene/texture.h"

using namespace vyr::test;

namespace {

void writeTexture(DataStream& s, const char* name, uint8_t fill) {
    Texture t;
    t.name = name;
    t.width = t.height = 2;
    t.pitch = 8;
    t.pixels = static_cast<uint8_t*>(malloc(16));
    memset(t.pixels, fill, 16);
    t.save(s);
}

void writeObject(DataStream& s, const char* name, uint32_t kind, float firstVector = 0) {
    if (kind == KindMesh) {
        Mesh3D m;
        m.name = name;
        m.vectors[0] = firstVector;
        m.save(s);
    } else {
        Object3D o;
        o.name = name;
        o.vectors[0] = firstVector;
        o.save(s);
    }
}

// A node record up to its child count; the children follow it.
void writeNode(DataStream& s, uint32_t kind, const char* name, uint32_t children) {
    s.writeU32(kind);
    s.writeString(name);
    for (int i = 0; i < 9; ++i) s.writeF32(0);
    s.writeU32(children);
}

void writeTextureHeader(DataStream& s, uint32_t width, uint32_t height, uint32_t pitch) {
    s.writeString("big");
    for (uint32_t v : {width, height, pitch, uint32_t(RGBA8)}) s.writeU32(v);
}

Project3D* loadFrom(DataStream& w, uint32_t* consumed = nullptr) {
    DataStream r;
    r.openMemoryRead(w.data(), w.streamPosition());
    Project3D* p = new Project3D;
    p->load(r);
    if (consumed) *consumed = r.streamPosition();
    return p;
}

}  // namespace

TEST(Project3D, TwelveZeroBytesAreAnEmptyProject) {
    const uint8_t zeros[16] = {};
    DataStream r;
    r.openMemoryRead(zeros, sizeof zeros);
    Project3D p;
    p.load(r);
    EXPECT_EQ(r.streamPosition(), 12u);
    EXPECT_TRUE(p.objects.empty());
    EXPECT_TRUE(p.materials.empty());
    EXPECT_TRUE(p.textures.empty());
}

TEST(Project3D, MaterialRecordIsReadWholeSoTheTexturesAfterItLineUp) {
    DataStream w;
    w.openMemoryWrite();
    w.writeU32(1);
    // The record by hand, in its odd order: the floats sit inside channel 3.
    w.writeString("steel");
    const char* names[] = {"gfx/a.jpg", "b", "gfx/c.jpg"};
    for (uint32_t c = 0; c < 3; ++c) {
        for (uint32_t i = 0; i < 4; ++i) w.writeU32(0xA0 + 16 * c + i);
        if (c == 2) w.writeF32(1.25f), w.writeF32(-4.0f);
        w.writeString(names[c]);
        w.writeFlag(c != 1);
    }
    w.writeU32(1);
    writeTexture(w, "gfx/after.jpg", 3);
    w.writeU32(0);
    uint32_t consumed = 0;
    Project3D* p = loadFrom(w, &consumed);
    EXPECT_EQ(consumed, w.streamPosition());
    ASSERT_EQ(p->materials.size(), 1u);
    const Material& m = *p->materials.at("steel");
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(m.channels[c].words[3], 0xA3u + 16 * c);
        EXPECT_EQ(m.channels[c].textureName, names[c]);
        EXPECT_EQ(m.channels[c].textured, c != 1);
    }
    EXPECT_EQ(m.value1, 1.25f);
    EXPECT_EQ(m.value2, -4.0f);
    ASSERT_NE(p->findTexture("gfx/after.jpg"), nullptr);
    EXPECT_EQ(p->findTexture("gfx/after.jpg")->pixels[15], 3);

    // Saving writes the same record back.
    DataStream again;
    again.openMemoryWrite();
    p->save(again);
    ASSERT_EQ(again.streamPosition(), w.streamPosition());
    EXPECT_EQ(memcmp(again.data(), w.data(), w.streamPosition()), 0);
    delete p;
}

TEST(Project3D, LaterDuplicateNameWinsAndTheEarlierIsDestroyed) {
    const long before = liveAllocations();
    {
        DataStream w;
        w.openMemoryWrite();
        w.writeU32(0);
        w.writeU32(3);
        writeTexture(w, "gfx/same.jpg", 1);
        writeTexture(w, "gfx/other.jpg", 2);
        writeTexture(w, "gfx/same.jpg", 9);
        w.writeU32(3);
        writeObject(w, "obj", KindMesh, 1.0f);
        writeObject(w, "obj", KindObject, 2.0f);
        writeObject(w, "x", KindObject);
        Project3D* p = loadFrom(w);
        ASSERT_EQ(p->textures.size(), 2u);
        EXPECT_EQ(p->findTexture("gfx/same.jpg")->pixels[0], 9);
        ASSERT_EQ(p->objects.size(), 2u);
        Object3D* obj = p->findObject("obj");
        EXPECT_EQ(obj->vectors[0], 2.0f);
        EXPECT_EQ(dynamic_cast<Mesh3D*>(obj), nullptr);
        delete p;
    }
    // Every block made while loading is gone again: the replaced ones too.
    EXPECT_EQ(liveAllocations(), before);
}

TEST(Project3D, KeysSortByUnsignedBytesPrefixFirst) {
    DataStream w;
    w.openMemoryWrite();
    w.writeU32(0);
    w.writeU32(0);
    const char* names[] = {"gfx/star.dae", "gfx/VYR Logo.dae", "gfx/\xC3\xA9", "gfx/Tarsel Logo.dae", "gfx/star",
                           "gfx/Star"};
    w.writeU32(6);
    for (const char* n : names) writeObject(w, n, KindObject);
    Project3D* p = loadFrom(w);
    std::vector<std::string> order;
    for (auto& e : p->objects) order.push_back(e.first);
    const std::vector<std::string> expected = {"gfx/Star", "gfx/Tarsel Logo.dae", "gfx/VYR Logo.dae", "gfx/star",
                                               "gfx/star.dae", "gfx/\xC3\xA9"};
    EXPECT_EQ(order, expected);
    EXPECT_NE(p->findObject("gfx/star"), nullptr);
    EXPECT_EQ(p->findObject("GFX/STAR"), nullptr);
    EXPECT_EQ(p->findObject("gfx/sta"), nullptr);
    EXPECT_EQ(p->findTexture("gfx/star"), nullptr);
    delete p;
}

TEST(Project3D, RecordNotReadWholeStopsLoadingAtAnyDepth) {
    // Each record sits between a "first" and a "last" one of its section; a
    // record that cannot be read stops loading and is not kept.
    struct Case {
        const char* what;
        bool texture;
        std::function<void(DataStream&)> write;
        bool whole;
    };
    const auto chain = [](uint32_t levels) {
        return [levels](DataStream& w) {
            for (uint32_t i = 1; i <= levels; ++i) writeNode(w, KindObject, "deep", i < levels);
        };
    };
    const Case cases[] = {
        {"unknown kind at top level", false, [](DataStream& w) { w.writeU32(5), w.writeString("lost"); }, false},
        {"unknown kind as the last child of a node under a mesh", false,
         [](DataStream& w) {
             writeNode(w, KindMesh, "mesh", 1);
             writeNode(w, KindObject, "node", 2);
             writeNode(w, KindObject, "leaf", 0);
             w.writeU32(7);  // the last child's kind, read as the triangle count if the stop is lost
             w.writeU32(0);
         },
         false},
        {"64 levels", false, chain(64), true},
        {"65 levels", false, chain(65), false},
        {"mesh arrays of 2^32 + 32 bytes each", false,
         [](DataStream& w) {
             writeNode(w, KindMesh, "mesh", 0);
             w.writeU32(0x071C71C8u);  // x 36 cut to 32 bits is 32
             for (int i = 0; i < 16; ++i) w.writeU32(0);
         },
         false},
        {"pixels of 2 x 0x80000008 bytes", true,
         [](DataStream& w) {
             writeTextureHeader(w, 2, 2, 0x80000008u);
             for (int i = 0; i < 4; ++i) w.writeU32(0);
         },
         false},
        {"image of 2^30 x 1 x 4 bytes", true, [](DataStream& w) { writeTextureHeader(w, 0x40000000u, 1, 0); }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DataStream w;
        w.openMemoryWrite();
        w.writeU32(0);
        w.writeU32(c.texture ? 3 : 0);
        if (c.texture) writeTexture(w, "first", 1), c.write(w), writeTexture(w, "last", 2);
        w.writeU32(c.texture ? 0 : 3);
        if (!c.texture) writeObject(w, "first", KindObject), c.write(w), writeObject(w, "last", KindObject);
        DataStream r;
        r.openMemoryRead(w.data(), w.streamPosition());
        Project3D p;
        EXPECT_EQ(p.load(r), c.whole);
        std::vector<std::string> names;
        if (c.texture)
            for (auto& e : p.textures) names.push_back(e.first);
        else
            for (auto& e : p.objects) names.push_back(e.first);
        if (c.whole)
            EXPECT_EQ(names.size(), 3u);
        else
            EXPECT_EQ(names, std::vector<std::string>{"first"});
    }
}

// Loading again, clearing, or a count of records that are not there leave no block behind.
TEST(Project3D, LoadAgainClearAndEmptyCountsLeaveNothingBehind) {
    DataStream w;
    w.openMemoryWrite();
    w.writeU32(0);
    w.writeU32(1);
    writeTexture(w, "gfx/a.jpg", 1);
    w.writeU32(1);
    writeObject(w, "a", KindMesh);
    const uint8_t promises[] = {0xFF, 0xFF, 0xFF, 0xFF, 2, 0, 0, 0};  // four billion materials, none there
    const long before = liveAllocations();
    {
        Project3D p;
        for (int i = 0; i < 3; ++i) {
            DataStream r;
            r.openMemoryRead(w.data(), w.streamPosition());
            EXPECT_TRUE(p.load(r));
        }
        EXPECT_EQ(p.objects.size(), 1u);
        EXPECT_EQ(p.textures.size(), 1u);
        p.clear();
        EXPECT_TRUE(p.objects.empty());
        DataStream r;
        r.openMemoryRead(promises, sizeof promises);
        EXPECT_FALSE(p.load(r));
        EXPECT_LE(p.materials.size(), 1u);
    }
    EXPECT_EQ(liveAllocations(), before);
}

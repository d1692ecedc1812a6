#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "scene/data_stream.h"
#include "scene/object3d.h"
#include "scene/texture.h"

using namespace vyr::test;

namespace {

std::vector<uint8_t> saved(const Object3D& o) {
    DataStream s;
    s.openMemoryWrite();
    o.save(s);
    return {s.data(), s.data() + s.streamPosition()};
}

Mesh3D* makeMesh(const char* name, const std::vector<float>& vertices, const std::vector<float>& normals) {
    Mesh3D* m = new Mesh3D;
    m->name = name;
    m->triangleCount = uint32_t(vertices.size() / 9);
    m->vertices = static_cast<float*>(malloc(vertices.size() * 4 + 1));
    m->normals = static_cast<float*>(malloc(normals.size() * 4 + 1));
    memcpy(m->vertices, vertices.data(), vertices.size() * 4);
    memcpy(m->normals, normals.data(), normals.size() * 4);
    return m;
}

uint32_t bits(float f) {
    uint32_t b;
    memcpy(&b, &f, 4);
    return b;
}

float fromBits(uint32_t b) {
    float f;
    memcpy(&f, &b, 4);
    return f;
}

}  // namespace

TEST(Object3D, LeafNodeRecordIsKindNameVectorsAndZeroChildren) {
    Object3D o;
    o.name = "n";
    std::vector<uint8_t> bytes = saved(o);
    ASSERT_EQ(bytes.size(), 4u + 4 + 2 + 36 + 4);
    EXPECT_EQ(bytes[0], 0);
    EXPECT_EQ(bytes[4], 2);
    EXPECT_EQ(bytes[8], 'n');
    EXPECT_EQ(bytes[9], 0);
    EXPECT_EQ(bytes.back(), 0);

    Mesh3D empty;
    std::vector<uint8_t> mesh = saved(empty);
    ASSERT_EQ(mesh.size(), 4u + 4 + 8 + 36 + 4 + 4);
    EXPECT_EQ(mesh[0], 1);
}

TEST(Object3D, TreeRoundTripKeepsNamesVectorsOrderKindsAndFloatBits) {
    // Odd float values whose bits a careless copy would change.
    const float nan = fromBits(0x7FC12345u);
    const float tiny = std::numeric_limits<float>::denorm_min();
    Object3D root;
    root.name = "gfx/root.dae";
    for (int i = 0; i < 9; ++i) root.vectors[i] = float(i) * 0.25f - 1.0f;
    Object3D* group = new Object3D;
    group->name = "group";
    group->children.push_back(makeMesh("deep", {0, 1, 2, 3, 4, 5, 6, 7, 8}, {nan, -0.0f, tiny, 1, 0, 0, 0, 0, 1}));
    root.children.push_back(group);
    root.children.push_back(makeMesh("Cap_2_1", {1.5f, -2, 3, 4, 5, 6, 7, 8, 9, -1, -2, -3, 0.1f, 0.2f, 0.3f, 1, 1, 1},
                                     {0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0, -1, 0, 0, -1, 0, 0, -1}));
    root.children.push_back(new Object3D);
    std::vector<uint8_t> bytes = saved(root);

    DataStream r;
    r.openMemoryRead(bytes.data(), bytes.size());
    Object3D* loaded = Object3D::createForNextRecord(r);
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(dynamic_cast<Mesh3D*>(loaded), nullptr);
    loaded->load(r);
    EXPECT_EQ(r.streamPosition(), bytes.size());
    // Saved again it gives the same bytes: names, vectors, order, kinds and float bits kept.
    ASSERT_EQ(loaded->children.size(), 3u);
    EXPECT_EQ(dynamic_cast<Mesh3D*>(loaded->children[0]), nullptr);
    auto* deep = dynamic_cast<Mesh3D*>(loaded->children[0]->children.at(0));
    ASSERT_NE(deep, nullptr);
    EXPECT_EQ(bits(deep->normals[0]), 0x7FC12345u);
    EXPECT_EQ(saved(*loaded), bytes);
    delete loaded;
}

TEST(Object3D, MeshArraysFollowTheChildrenVerticesBeforeNormals) {
    Mesh3D m;
    m.name = "m";
    m.children.push_back(new Object3D);
    Mesh3D* filled = makeMesh("x", {1, 1, 1, 1, 1, 1, 1, 1, 1}, {2, 2, 2, 2, 2, 2, 2, 2, 2});
    m.triangleCount = 1;
    std::swap(m.vertices, filled->vertices);
    std::swap(m.normals, filled->normals);
    delete filled;
    std::vector<uint8_t> bytes = saved(m);
    size_t child = 4 + 4 + 8 + 36 + 4;  // record of a plain node named "NOTHING"
    size_t arrays = 4 + 4 + 2 + 36 + 4 + child;
    ASSERT_EQ(bytes.size(), arrays + 4 + 72);
    uint32_t count;
    memcpy(&count, &bytes[arrays], 4);
    EXPECT_EQ(count, 1u);
    float first, normal;
    memcpy(&first, &bytes[arrays + 4], 4);
    memcpy(&normal, &bytes[arrays + 4 + 36], 4);
    EXPECT_EQ(first, 1.0f);
    EXPECT_EQ(normal, 2.0f);
}

TEST(Object3D, NameStoredWithBytesAfterItsNulSavesShorter) {
    Object3D source;
    source.name = "abc";
    std::vector<uint8_t> bytes = saved(source);
    // Widen the stored name to "ab\0zz\0" (6 bytes).
    std::vector<uint8_t> wide(bytes.begin(), bytes.begin() + 4);
    const uint8_t name[] = {6, 0, 0, 0, 'a', 'b', 0, 'z', 'z', 0};
    wide.insert(wide.end(), name, name + sizeof name);
    wide.insert(wide.end(), bytes.begin() + 12, bytes.end());
    DataStream r;
    r.openMemoryRead(wide.data(), wide.size());
    Object3D loaded;
    loaded.load(r);
    EXPECT_EQ(r.streamPosition(), wide.size());
    EXPECT_EQ(loaded.name, "ab");
    EXPECT_EQ(saved(loaded).size(), wide.size() - 3);
}

TEST(Mesh3D, LoadResetAndClearForgetWhatWasThere) {
    Mesh3D source;
    source.name = "second";
    std::vector<uint8_t> bytes = saved(source);
    Texture t;
    for (int way = 0; way < 2; ++way) {
        Mesh3D* m = makeMesh("first", {0, 1, 2, 3, 4, 5, 6, 7, 8}, {0, 0, 1, 0, 0, 1, 0, 0, 1});
        m->vectors[4] = 3;
        m->children.push_back(new Object3D);
        m->texture = &t;
        DataStream r;
        r.openMemoryRead(bytes.data(), bytes.size());
        way == 0 ? void(m->load(r)) : m->reset();
        EXPECT_EQ(m->name, way == 0 ? "second" : "NOTHING");
        EXPECT_EQ(m->vectors[4], 0.0f);
        EXPECT_EQ(m->children.size(), way == 0 ? 0u : 1u);  // reset leaves the children
        EXPECT_EQ(m->triangleCount, 0u);
        EXPECT_TRUE(way == 0 || m->vertices == nullptr);
        EXPECT_EQ(m->texture, nullptr);
        m->clear();
        EXPECT_TRUE(m->children.empty());
        delete m;
    }
}

TEST(Object3D, UnknownKindAmongChildrenStopsReading) {
    Object3D parent;
    parent.name = "p";
    parent.children.push_back(new Object3D);
    std::vector<uint8_t> bytes = saved(parent);
    bytes[4 + 4 + 2 + 36 + 4] = 7;  // the child's kind
    DataStream r;
    r.openMemoryRead(bytes.data(), bytes.size());
    Object3D loaded;
    loaded.load(r);
    EXPECT_EQ(loaded.name, "p");
    EXPECT_TRUE(loaded.children.empty());
    EXPECT_EQ(Object3D::createForNextRecord(r), nullptr);
}

TEST(Texture, RoundTripAndRecordLayout) {
    Texture t;
    t.name = "gfx/t.png";
    t.width = 2;
    t.height = 3;
    t.pitch = 8;
    t.format = RGBA8;
    t.pixels = static_cast<uint8_t*>(malloc(24));
    for (int i = 0; i < 24; ++i) t.pixels[i] = uint8_t(i * 11);
    DataStream w;
    w.openMemoryWrite();
    t.save(w);
    ASSERT_EQ(w.streamPosition(), 4u + 10 + 16 + 24);

    DataStream r;
    r.openMemoryRead(w.data(), w.streamPosition());
    Texture back;
    back.load(r);
    EXPECT_EQ(r.streamPosition(), w.streamPosition());
    EXPECT_EQ(back.name, "gfx/t.png");
    EXPECT_EQ(back.width, 2u);
    EXPECT_EQ(back.height, 3u);
    EXPECT_EQ(back.pitch, 8u);
    EXPECT_EQ(back.format, uint32_t(RGBA8));
    ASSERT_NE(back.pixels, nullptr);
    EXPECT_EQ(memcmp(back.pixels, t.pixels, 24), 0);
    EXPECT_EQ(back.converted, nullptr);
}

TEST(Texture, WidePitchConsumesHeightTimesPitch) {
    DataStream w;
    w.openMemoryWrite();
    w.writeString("wide");
    w.writeU32(1);   // width
    w.writeU32(2);   // height
    w.writeU32(16);  // pitch, more than width x 4
    w.writeU32(RGBA8);
    std::vector<uint8_t> rows(32, 0xAB);
    w.write(rows.data(), 1, rows.size());
    w.writeU32(0x5151);
    DataStream r;
    r.openMemoryRead(w.data(), w.streamPosition());
    Texture t;
    t.load(r);
    EXPECT_EQ(r.streamPosition(), 4u + 5 + 16 + 32);
    uint32_t after = 0;
    r.readU32(after);
    EXPECT_EQ(after, 0x5151u);
}

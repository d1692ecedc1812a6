// The scene's binary stream, its objects and its projects, read and written.
#include <gtest/gtest.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include "scene/data_stream.h"
#include "scene/object3d.h"
#include "scene/texture.h"
#include "allocation_counter.h"
#include "window/backend_window.h"
#include "scene/project3d.h"

using namespace vyr::test;
using namespace vyr::testing;

namespace {

std::vector<uint8_t> bytesOf(const DataStream& s) { return {s.data(), s.data() + s.streamPosition()}; }

// Streams opened on memory, to write or to read.
// A writer starts with the words given (a project's counts, say).
struct Writer : DataStream {
    Writer(std::initializer_list<uint32_t> words = {}) {
        openMemoryWrite();
        for (uint32_t word : words) writeU32(word);
    }
};
struct Reader : DataStream {
    Reader(const void* data, size_t size) { openMemoryRead(data, size); }
    explicit Reader(const DataStream& w) : Reader(w.data(), w.streamPosition()) {}
    explicit Reader(const std::vector<uint8_t>& bytes) : Reader(bytes.data(), bytes.size()) {}
};

std::vector<uint8_t> saved(const Object3D& o) {
    Writer s;
    o.save(s);
    return bytesOf(s);
}

// A float's bits, or a float from bits or from a saved record.
template <typename To>
To fromBytes(const void* at) {
    To to;
    memcpy(&to, at, sizeof to);
    return to;
}

void writeTexture(DataStream& s, const char* name, uint8_t fill) {
    std::unique_ptr<Texture> t(makeTexture(RGBA8, 2, 2, 8, std::vector<uint8_t>(16, fill)));
    t->name = name;
    t->save(s);
}

void writeObject(DataStream& s, const char* name, uint32_t kind, float firstVector = 0) {
    std::unique_ptr<Object3D> o(kind == KindMesh ? new Mesh3D : new Object3D);
    o->name = name;
    o->vectors[0] = firstVector;
    o->save(s);
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
    Reader r(w);
    Project3D* p = new Project3D;
    p->load(r);
    if (consumed) *consumed = r.streamPosition();
    return p;
}

}  // namespace

TEST(DataStream, PrimitivesAreLittleEndianAndReadBack) {
    Writer w;
    w.writeU32(0x11223344u);
    w.writeF32(-2.5f);
    w.writeFlag(true);
    w.writeString("gfx");
    const std::vector<uint8_t> expected = {0x44, 0x33, 0x22, 0x11, 0x00, 0x00, 0x20, 0xC0, 0x01,
                                           0x04, 0x00, 0x00, 0x00, 'g',  'f',  'x',  0x00};
    ASSERT_EQ(bytesOf(w), expected);

    Reader r(expected);
    uint32_t u = 0;
    float f = 0;
    bool flag = false;
    std::string text;
    EXPECT_TRUE(r.readU32(u) && r.readF32(f) && r.readFlag(flag) && r.readString(text));
    EXPECT_TRUE(u == 0x11223344u && f == -2.5f && flag) << u << " " << f;
    EXPECT_EQ(text, "gfx");
    EXPECT_EQ(r.streamPosition(), expected.size());
}

// Any non-zero flag byte is true; a string with a NUL inside yields the text
// before it and consumes all of its stored length.
TEST(DataStream, FlagsAndStringsAsStored) {
    const uint8_t bytes[] = {0, 7, 255, 7, 0, 0, 0, 'a', 'b', 0, 'c', 'd', 'e', 0, 0x2A, 0, 0, 0};
    Reader r(bytes, sizeof bytes);
    bool a = true, b = false, c = false;
    r.readFlag(a), r.readFlag(b), r.readFlag(c);
    EXPECT_TRUE(!a && b && c);
    std::string text;
    ASSERT_TRUE(r.readString(text));
    EXPECT_EQ(text, "ab");
    EXPECT_EQ(r.streamPosition(), 14u);
    uint32_t next = 0, again = 0;
    r.readU32(next);
    r.stepBack(4);  // and again after a step back, in memory
    r.readU32(again);
    EXPECT_TRUE(next == 0x2Au && again == 0x2Au) << next << " " << again;
}

TEST(DataStream, ReadsPastTheEndOrInOtherModesTransferNothing) {
    const uint8_t bytes[] = {1, 2, 3, 4, 5, 6};
    Reader r(bytes, sizeof bytes);
    uint32_t u = 0xDEADBEEF, v = 0xDEADBEEF;
    EXPECT_TRUE(r.readU32(u));
    EXPECT_FALSE(r.readU32(v));
    EXPECT_EQ(v, 0xDEADBEEFu);
    EXPECT_EQ(r.streamPosition(), 4u);
    // A stored string length that runs past the block leaves the text alone.
    const uint8_t liar[] = {200, 0, 0, 0, 'x', 0};
    r.openMemoryRead(liar, sizeof liar);
    std::string text = "kept";
    EXPECT_FALSE(r.readString(text));
    EXPECT_EQ(text, "kept");
    // Stepped back before the start: position + count must not wrap into the block.
    r.stepBack(8);
    EXPECT_FALSE(r.readU32(v));
    // Modes that do not read transfer nothing (closed, writing, an empty read); only
    // the writing one writes.
    DataStream s;
    for (int mode = 0; mode < 3; ++mode) {
        if (mode == 1) s.openMemoryWrite();
        if (mode == 2) s.openMemoryRead(nullptr, 0);
        u = 5;
        EXPECT_FALSE(s.readU32(u)) << mode;
        EXPECT_TRUE(u == 5u && s.streamPosition() == 0u) << mode;
        EXPECT_EQ(s.write(&u, 4, 1), mode == 1 ? 4u : 0u) << mode;
    }
}

TEST(DataStream, FileModesWriteReadAndStepBack) {
    std::string path = testing::TempDir() + "/stream" + std::to_string(getpid());
    DataStream w;
    ASSERT_TRUE(w.openFileWrite(path.c_str()));
    w.writeU32(77);
    w.writeString("name");
    w.writeU32(78);
    EXPECT_EQ(w.streamPosition(), 4u + 4 + 5 + 4);
    // Stepping back while writing overwrites in place.
    w.stepBack(4);
    w.writeU32(79);
    w.close();
    EXPECT_EQ(w.streamMode(), StreamMode::Closed);

    DataStream r;
    ASSERT_TRUE(r.openFileRead(path.c_str()));
    EXPECT_EQ(r.streamMode(), StreamMode::FileRead);
    uint32_t a = 0, again = 0, last = 0;
    std::string text;
    r.readU32(a);
    r.stepBack(4);
    r.readU32(again);
    r.readString(text);
    r.readU32(last);
    EXPECT_TRUE(a == 77u && again == 77u && last == 79u) << a << " " << again << " " << last;
    EXPECT_EQ(text, "name");
    EXPECT_EQ(r.streamPosition(), 17u);
    // In the file modes the position counts what was asked for.
    EXPECT_FALSE(r.readU32(last));
    EXPECT_EQ(r.streamPosition(), 21u);
    r.close();
    EXPECT_EQ(r.streamMode(), StreamMode::Closed);
    std::remove(path.c_str());
    EXPECT_FALSE(r.openFileRead("/nonexistent/dir/pack"));
    EXPECT_EQ(r.streamMode(), StreamMode::Closed);
}

// Kind, name, vectors, child count, then the children; a mesh's arrays follow
// its children, vertices before normals. A name stored with bytes after its NUL
// loads as the text before it and saves shorter.
TEST(Object3D, RecordLayout) {
    Object3D o;
    o.name = "n";
    std::vector<uint8_t> bytes = saved(o);
    ASSERT_EQ(bytes.size(), 4u + 4 + 2 + 36 + 4);
    EXPECT_TRUE(bytes[0] == 0 && bytes[4] == 2 && bytes[8] == 'n' && bytes[9] == 0 && bytes.back() == 0);
    Mesh3D* m = makeMesh("m", {1, 1, 1, 1, 1, 1, 1, 1, 1}, {2, 2, 2, 2, 2, 2, 2, 2, 2});
    m->children.push_back(new Object3D);
    bytes = saved(*m);
    delete m;
    EXPECT_EQ(bytes[0], 1);
    size_t arrays = 4 + 4 + 2 + 36 + 4 + (4 + 4 + 8 + 36 + 4);  // a child node named "NOTHING"
    ASSERT_EQ(bytes.size(), arrays + 4 + 72);
    const uint8_t* at = &bytes[arrays];  // the count, the first vertex, the first normal
    EXPECT_TRUE(fromBytes<uint32_t>(at) == 1 && fromBytes<float>(at + 4) == 1.0f && fromBytes<float>(at + 40) == 2.0f);

    o.name = "abc";
    bytes = saved(o);
    std::vector<uint8_t> wide(bytes.begin(), bytes.begin() + 4);  // the name widened to "ab\0zz\0"
    const uint8_t name[] = {6, 0, 0, 0, 'a', 'b', 0, 'z', 'z', 0};
    wide.insert(wide.end(), name, name + sizeof name);
    wide.insert(wide.end(), bytes.begin() + 12, bytes.end());
    Reader r(wide);
    Object3D loaded;
    loaded.load(r);
    EXPECT_EQ(r.streamPosition(), wide.size());
    EXPECT_EQ(loaded.name, "ab");
    EXPECT_EQ(saved(loaded).size(), wide.size() - 3);
}

TEST(Object3D, TreeRoundTripKeepsNamesVectorsOrderKindsAndFloatBits) {
    // Odd float values whose bits a careless copy would change.
    const uint32_t nanBits = 0x7FC12345u;
    const float nan = fromBytes<float>(&nanBits);
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

    Reader r(bytes);
    std::unique_ptr<Object3D> loaded(Object3D::createForNextRecord(r));
    ASSERT_NE(loaded, nullptr);
    loaded->load(r);
    EXPECT_EQ(r.streamPosition(), bytes.size());
    // Saved again it gives the same bytes: names, vectors, order, kinds and float bits
    // kept (unless saving itself changed the NaN's bits, as the load would see).
    ASSERT_EQ(loaded->children.size(), 3u);
    auto* deep = dynamic_cast<Mesh3D*>(loaded->children[0]->children.at(0));
    ASSERT_NE(deep, nullptr);
    EXPECT_EQ(fromBytes<uint32_t>(deep->normals), nanBits);
    EXPECT_EQ(saved(*loaded), bytes);
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
        Reader r(bytes);
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

// Saved and loaded again whole; a pitch wider than width x 4 is consumed as
// height x pitch, so the record after it lines up.
TEST(Texture, RoundTripAndWidePitch) {
    std::vector<uint8_t> pixels;
    for (int i = 0; i < 24; ++i) pixels.push_back(uint8_t(i * 11));
    std::unique_ptr<Texture> t(makeTexture(RGBA8, 1, 3, 8, pixels));
    t->name = "gfx/t.png";
    Writer w;
    t->save(w);
    ASSERT_EQ(w.streamPosition(), 4u + 10 + 16 + 24);
    w.writeU32(0x5151);
    Reader r(w);
    Texture back;
    back.load(r);
    EXPECT_EQ(r.streamPosition(), w.streamPosition() - 4);
    EXPECT_EQ(back.name, "gfx/t.png");
    EXPECT_TRUE(back.width == 1 && back.height == 3 && back.pitch == 8 && back.format == RGBA8);
    ASSERT_NE(back.pixels, nullptr);
    EXPECT_EQ(memcmp(back.pixels, pixels.data(), 24), 0);
    EXPECT_EQ(back.converted, nullptr);
    uint32_t after = 0;
    r.readU32(after);
    EXPECT_EQ(after, 0x5151u);
}

TEST(Project3D, MaterialRecordIsReadWholeSoTheTexturesAfterItLineUp) {
    Writer w{1};
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
    std::unique_ptr<Project3D> p(loadFrom(w, &consumed));
    EXPECT_EQ(consumed, w.streamPosition());
    ASSERT_EQ(p->materials.size(), 1u);
    const Material& m = *p->materials.at("steel");
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(m.channels[c].words[3], 0xA3u + 16 * c);
        EXPECT_EQ(m.channels[c].textureName, names[c]);
        EXPECT_EQ(m.channels[c].textured, c != 1);
    }
    EXPECT_TRUE(m.value1 == 1.25f && m.value2 == -4.0f) << m.value1 << " " << m.value2;
    ASSERT_NE(p->findTexture("gfx/after.jpg"), nullptr);
    EXPECT_EQ(p->findTexture("gfx/after.jpg")->pixels[15], 3);

    // Saving writes the same record back.
    Writer again;
    p->save(again);
    EXPECT_EQ(bytesOf(again), bytesOf(w));
}

TEST(Project3D, KeysSortByUnsignedBytesPrefixFirst) {
    Writer w{0, 0, 6};
    for (const char* n : {"gfx/star.dae", "gfx/VYR Logo.dae", "gfx/\xC3\xA9", "gfx/Tarsel Logo.dae", "gfx/star",
                          "gfx/Star"})
        writeObject(w, n, KindObject);
    std::unique_ptr<Project3D> p(loadFrom(w));
    std::vector<std::string> order;
    for (auto& e : p->objects) order.push_back(e.first);
    const std::vector<std::string> expected = {"gfx/Star", "gfx/Tarsel Logo.dae", "gfx/VYR Logo.dae", "gfx/star",
                                               "gfx/star.dae", "gfx/\xC3\xA9"};
    EXPECT_EQ(order, expected);
    EXPECT_NE(p->findObject("gfx/star"), nullptr);
    for (const char* other : {"GFX/STAR", "gfx/sta"}) EXPECT_EQ(p->findObject(other), nullptr) << other;
    EXPECT_EQ(p->findTexture("gfx/star"), nullptr);
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
        {"rows shorter than a row of pixels", true,
         [](DataStream& w) {
             writeTextureHeader(w, 4, 2, 8);  // RGBA8: 16 bytes a row
             for (int i = 0; i < 4; ++i) w.writeU32(0);
         },
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Writer w{0, c.texture ? 3u : 0u};
        if (c.texture) writeTexture(w, "first", 1), c.write(w), writeTexture(w, "last", 2);
        w.writeU32(c.texture ? 0 : 3);
        if (!c.texture) writeObject(w, "first", KindObject), c.write(w), writeObject(w, "last", KindObject);
        Reader r(w);
        Project3D p;
        EXPECT_EQ(p.load(r), c.whole);
        std::vector<std::string> names;
        for (auto& e : p.textures) names.push_back(e.first);
        for (auto& e : p.objects) names.push_back(e.first);
        if (c.whole)
            EXPECT_EQ(names.size(), 3u);
        else
            EXPECT_EQ(names, std::vector<std::string>{"first"});
    }
}

// A later record of the same name wins. Every block made while loading is gone
// again afterwards: the replaced records, and those of loading again, of
// clearing and of a count of records that are not there.
TEST(Project3D, LaterDuplicatesWinAndNothingIsLeftBehind) {
    const uint8_t promises[] = {0xFF, 0xFF, 0xFF, 0xFF, 2, 0, 0, 0};  // four billion materials, none there
    const uint8_t zeros[16] = {};  // twelve of them are an empty project
    const long before = liveAllocations();
    {
        Writer w{0, 3};
        writeTexture(w, "gfx/same.jpg", 1);
        writeTexture(w, "gfx/other.jpg", 2);
        writeTexture(w, "gfx/same.jpg", 9);
        w.writeU32(3);
        writeObject(w, "obj", KindMesh, 1.0f);
        writeObject(w, "obj", KindObject, 2.0f);
        writeObject(w, "x", KindObject);
        Project3D p;
        for (int i = 0; i < 3; ++i) {
            Reader r(w);
            EXPECT_TRUE(p.load(r));
        }
        ASSERT_EQ(p.textures.size(), 2u);
        EXPECT_EQ(p.findTexture("gfx/same.jpg")->pixels[0], 9);
        ASSERT_EQ(p.objects.size(), 2u);
        Object3D* obj = p.findObject("obj");
        EXPECT_EQ(obj->vectors[0], 2.0f);
        EXPECT_EQ(dynamic_cast<Mesh3D*>(obj), nullptr);
        p.clear();
        EXPECT_TRUE(p.objects.empty());
        Reader r(zeros, sizeof zeros);
        EXPECT_TRUE(p.load(r));
        EXPECT_EQ(r.streamPosition(), 12u);
        EXPECT_TRUE(p.objects.empty() && p.materials.empty() && p.textures.empty());
        r.openMemoryRead(promises, sizeof promises);
        EXPECT_FALSE(p.load(r));
        EXPECT_LE(p.materials.size(), 1u);
    }
    EXPECT_EQ(liveAllocations(), before);
}

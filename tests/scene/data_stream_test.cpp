#include "scene/data_stream.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

using namespace vyr::test;

namespace {

std::vector<uint8_t> bytesOf(const DataStream& s) { return {s.data(), s.data() + s.streamPosition()}; }

std::string tempPath(const char* name) {
    return std::string(testing::TempDir()) + "/" + name + std::to_string(::testing::UnitTest::GetInstance()->random_seed());
}

}  // namespace

TEST(DataStream, MemoryWriteGrowsByTwiceTheOldCapacityPlusTheWrite) {
    DataStream s;
    s.openMemoryWrite();
    uint8_t block[100] = {};
    EXPECT_EQ(s.write(block, 1, 4), 4u);
    EXPECT_EQ(s.streamCapacity(), 4u);
    EXPECT_EQ(s.write(block, 4, 1), 4u);
    EXPECT_EQ(s.streamCapacity(), 12u);
    EXPECT_EQ(s.write(block, 1, 100), 100u);
    EXPECT_EQ(s.streamCapacity(), 124u);
    EXPECT_EQ(s.streamPosition(), 108u);
}

TEST(DataStream, PrimitivesAreLittleEndianAndReadBack) {
    DataStream w;
    w.openMemoryWrite();
    w.writeU32(0x11223344u);
    w.writeF32(-2.5f);
    w.writeFlag(true);
    w.writeString("gfx");
    const std::vector<uint8_t> expected = {0x44, 0x33, 0x22, 0x11, 0x00, 0x00, 0x20, 0xC0, 0x01,
                                           0x04, 0x00, 0x00, 0x00, 'g',  'f',  'x',  0x00};
    ASSERT_EQ(bytesOf(w), expected);

    DataStream r;
    r.openMemoryRead(expected.data(), expected.size());
    uint32_t u = 0;
    float f = 0;
    bool flag = false;
    std::string text;
    EXPECT_TRUE(r.readU32(u));
    EXPECT_TRUE(r.readF32(f));
    EXPECT_TRUE(r.readFlag(flag));
    EXPECT_TRUE(r.readString(text));
    EXPECT_EQ(u, 0x11223344u);
    EXPECT_EQ(f, -2.5f);
    EXPECT_TRUE(flag);
    EXPECT_EQ(text, "gfx");
    EXPECT_EQ(r.streamPosition(), expected.size());
}

// Any non-zero flag byte is true; a string with a NUL inside yields the text
// before it and consumes all of its stored length.
TEST(DataStream, FlagsAndStringsAsStored) {
    const uint8_t bytes[] = {0, 7, 255, 7, 0, 0, 0, 'a', 'b', 0, 'c', 'd', 'e', 0, 0x2A, 0, 0, 0};
    DataStream r;
    r.openMemoryRead(bytes, sizeof bytes);
    bool a = true, b = false, c = false;
    r.readFlag(a), r.readFlag(b), r.readFlag(c);
    EXPECT_FALSE(a);
    EXPECT_TRUE(b && c);
    std::string text;
    ASSERT_TRUE(r.readString(text));
    EXPECT_EQ(text, "ab");
    EXPECT_EQ(r.streamPosition(), 14u);
    uint32_t next = 0;
    r.readU32(next);
    EXPECT_EQ(next, 0x2Au);
    r.stepBack(4);  // and again, in memory
    r.readU32(next);
    EXPECT_EQ(next, 0x2Au);
}

TEST(DataStream, MemoryReadPastTheEndTransfersNothing) {
    const uint8_t bytes[] = {1, 2, 3, 4, 5, 6};
    DataStream r;
    r.openMemoryRead(bytes, sizeof bytes);
    uint32_t u = 0xDEADBEEF;
    EXPECT_TRUE(r.readU32(u));
    uint32_t v = 0xDEADBEEF;
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
}

TEST(DataStream, ModesThatDoNotReadTransferNothing) {
    DataStream s;
    uint32_t u = 5;
    EXPECT_FALSE(s.readU32(u));  // Closed
    EXPECT_EQ(s.write(&u, 4, 1), 0u);
    s.openMemoryWrite();
    EXPECT_FALSE(s.readU32(u));
    EXPECT_EQ(u, 5u);
    EXPECT_EQ(s.streamPosition(), 0u);
    s.openMemoryRead(nullptr, 0);
    EXPECT_FALSE(s.readU32(u));
    EXPECT_EQ(s.streamPosition(), 0u);
    EXPECT_EQ(s.write(&u, 4, 1), 0u);
}

TEST(DataStream, FileModesWriteReadAndStepBack) {
    std::string path = tempPath("stream");
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
    EXPECT_EQ(a, 77u);
    EXPECT_EQ(again, 77u);
    EXPECT_EQ(text, "name");
    EXPECT_EQ(last, 79u);
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


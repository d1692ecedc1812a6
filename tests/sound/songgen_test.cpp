// The soundtrack that the build renders, and songgen's own checks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "common/child_process.h"

namespace vyr::testing {
namespace {

std::string buildDir() { return getenv("VYR_BUILD_DIR"); }

// The 44-byte header of a WAV file that holds nothing but that many bytes of
// 16-bit mono PCM at 22050 Hz: "RIFF" and its size, "WAVE", a 16-byte "fmt "
// chunk (PCM, one channel, 22050 Hz, 44100 bytes a second, 2 a frame, 16 bits),
// "data" and its size; the numbers little-endian, as on the host.
std::string wavHeader(uint32_t dataBytes) {
    std::string header("RIFF\0\0\0\0WAVEfmt \x10\0\0\0\x01\0\x01\0\x22\x56\0\0\x44\xAC\0\0"
                       "\x02\0\x10\0data\0\0\0\0", 44);
    const uint32_t riffBytes = 36 + dataBytes;
    memcpy(&header[4], &riffBytes, 4);
    memcpy(&header[40], &dataBytes, 4);
    return header;
}

// The samples after that header.
std::vector<int16_t> samplesOf(const std::string& wav) {
    std::vector<int16_t> samples(wav.size() > 44 ? (wav.size() - 44) / 2 : 0);
    memcpy(samples.data(), wav.data() + 44, samples.size() * 2);
    return samples;
}

// A 16-bit mono WAV at 22 kHz of 8 to 16 s, not silent, not clipping, whose
// end joins its start: played in a loop, the step from the last sample to the
// first must be no larger than the steps inside the file, or the loop clicks.
TEST(Soundtrack, IsALoopingMonoWav) {
    std::string wav = readWholeFile(buildDir() + "/share/vyr/sounds/soundtrack.wav");
    ASSERT_GT(wav.size(), 44u);
    EXPECT_EQ(wav.substr(0, 44), wavHeader(uint32_t(wav.size() - 44)));
    double seconds = double(wav.size() - 44) / 44100;
    EXPECT_TRUE(seconds >= 8.0 && seconds <= 16.0) << seconds;
    std::vector<int16_t> s = samplesOf(wav);
    int peak = 0, largestStep = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        peak = std::max(peak, std::abs(int(s[i])));
        if (i) largestStep = std::max(largestStep, std::abs(s[i] - s[i - 1]));
    }
    EXPECT_TRUE(peak > 8000 && peak < 32767) << peak;
    int join = std::abs(s.front() - s.back());
    EXPECT_LE(join, largestStep);
    EXPECT_LT(join, 1000) << "first " << s.front() << ", last " << s.back();
}

class Songgen : public ::testing::Test {
protected:
    int render(const std::string& description) {
        writeWholeFile(dir / "song.txt", description);
        return runChild({SONGGEN_PROGRAM, dir / "song.txt", dir / "out.wav"}).exitCode;
    }
    TempDir dir;
};

TEST_F(Songgen, RendersTheMelodysLength) {
    // 8 beats at 60 per minute: 8 s.
    ASSERT_EQ(render("tempo 60\ndrone D3 0.2\nmelody D4/2 F4/2 A4/3 -/1\n"), 0);
    std::string wav = readWholeFile(dir / "out.wav");
    EXPECT_EQ(wav.substr(0, 44), wavHeader(8 * 22050 * 2));
    ASSERT_EQ(wav.size(), 44u + 8 * 22050 * 2);
    std::vector<int16_t> s = samplesOf(wav);
    // The last note rings over the end and on into the start.
    EXPECT_LT(std::abs(s.front() - s.back()), 1000);
}

// Each note at its pitch: the zero crossings of its second second.
TEST_F(Songgen, NotesSoundAtTheirPitch) {
    for (auto [note, hertz] : {std::pair{"A4", 440.0}, {"F4", 349.23}, {"C5", 523.25}, {"G3", 196.0}}) {
        ASSERT_EQ(render(std::string("tempo 60\nmelody ") + note + "/8 " + note + "/4\n"), 0);
        std::vector<int16_t> s = samplesOf(readWholeFile(dir / "out.wav"));
        ASSERT_GE(s.size(), 44100u);
        int crossings = 0;
        for (size_t i = 22050; i < 44100; ++i) crossings += (s[i - 1] < 0) != (s[i] < 0);
        EXPECT_NEAR(crossings / 2.0, hertz, 2.0) << note;
    }
}

// Loops outside 8 to 16 s, unknown notes, missing lengths, unknown words, no melody.
TEST_F(Songgen, RefusesWhatItCannotRender) {
    for (const char* song : {"tempo 60\nmelody A4/4 A4/3\n", "tempo 60\nmelody A4/10 A4/7\n",
                             "tempo 60\nmelody H4/8 A4/4\n", "tempo 60\nmelody A4 A4/12\n",
                             "tempo 60\nreverb 3\nmelody A4/12\n", "tempo 60\n"})
        EXPECT_NE(render(song), 0) << song;
}

}  // namespace
}  // namespace vyr::testing

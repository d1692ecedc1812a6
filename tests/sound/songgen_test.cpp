// The soundtrack that the build renders, and songgen's own checks.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>

#include "sound/wav_reader.h"

namespace vyr::testing {
namespace {

std::string buildDir() {
    const char* build = getenv("VYR_BUILD_DIR");
    return build ? build : ".";
}

TEST(Soundtrack, IsA16BitMonoWavAt22kHz) {
    WavFile wav = readWav(buildDir() + "/share/vyr/sounds/soundtrack.wav");
    ASSERT_TRUE(wav.valid);
    EXPECT_EQ(wav.format, 1);  // PCM
    EXPECT_EQ(wav.channels, 1);
    EXPECT_EQ(wav.rate, 22050u);
    EXPECT_EQ(wav.bitsPerSample, 16);
    EXPECT_EQ(wav.blockAlign, 2);
    EXPECT_EQ(wav.byteRate, 44100u);
    EXPECT_EQ(wav.riffSize + 8, wav.fileSize);
    EXPECT_EQ(wav.fileSize, 44 + wav.data.size());
}

TEST(Soundtrack, LastsEightToSixteenSeconds) {
    WavFile wav = readWav(buildDir() + "/share/vyr/sounds/soundtrack.wav");
    ASSERT_TRUE(wav.valid);
    double seconds = double(wav.data.size()) / wav.byteRate;
    EXPECT_GE(seconds, 8.0);
    EXPECT_LE(seconds, 16.0);
    EXPECT_LT(wav.fileSize, 1u << 20);
}

TEST(Soundtrack, IsNotSilentAndDoesNotClip) {
    std::vector<int16_t> s = readWav(buildDir() + "/share/vyr/sounds/soundtrack.wav").samples();
    ASSERT_FALSE(s.empty());
    int peak = 0;
    for (int16_t v : s) peak = std::max(peak, std::abs(int(v)));
    EXPECT_GT(peak, 8000);
    EXPECT_LT(peak, 32767);
}

// Played in a loop, the last sample is followed by the first: that step must
// be no larger than the steps inside the file, or the loop clicks.
TEST(Soundtrack, TheEndJoinsTheStart) {
    std::vector<int16_t> s = readWav(buildDir() + "/share/vyr/sounds/soundtrack.wav").samples();
    ASSERT_GT(s.size(), 2u);
    int largestStep = 0;
    for (size_t i = 1; i < s.size(); ++i) largestStep = std::max(largestStep, std::abs(s[i] - s[i - 1]));
    int join = std::abs(s.front() - s.back());
    EXPECT_LE(join, largestStep);
    EXPECT_LT(join, 1000) << "first " << s.front() << ", last " << s.back();
}

class Songgen : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/vyr-songgen.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override {
        unlink((dir + "/song.txt").c_str());
        unlink((dir + "/out.wav").c_str());
        rmdir(dir.c_str());
    }
    int render(const std::string& description) {
        std::ofstream(dir + "/song.txt") << description;
        std::string command = std::string(SONGGEN_PROGRAM) + " " + dir + "/song.txt " + dir + "/out.wav 2>/dev/null";
        int status = system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string dir;
};

TEST_F(Songgen, RendersTheMelodysLength) {
    // 8 beats at 60 per minute: 8 s.
    ASSERT_EQ(render("tempo 60\ndrone D3 0.2\nmelody D4/2 F4/2 A4/3 -/1\n"), 0);
    WavFile wav = readWav(dir + "/out.wav");
    ASSERT_TRUE(wav.valid);
    EXPECT_EQ(wav.data.size(), 8u * 22050 * 2);
    std::vector<int16_t> s = wav.samples();
    // The last note rings over the end and on into the start.
    EXPECT_LT(std::abs(s.front() - s.back()), 1000);
}

TEST_F(Songgen, RefusesLoopsOutsideEightToSixteenSeconds) {
    EXPECT_NE(render("tempo 60\nmelody A4/4 A4/3\n"), 0);
    EXPECT_NE(render("tempo 60\nmelody A4/10 A4/7\n"), 0);
}

TEST_F(Songgen, RefusesWhatItDoesNotKnow) {
    EXPECT_NE(render("tempo 60\nmelody H4/8 A4/4\n"), 0);
    EXPECT_NE(render("tempo 60\nmelody A4 A4/12\n"), 0);
    EXPECT_NE(render("tempo 60\nreverb 3\nmelody A4/12\n"), 0);
    EXPECT_NE(render("tempo 60\n"), 0);
}

}  // namespace
}  // namespace vyr::testing

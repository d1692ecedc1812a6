#include <gtest/gtest.h>

#include <vector>

#include "null_context.h"
#include "render/demo_scene.h"

using namespace vyr::test;

TEST(DemoScene, NoiseValues) {
    EXPECT_EQ(noise31(0), 1376312589u);
    EXPECT_EQ(noise31(1), 1316808037u);
    for (uint32_t n : {0u, 1u, 4096u, 12895u}) {
        EXPECT_GE(noiseUnit(n), 0.0f);
        EXPECT_LT(noiseUnit(n), 1.0f);
    }
}

TEST(DemoScene, FourCandidatesLeaveTheLineOfSightFree) {
    std::vector<int> skipped;
    StarPosition p;
    for (int k = 0; k < starCandidates; ++k)
        if (!starPosition(k, 0.0f, p)) skipped.push_back(k);
    EXPECT_EQ(skipped, (std::vector<int>{118, 645, 774, 796}));
}

TEST(DemoScene, CandidateZeroMovesAndWraps) {
    StarPosition p;
    ASSERT_TRUE(starPosition(0, 0.0f, p));
    EXPECT_NEAR(p.x, 1.3460407f, 1e-6);
    EXPECT_NEAR(p.y, -2.8555474f, 1e-6);
    EXPECT_NEAR(p.z, -24.670328f, 1e-5);
    ASSERT_TRUE(starPosition(0, 4.0f, p));
    EXPECT_NEAR(p.z, -12.670328f, 1e-5);
    ASSERT_TRUE(starPosition(0, 10.0f, p));  // 30 units nearer, wrapped
    EXPECT_NEAR(p.z, -24.670328f + 30.0f - 36.0f, 1e-4);
}

TEST(DemoScene, LogoAlphaTable) {
    struct Row { float a, front, back; };
    for (Row r : {Row{0, 1, 0}, Row{90, 0.8f, 0.2f}, Row{92, 0.6f, 0.4f}, Row{93, 0, 1},
                  Row{270, 0.5f, 0.5f}, Row{274, 1, 0}, Row{275, 1, 0}, Row{360 + 90, 0.8f, 0.2f}}) {
        float front = -1, back = -1;
        logoAlphas(r.a, front, back);
        EXPECT_NEAR(front, r.front, 1e-6) << "a = " << r.a;
        EXPECT_NEAR(back, r.back, 1e-6) << "a = " << r.a;
    }
}

// A microsecond stays a microsecond however long the machine has been up.
TEST(DemoScene, SceneClockKeepsItsResolutionAtLargeCounts) {
    for (uint64_t base : {0ull, 604800000000000ull, 1ull << 62}) {
        EXPECT_DOUBLE_EQ(counterSeconds(base + 1000, base, 1000000000ull), 1e-6) << base;
        EXPECT_DOUBLE_EQ(counterSeconds(base + 2500000, base, 10000000ull), 0.25) << base;
    }
}

TEST(DemoScene, PauseFreezesAndResumeContinues) {
    NullContext context;
    sceneClock();
    sceneStart = sceneClock();
    context.pauseState = PauseRequested;
    completePauseTransition(context);
    EXPECT_EQ(context.pauseState, Paused);
    double frozen = pauseTime;
    float t = animationTime(context);
    EXPECT_FLOAT_EQ(t, float(frozen - sceneStart));
    completePauseTransition(context);  // already paused: time stays frozen
    EXPECT_EQ(pauseTime, frozen);
    double before = sceneStart;
    context.pauseState = Running;
    resumeSceneClock();
    EXPECT_GE(sceneStart, before);
    EXPECT_NEAR(animationTime(context), t, 0.05);
}

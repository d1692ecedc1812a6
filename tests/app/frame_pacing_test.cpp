#include <gtest/gtest.h>

#include <string>

#include "null_context.h"
#include "render/timer.h"

using namespace vyr::test;

TEST(PaceFrame, SixtyGivesSixteenMillisecondGrid) {
    NullContext context;
    context.frameLimit = 60;
    context.paceFrame(100);  // late: snaps to the grid at or before now
    EXPECT_EQ(context.nextFrameDue, 96u + 16u);
    context.paceFrame(105);  // early: sleeps until 112, then schedules 128
    EXPECT_EQ(context.nextFrameDue, 128u);
    context.paceFrame(128);  // exactly due: no sleep
    EXPECT_EQ(context.nextFrameDue, 144u);
}

TEST(PaceFrame, LateFrameMovesTheGridWithoutBurst) {
    NullContext context;
    context.frameLimit = 60;
    context.nextFrameDue = 112;
    context.paceFrame(212);  // 100 ms late
    EXPECT_EQ(context.nextFrameDue, 208u + 16u);
    context.paceFrame(213);  // the next frame still waits for its slot
    EXPECT_EQ(context.nextFrameDue, 240u);
}

TEST(PaceFrame, LimitsAboveOneThousandRunUnpaced) {
    NullContext context;
    context.frameLimit = 1000;
    context.paceFrame(7);
    EXPECT_EQ(context.nextFrameDue, 8u);
    context.frameLimit = 1001;  // interval 0: no remainder by zero, no schedule
    context.nextFrameDue = 0;
    context.paceFrame(7);
    EXPECT_EQ(context.nextFrameDue, 0u);
}

TEST(CountFrame, FirstFrameOnlyOpensTheWindows) {
    NullContext context;
    context.reportInterval = 5;
    testing::internal::CaptureStdout();
    context.countFrame(1234);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(context.reportDeadline, 5000u);
    EXPECT_EQ(context.secondDeadline, 2000u);
    EXPECT_EQ(context.reportFrames, 0u);
    EXPECT_EQ(context.secondFrames, 0u);
    EXPECT_EQ(context.currentFrameRate, 0u);
}

TEST(CountFrame, CurrentRateTruncates) {
    NullContext context;
    context.countFrame(999);  // opens the window ending at 1000
    for (int i = 0; i < 59; ++i) context.countFrame(1000);
    context.countFrame(1005);  // 60 frames, 5 ms late: 60999 / 1005 = 60.69
    EXPECT_EQ(context.currentFrameRate, 60u);
    EXPECT_EQ(context.secondDeadline, 2000u);
    EXPECT_EQ(context.secondFrames, 0u);
}

TEST(CountFrame, ReportEveryPeriodWithItsNumbers) {
    NullContext context;
    context.reportInterval = 5;
    testing::internal::CaptureStdout();
    for (uint64_t t = 10; t <= 5000; t += 10) context.countFrame(t);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    testing::internal::CaptureStdout();
    context.countFrame(5010);  // crosses the deadline: counted in the window it closes
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Produced 500 frames in the last 5010 ms: average FPS 99.800\n");
    EXPECT_EQ(context.reportDeadline, 10000u);
    // The next window starts at its grid boundary, 5000.
    testing::internal::CaptureStdout();
    for (uint64_t t = 5020; t <= 10010; t += 10) context.countFrame(t);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Produced 500 frames in the last 5010 ms: average FPS 99.800\n");
}

TEST(CountFrame, PauseShowsInTheNextAverage) {
    NullContext context;
    context.reportInterval = 5;
    testing::internal::CaptureStdout();
    context.countFrame(100);
    context.countFrame(200);
    context.countFrame(15100);  // ten seconds and more without frames
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Produced 2 frames in the last 15100 ms: average FPS 0.132\n");
}

TEST(CountFrame, ReportIntervalZeroPrintsNothing) {
    NullContext context;
    testing::internal::CaptureStdout();
    for (uint64_t t = 0; t < 30000; t += 7) context.countFrame(t);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(context.reportFrames, 0u);
    EXPECT_GT(context.currentFrameRate, 0u);
}

// Long uptimes must not overflow: a nanosecond count times 1000 wraps after 213 days.
TEST(ElapsedMs, CounterToWholeMilliseconds) {
    struct Case { uint64_t ticks, frequency, ms; } cases[] = {
        {0, 1000000000ull, 0},
        {1999999, 1000000000ull, 1},
        {20000000000000000ull, 1000000000ull, 20000000000ull},  // 231 days of nanoseconds
        {18446744073709551615ull, 1000000000ull, 18446744073709ull},
        {10000000, 10000000ull, 1000},  // a 10 MHz counter
        {12345, 0, 0},                  // no counter
    };
    for (const Case& c : cases) EXPECT_EQ(counterMs(c.ticks, c.frequency), c.ms) << c.ticks;
}

TEST(ElapsedMs, StartsWithTheContext) {
    NullContext context;
    EXPECT_LT(context.elapsedMs(), 1000u);
    EXPECT_TRUE(context.frameTimer.running);
}

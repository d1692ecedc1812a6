#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "null_context.h"
#include "render/frame_statistics.h"
#include "render/timer.h"

using namespace vyr::test;

// Each row: the frame's time, the sleep the limiter asks for, the next due time.
TEST(PaceFrame, GridSleepsAndLateFrames) {
    struct Step { uint64_t now, sleep, due; };
    struct Case { const char* what; uint64_t limit, firstDue; std::vector<Step> steps; } cases[] = {
        {"60 gives a 16 ms grid, never 16.67", 60, 0,
         {{100, 0, 96 + 16}, {105, 7, 128}, {128, 0, 144}}},
        {"100 ms late: the grid moves, no burst follows", 60, 112, {{212, 0, 208 + 16}, {213, 11, 240}}},
        {"1000 is a 1 ms grid", 1000, 0, {{7, 0, 8}}},
        {"above 1000 runs unpaced", 1001, 0, {{7, 0, 0}, {8, 0, 0}}},
    };
    for (const Case& c : cases) {
        FrameStatistics statistics;
        statistics.nextFrameDue = c.firstDue;
        for (const Step& s : c.steps) {
            EXPECT_EQ(statistics.paceFrame(s.now, c.limit), s.sleep) << c.what << " at " << s.now;
            EXPECT_EQ(statistics.nextFrameDue, s.due) << c.what << " at " << s.now;
        }
    }
}

TEST(CountFrame, FirstFrameOnlyOpensTheWindows) {
    FrameStatistics statistics;
    testing::internal::CaptureStdout();
    statistics.countFrame(1234, 5);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(statistics.reportDeadline, 5000u);
    EXPECT_EQ(statistics.secondDeadline, 2000u);
    EXPECT_EQ(statistics.reportFrames, 0u);
    EXPECT_EQ(statistics.secondFrames, 0u);
    EXPECT_EQ(statistics.currentFrameRate, 0u);
}

TEST(CountFrame, CurrentRateTruncates) {
    FrameStatistics statistics;
    statistics.countFrame(999, 0);  // opens the window ending at 1000
    for (int i = 0; i < 59; ++i) statistics.countFrame(1000, 0);
    statistics.countFrame(1005, 0);  // 60 frames, 5 ms late: 60999 / 1005 = 60.69
    EXPECT_EQ(statistics.currentFrameRate, 60u);
    EXPECT_EQ(statistics.secondDeadline, 2000u);
    EXPECT_EQ(statistics.secondFrames, 0u);
}

// Frames every 10 ms from `from` to `to`; returns what was printed.
std::string countEvery10Ms(FrameStatistics& statistics, uint64_t from, uint64_t to, uint64_t interval = 5) {
    testing::internal::CaptureStdout();
    for (uint64_t t = from; t <= to; t += 10) statistics.countFrame(t, interval);
    return testing::internal::GetCapturedStdout();
}

TEST(CountFrame, ReportEveryPeriodWithItsNumbers) {
    FrameStatistics statistics;
    EXPECT_EQ(countEvery10Ms(statistics, 10, 5000), "");
    // The frame that crosses the deadline is counted in the window it closes.
    EXPECT_EQ(countEvery10Ms(statistics, 5010, 5010), "Produced 500 frames in the last 5010 ms: average FPS 99.800\n");
    EXPECT_EQ(statistics.reportDeadline, 10000u);
    // The next window starts at its grid boundary, 5000.
    EXPECT_EQ(countEvery10Ms(statistics, 5020, 10010),
              "Produced 500 frames in the last 5010 ms: average FPS 99.800\n");
}

TEST(CountFrame, PauseShowsInTheNextAverage) {
    FrameStatistics statistics;
    testing::internal::CaptureStdout();
    statistics.countFrame(100, 5);
    statistics.countFrame(200, 5);
    statistics.countFrame(15100, 5);  // ten seconds and more without frames
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Produced 2 frames in the last 15100 ms: average FPS 0.132\n");
}

TEST(CountFrame, ReportIntervalZeroPrintsNothing) {
    FrameStatistics statistics;
    EXPECT_EQ(countEvery10Ms(statistics, 0, 30000, 0), "");
    EXPECT_EQ(statistics.reportFrames, 0u);
    EXPECT_GT(statistics.currentFrameRate, 0u);
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

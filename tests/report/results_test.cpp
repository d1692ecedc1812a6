// The arithmetic and the options behind the results file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "app/all_backends.h"
#include "app/command_line.h"
#include "app/frame_series.h"
#include "app/html_report.h"
#include "app/html_writer.h"
#include "app/metrics_file.h"
#include "app/picture_check.h"
#include "render/frame_comparison.h"
#include "app/null_context.h"
#include "app/report_charts.h"
#include "app/results_file.h"
#include "render/frame_statistics.h"
#include "render/screen_frames.h"

using namespace vyr::test;

// The summary against the definitions themselves, over many sizes (most not a
// multiple of 100) and values (with and without repeats): the p-th percentile
// is the smallest time that at least p % of the frames do not exceed; the 1 %
// low is the frame rate over the slowest frames that make up at least 1 % of
// them, and at least one.
TEST(FrameTimes, SummaryMatchesTheDefinitions) {
    std::mt19937 random(20261207);
    for (int round = 0; round < 1500; ++round) {
        size_t n = round < 400 ? size_t(round + 1) : 1 + random() % 2000;
        uint32_t spread = round % 3 == 0 ? 20 : 200000;  // few distinct values, or many
        std::vector<uint32_t> us(n);
        for (uint32_t& value : us) value = 1000 + random() % spread;
        FrameTimeSummary s = summariseFrameTimes(us);

        std::vector<uint32_t> sorted = us;
        std::sort(sorted.begin(), sorted.end());
        auto percentile = [&](double p) {
            for (size_t i = 0; i < n; ++i) {
                bool lastOfItsValue = i + 1 == n || sorted[i + 1] != sorted[i];
                if (lastOfItsValue && double(i + 1) * 100.0 >= p * double(n)) return sorted[i] / 1000.0;
            }
            return -1.0;
        };
        size_t slowest = 1;
        while (slowest * 100 < n) ++slowest;
        double total = 0;
        for (size_t i = 0; i < slowest; ++i) total += sorted[n - 1 - i];

        ASSERT_EQ(s.frames, n);
        ASSERT_DOUBLE_EQ(s.p50, percentile(50)) << n << " frames";
        ASSERT_DOUBLE_EQ(s.p95, percentile(95)) << n << " frames";
        ASSERT_DOUBLE_EQ(s.p99, percentile(99)) << n << " frames";
        ASSERT_DOUBLE_EQ(s.max, sorted.back() / 1000.0) << n << " frames";
        ASSERT_NEAR(s.onePercentLowFps, 1e6 * double(slowest) / total, 1e-9 * s.onePercentLowFps) << n << " frames";
    }
    EXPECT_EQ(summariseFrameTimes({}).frames, 0u);
}

// Frame times count between presents of a running scene; the stretch across a
// pause (frames drawn on request while paused, and the first after it) does not.
TEST(FrameTimes, PausesDoNotCount) {
    FrameStatistics statistics;
    statistics.recordPresent(1000, false, false);
    statistics.recordPresent(21000, false, false);         // 20 ms
    statistics.recordPresent(41000, false, true);          // 20 ms, the frame that pauses
    statistics.recordPresent(5041000, true, true);         // drawn on request while paused
    statistics.recordPresent(9000000, false, false);       // the first after resuming
    statistics.recordPresent(9030000, false, false);       // 30 ms
    EXPECT_EQ(statistics.framesPresented, 6u);
    EXPECT_EQ(statistics.firstPresentUs, 1000u);
    EXPECT_EQ(statistics.frameTimesUs.values(), (std::vector<uint32_t>{20000, 20000, 30000}));
}

// A screen change is the latest frame handed over, and its present call
// returned, before it that no change claimed yet. Events: 'h' a frame handed over at ms, 'p' one drawn while
// paused, 'c' a change on the screen, 'w' the watch starts (else it starts first);
// 'h' and 'p' presents return at once, 's' one whose call returns at the next 'r'.
TEST(ScreenFrames, ChangesClaimFrames) {
    struct Case {
        const char* what;
        std::vector<std::pair<char, uint64_t>> events;
        uint64_t presented, reached;
        double p50, max, gap;
    } cases[] = {
        {"each frame 5 ms late", {{'h', 0}, {'c', 5}, {'h', 10}, {'c', 15}, {'h', 20}, {'c', 25}}, 3, 3, 5, 5, 10},
        {"every other frame shown", {{'h', 0}, {'c', 5}, {'h', 10}, {'h', 20}, {'c', 25}, {'h', 30}}, 4, 2, 5, 5, 20},
        {"a change after the next handover is the newer frame", {{'h', 0}, {'h', 10}, {'c', 15}, {'h', 20}, {'c', 22}},
         3, 2, 2, 5, 15},
        {"a frame drawn in two parts counts once", {{'h', 0}, {'c', 5}, {'c', 6}, {'h', 10}, {'c', 12}}, 2, 2, 2, 5, 7},
        {"a change before any new frame is another window's", {{'c', 1}, {'h', 10}, {'c', 20}, {'c', 21}}, 1, 1, 10, 10,
         10},
        {"nothing reaches the screen: the gap runs to the last frame", {{'h', 0}, {'h', 10}, {'h', 20}}, 3, 0, 0, 0, 20},
        {"a pause is left out", {{'h', 0}, {'c', 5}, {'p', 10}, {'c', 12}, {'p', 20}, {'h', 1000}, {'c', 1005}}, 2, 2, 5, 5,
         5},
        {"frames before the watch do not count", {{'h', 0}, {'w', 5}, {'h', 10}, {'c', 12}}, 1, 1, 2, 2, 2},
        // 'W': the watch starts and tells a compositor's frames.
        {"a compositor's frame while the next present call runs is the older frame",
         {{'W', 0}, {'h', 0}, {'s', 10}, {'c', 15}, {'r', 30}, {'c', 35}}, 2, 2, 15, 25, 20},
        {"on X11 a change while the next present call runs is the newer frame",
         {{'h', 0}, {'s', 10}, {'c', 15}, {'r', 30}, {'c', 35}}, 2, 1, 5, 5, 15},
        {"a compositor's frame whose present had not returned is the latest before it still",
         {{'W', 0}, {'h', 0}, {'c', 5}, {'s', 10}, {'c', 15}, {'r', 40}}, 2, 2, 5, 5, 10},
    };
    for (const Case& c : cases) {
        ScreenFrames screen;
        if (c.events.front().first != 'w' && c.events.front().first != 'W') screen.watchStarted("watched");
        for (auto [what, ms] : c.events) {
            if (what == 'w' || what == 'W') screen.watchStarted("watched", what == 'W');
            if (what == 'h' || what == 'p' || what == 's') screen.handOver(ms * 1000, what == 'p');
            if (what == 'h' || what == 'p' || what == 'r') screen.presentReturned(ms * 1000);
            if (what == 'c') screen.screenChanged(ms * 1000);
        }
        ScreenSummary s = screen.summary();
        EXPECT_TRUE(s.measured) << c.what;
        EXPECT_EQ(s.presented, c.presented) << c.what;
        EXPECT_EQ(s.reached, c.reached) << c.what;
        EXPECT_DOUBLE_EQ(s.delay.p50, c.p50) << c.what;
        EXPECT_DOUBLE_EQ(s.delay.max, c.max) << c.what;
        EXPECT_DOUBLE_EQ(s.longestGapMs, c.gap) << c.what;
    }
    // Not measured, a change claims nothing (the null figures and their reason are screen_frames_no-damage's).
    ScreenFrames unwatched;
    unwatched.notMeasured("not measured: no way");
    unwatched.handOver(0, false);
    unwatched.screenChanged(5);
    EXPECT_EQ(unwatched.summary().reached, 0u);
}

TEST(FrameTimes, RingKeepsTheLatest) {
    Ring<int> ring(3);
    for (int i = 1; i <= 5; ++i) ring.push(i);
    EXPECT_EQ(ring.values(), (std::vector<int>{3, 4, 5}));
    EXPECT_EQ(ring.pushed, 5u);
}

namespace {

FrameImage grey(uint8_t level, uint32_t width = checkFrameWidth, uint32_t height = checkFrameHeight) {
    FrameImage image;
    image.width = width;
    image.height = height;
    image.rgba.assign(size_t(width) * height * 4, level);
    return image;
}

void paint(FrameImage& image, uint32_t left, uint32_t top, uint32_t width, uint32_t height, uint8_t r, uint8_t g,
           uint8_t b) {
    for (uint32_t y = top; y < top + height; y++)
        for (uint32_t x = left; x < left + width; x++) {
            uint8_t* p = image.rgba.data() + (size_t(y) * image.width + x) * 4;
            p[0] = r, p[1] = g, p[2] = b;
        }
}

}  // namespace

// A change shows in the regions that hold it, as the largest cell's difference;
// the worst region is the one furthest over its limit.
TEST(FrameComparison, RegionsCellsAndLimits) {
    const RegionLimits limits = {{0.25, 0.25, 0.25, 0.25, 0.25, 0.25}};
    struct Case {
        const char* what;
        uint32_t left, top, width, height;
        uint8_t r, g, b;
        bool passed;
        const char* worst;
        double difference;
    } cases[] = {
        {"the same", 0, 0, 0, 0, 0, 0, 0, true, nullptr, 0.0},
        // One whole cell of the logos' strip turns white: 255 on three channels.
        {"a cell of a logo", 304, 104, 8, 8, 255, 255, 255, false, "logos", 1.0},
        // Half a cell: its average moves half as far, still over the limit.
        {"half a cell", 304, 104, 8, 4, 255, 255, 255, false, "logos", 0.5},
        // One pixel in a cell of 64: far under the limit however bright.
        {"one pixel", 304, 104, 1, 1, 255, 255, 255, true, "logos", 1.0 / 64},
        {"the OFF indicator gone red", 502, 359, 128, 41, 255, 0, 0, false, "OFF indicator", 1.0 / 3},
        {"the pause label", 0, 359, 128, 41, 0, 0, 255, false, "pause label", 1.0 / 3},
        {"red and blue swapped everywhere", 0, 0, 640, 400, 0, 0, 200, false, "background", 400.0 / 765},
    };
    for (const Case& c : cases) {
        FrameImage a = grey(0), b = grey(0);
        if (c.width) paint(b, c.left, c.top, c.width, c.height, c.r, c.g, c.b);
        if (std::string(c.what) == "red and blue swapped everywhere") paint(a, 0, 0, 640, 400, 200, 0, 0);
        FrameComparison result = compareFrames(a, b, limits, checkCell);
        EXPECT_EQ(result.passed, c.passed) << c.what;
        if (c.worst) {
            EXPECT_STREQ(result.worstRegion, c.worst) << c.what;
            EXPECT_NEAR(result.difference, c.difference, 1e-9) << c.what;
        }
        EXPECT_NEAR(result.regionDifference[5], c.difference, 1e-9) << c.what << ": the whole frame holds it too";
    }
    // Frames of another size never pass, whatever their pixels.
    EXPECT_FALSE(compareFrames(grey(0), grey(0, 320, 200), limits, checkCell).passed);
    EXPECT_FALSE(compareFrames(grey(0, 320, 200), grey(0, 320, 200), limits, checkCell).passed);
}

TEST(PictureCheck, ImageNamesFollowTheResultsFile) {
    const char* cases[][2] = {
        {nullptr, "vyrtest-check"},        {"r.json", "r"},           {"/tmp/run.1/r.prom", "/tmp/run.1/r"},
        {"/tmp/run.1/results", "/tmp/run.1/results"}, {".hidden", ".hidden"}, {"dir\\out.json", "dir\\out"},
    };
    for (const auto& c : cases) EXPECT_EQ(checkImageBase(c[0]), c[1]) << (c[0] ? c[0] : "(none)");
}

TEST(AllBackends, ChildArguments) {
    struct Case {
        const char* parent;
        Backend backend;
        std::vector<std::string> child;
    } cases[] = {
        // Without -duration each child gets the default one.
        {"-all -nosound", Backend::OpenGL, {"-nosound", "-report", "c.json", "-duration", "10"}},
        // The parent's back-end choice and report give way to the child's own.
        {"-vulkan -all -duration 5 -report r.prom -screenshot shot.png", Backend::Vulkan,
         {"-duration", "5", "-screenshot", "shot.vulkan.png", "-vulkan", "-report", "c.json"}},
        {"-all -directx9 -ms 0 -fl 30 -check", Backend::Direct3D9,
         {"-ms", "0", "-fl", "30", "-check", "-directx9", "-report", "c.json", "-duration", "10"}},
        // A value that looks like an option stays a value.
        {"-all -scenetime -vulkan -fl", Backend::OpenGL,
         {"-scenetime", "-vulkan", "-fl", "-report", "c.json", "-duration", "10"}},
    };
    for (const Case& c : cases) {
        int count = 0;
        char** words = splitCommandLine(c.parent, count);
        EXPECT_EQ(childArguments(count, words, c.backend, "c.json"), c.child) << c.parent;
    }
}

TEST(AllBackends, PathForBackend) {
    struct Case {
        const char* path;
        Backend backend;
        const char* extension;
        const char* expected;
    } cases[] = {
        {"r.json", Backend::Vulkan, nullptr, "r.vulkan.json"},
        {"out/r.prom", Backend::OpenGL, ".json", "out/r.opengl.json"},
        {"a.d/report", Backend::Vulkan, ".json", "a.d/report.vulkan.json"},
        {"C:\\a.b\\shot", Backend::Direct3D9, nullptr, "C:\\a.b\\shot.direct3d9"},
        {".hidden", Backend::OpenGL, nullptr, ".hidden.opengl"},
    };
    for (const Case& c : cases) EXPECT_EQ(pathForBackend(c.path, c.backend, c.extension), c.expected) << c.path;
}

namespace {

using json = nlohmann::ordered_json;
using How = vyr::platform::ChildEnd::How;

BackendRun backendRun(Backend backend, How how, int exitCode, json results = nullptr) {
    BackendRun run;
    run.backend = backend;
    run.end.how = how;
    run.end.exitCode = exitCode;
    if (how == How::Signalled) run.end.signal = "SIGSEGV";
    run.end.seconds = 12.0;
    run.endUnixSeconds = 1.5e9;
    run.results = std::move(results);
    return run;
}

json pictureResults(json passed, const char* screen = "passed", const char* renderer = "passed") {
    return {{"picture", {{"passed", passed}, {"checks", {{{"outcome", renderer}}, {{"outcome", screen}}}}}}};
}

}  // namespace

// The worst child decides: 0, then 5 (the screen not looked at), then 3 (a
// wrong picture), then any failure as 1.
TEST(AllBackends, ExitCodeAndSummary) {
    struct Case {
        std::vector<std::pair<How, int>> children;
        int exitCode;
    } cases[] = {
        {{{How::Exited, 0}, {How::Exited, 0}}, 0},     {{{How::Exited, 0}, {How::Exited, 3}}, 3},
        {{{How::Exited, 5}, {How::Exited, 0}}, 5},     {{{How::Exited, 5}, {How::Exited, 3}}, 3},
        {{{How::Exited, 3}, {How::Exited, 5}}, 3},     {{{How::Exited, 5}, {How::Exited, 1}}, 1},
        {{{How::TimedOut, 0}, {How::Exited, 5}}, 1},   {{{How::Exited, 3}, {How::Exited, 1}}, 1},
        {{{How::Exited, 1}, {How::Exited, 3}}, 1},     {{{How::Exited, 20}, {How::Exited, 0}}, 1},
        {{{How::Exited, 0}, {How::Signalled, 0}}, 1},  {{{How::TimedOut, 0}, {How::Exited, 3}}, 1},
        {{{How::NotStarted, 0}, {How::Exited, 0}}, 1},
    };
    for (const Case& c : cases) {
        std::vector<BackendRun> runs;
        for (const auto& [how, code] : c.children) runs.push_back(backendRun(Backend::OpenGL, how, code));
        EXPECT_EQ(allExitCode(runs), c.exitCode) << int(c.children[0].first) << " " << c.children[0].second;
    }

    std::vector<BackendRun> runs = {
        backendRun(Backend::OpenGL, How::Exited, 0, pictureResults(true)),
        backendRun(Backend::Direct3D9, How::Signalled, 0),
        backendRun(Backend::Vulkan, How::Exited, 3, pictureResults(false)),
        backendRun(Backend::Vulkan, How::TimedOut, 0),
        backendRun(Backend::Vulkan, How::Exited, 1, {{"end", {{"message", "No device."}}}}),
        backendRun(Backend::OpenGL, How::Exited, 5, pictureResults(nullptr, "inconclusive")),
    };
    json merged = mergedResults(runs, StartupOptions());
    EXPECT_EQ(merged["summary"].dump(),
              json({{"exit_code", 1},
                    {"renders", {"OpenGL", "Vulkan", "OpenGL"}},
                    {"picture_passed", {"OpenGL"}},
                    {"picture_failed", {"Vulkan"}},
                    {"picture_inconclusive", {"OpenGL"}},
                    {"failed",
                     {{{"backend", "Direct3D 9"}, {"how", "ended by SIGSEGV"}},
                      {{"backend", "Vulkan"}, {"how", "timed out after 12 s"}},
                      {{"backend", "Vulkan"}, {"how", "exit code 1: No device."}}}}})
                  .dump());
    const char* outcomes[] = {"renders", "signal", "wrong picture", "timed out", "cannot render",
                              "renders, screen not checked"};
    // A signalled child's own entry (its signal, no exit code) is results_file_all-crash's.
    for (size_t i = 0; i < runs.size(); ++i) EXPECT_EQ(merged["backends"][i]["outcome"], outcomes[i]) << i;
    EXPECT_EQ(merged["asked"].dump(), json({{"duration_seconds", 10.0}, {"timeout_seconds", 70.0}}).dump());
}

TEST(MetricsFile, SamplesFromTheDocument) {
    json run = {{"program", {{"backend", "Direct3D 9"}}},
                {"driver", {{"renderer", "GPU \"X\" \\ 2\nrev"}, {"software_rasteriser", false}, {"direct_rendering", nullptr}}},
                {"session", {{"remote", true}}},
                {"frames",
                 {{"count", 200},
                  {"mean_fps", 50.5},
                  {"frame_time_ms", {{"frames", 199}, {"p50", 20}, {"p95", 25}, {"p99", 30}, {"max", 45.5}, {"sum", 3980}}},
                  {"one_percent_low_fps", 22.5}}},
                {"screen", {{"ratio", 0.5}, {"delay_ms", {{"frames", 99}, {"p50", 4}, {"p99", 9}, {"max", 12}, {"sum", 500}}}}},
                {"picture", {{"passed", false}}},
                {"end", {{"exit_code", 3}}}};
    const std::string labels = "{backend=\"direct3d9\",renderer=\"GPU \\\"X\\\" \\\\ 2\\nrev\"";
    std::string single = metricsText(run, 1800000000.25);
    // Each sample: its name after "vyrtest_", its quantile if any, its value.
    const char* samples[][3] = {
        {"renders", "", "1"}, {"picture_check_passed", "", "0"}, {"frames_per_second_mean", "", "50.5"},
        {"frame_time_seconds", "0.5", "0.02"}, {"frame_time_seconds", "0.95", "0.025"},
        {"frame_time_seconds", "0.99", "0.03"}, {"frame_time_seconds", "1", "0.0455"},
        {"frame_time_seconds_sum", "", "3.98"}, {"frame_time_seconds_count", "", "199"},
        {"one_percent_low_frames_per_second", "", "22.5"}, {"screen_frames_ratio", "", "0.5"},
        {"screen_delay_seconds", "0.5", "0.004"}, {"screen_delay_seconds", "0.99", "0.009"},
        {"screen_delay_seconds_sum", "", "0.5"}, {"screen_delay_seconds_count", "", "99"},
        {"software_rasteriser", "", "0"}, {"remote_session", "", "1"},
        {"run_end_timestamp_seconds", "", "1800000000.25"},
    };
    for (const auto& [name, quantile, value] : samples) {
        std::string line = std::string("vyrtest_") + name + labels;
        if (*quantile) line += std::string(",quantile=\"") + quantile + "\"";
        line += std::string("} ") + value;
        EXPECT_NE(single.find("\n" + line + "\n"), std::string::npos) << line << "\n" << single;
    }
    EXPECT_EQ(single.find("vyrtest_direct_rendering"), std::string::npos) << "null: no sample";
    EXPECT_EQ(single.find("vyrtest_screen_delay_seconds{" + labels.substr(1) + ",quantile=\"1\""), std::string::npos);

    // The picture's three outcomes: passed and inconclusive are told apart, a failure wins.
    struct Outcome {
        json passed;
        const char *screen, *passedSample, *inconclusiveSample;
        int exitCode;
        const char* renderer = "passed";
    } outcomes[] = {{true, "passed", "1", "0", 0}, {false, "failed", "0", "0", 3},
                    {nullptr, "inconclusive", nullptr, "1", 5}, {false, "inconclusive", "0", "0", 3, "failed"}};
    for (const Outcome& o : outcomes) {
        json checked = run;
        checked.update(pictureResults(o.passed, o.screen, o.renderer));
        checked["end"]["exit_code"] = o.exitCode;
        std::string text = metricsText(checked, 0);
        std::string passedLine = "\nvyrtest_picture_check_passed" + labels + "} ";
        if (o.passedSample)
            EXPECT_NE(text.find(passedLine + o.passedSample + "\n"), std::string::npos) << o.screen << "\n" << text;
        else
            EXPECT_EQ(text.find(passedLine), std::string::npos) << o.screen << ": no verdict\n" << text;
        EXPECT_NE(text.find("\nvyrtest_picture_check_inconclusive" + labels + "} " + o.inconclusiveSample + "\n"),
                  std::string::npos) << o.screen << "\n" << text;
        EXPECT_NE(text.find("\nvyrtest_renders" + labels + "} 1\n"), std::string::npos) << o.screen;
    }

    // -all: one family at a time, both back-ends in it; a child without results renders 0 (Vulkan's
    // renders sample without a renderer is results_file_all-failing's).
    json merged = {{"backends",
                    {{{"backend", "OpenGL"}, {"exit_code", 0}, {"end_unix_seconds", 10}, {"results", run}},
                     {{"backend", "Vulkan"}, {"exit_code", nullptr}, {"end_unix_seconds", 20}, {"results", nullptr}},
                     // Ended well without a presented frame: it did not render.
                     {{"backend", "Direct3D 9"}, {"exit_code", 0}, {"results", {{"frames", {{"count", 0}}}}}}}}};
    std::string all = metricsText(merged, 0);
    size_t help = all.find("# HELP vyrtest_renders ");
    EXPECT_EQ(all.find("# HELP vyrtest_renders ", help + 1), std::string::npos);
    EXPECT_NE(all.find("vyrtest_run_end_timestamp_seconds{backend=\"vulkan\",renderer=\"\"} 20\n"), std::string::npos);
    EXPECT_NE(all.find("vyrtest_renders{backend=\"direct3d9\",renderer=\"\"} 0\n"), std::string::npos) << all;
    EXPECT_LT(all.find("vyrtest_renders{backend=\"vulkan\""), all.find("# TYPE vyrtest_picture_check_passed"));
    for (auto [path, is] : {std::pair{"a/b.prom", true}, {"a/b.prom.json", false}, {".prom", false}})
        EXPECT_EQ(isMetricsPath(path), is) << path;
}

// Each notice on standard error stands for one fact about the driver; an
// indirect context cannot be had on a virtual display, so its facts come from here.
// A GPU's direct mono run and its refused stereo are results_file_notices's, on
// the real program with a disguised renderer.
TEST(DriverNotices, OneNoticePerFact) {
    const char* software = "vyrtest: software rasteriser (renderer \"llvmpipe\"): frames are drawn by the processor";
    const char* indirect = "vyrtest: the OpenGL context is indirect: every call goes through the X server";
    const char* stereo = "vyrtest: stereo was asked for but not granted: frames are drawn mono";
    struct Row {
        const char* what;
        std::string softwareReason;
        int directRendering;
        bool askedStereo, grantedStereo;
        std::vector<const char*> notices;
    } rows[] = {
        {"a GPU where direct rendering does not arise", "", -1, false, false, {}},
        {"a GPU granting stereo", "", 1, true, true, {}},
        {"llvmpipe", "renderer \"llvmpipe\"", 1, false, false, {software}},
        {"indirect", "", 0, false, false, {indirect}},
        {"all three", "renderer \"llvmpipe\"", 0, true, false, {software, indirect, stereo}},
    };
    for (const Row& row : rows) {
        StartupOptions options;
        options.stereo = row.askedStereo;
        NullContext context;
        context.driverFacts.softwareRasteriser = row.softwareReason;
        context.driverFacts.directRendering = row.directRendering;
        context.driverFacts.grantedStereo = row.grantedStereo;
        testing::internal::CaptureStderr();
        printDriverNotices(options, context);
        std::string err = testing::internal::GetCapturedStderr();
        size_t lines = size_t(std::count(err.begin(), err.end(), '\n'));
        EXPECT_EQ(lines, row.notices.size()) << row.what << ": " << err;
        for (const char* notice : row.notices) EXPECT_NE(err.find(notice), std::string::npos) << row.what << ": " << err;
    }
}

// The charts' figures in the results document: whole seconds of running time,
// and at most maxSeriesPoints groups of frame times.
TEST(FrameSeries, SecondsAndGroups) {
    struct Case {
        const char* what;
        std::vector<uint32_t> us;
        std::vector<uint64_t> perSecond;
        size_t perPoint, points;
        double firstMean, firstMax;
    } cases[] = {
        {"none", {}, {}, 1, 0, 0, 0},
        {"under a second", {100000, 300000}, {}, 1, 2, 100, 100},
        // 250 ms frames: the 4th ends the first second exactly and counts in the second.
        {"quarter seconds", std::vector<uint32_t>(9, 250000), {3, 4}, 1, 9, 250, 250},
        {"a 2 s frame", {500000, 2000000, 600000}, {1, 0, 1}, 1, 3, 500, 500},
        // 1000 frames into groups of 3: 334 points, the last of one frame.
        {"many frames", {}, {}, 3, 334, 0, 0},
    };
    for (uint32_t i = 0; i < 1000; ++i) cases[4].us.push_back(i % 3 == 0 ? 30000 : 15000);
    cases[4].firstMean = 20, cases[4].firstMax = 30;
    for (Case& c : cases) {
        nlohmann::ordered_json series = frameSeries(c.us);
        EXPECT_EQ(series["frames"], c.us.size()) << c.what;
        if (std::string(c.what) == "many frames") {
            // 20 s of frames at 50 fps: every whole second holds 50 frames, give or take the edges.
            ASSERT_EQ(series["per_second"].size(), 20u) << c.what;
            for (const auto& count : series["per_second"]) EXPECT_NEAR(count.get<double>(), 50, 1) << c.what;
        } else {
            EXPECT_EQ(series["per_second"], nlohmann::ordered_json(c.perSecond)) << c.what;
        }
        const auto& times = series["frame_time_ms"];
        EXPECT_EQ(times["frames_per_point"], c.perPoint) << c.what;
        EXPECT_EQ(times["mean"].size(), c.points) << c.what;
        EXPECT_EQ(times["max"].size(), c.points) << c.what;
        if (c.points) {
            EXPECT_DOUBLE_EQ(times["mean"][0].get<double>(), c.firstMean) << c.what;
            EXPECT_DOUBLE_EQ(times["max"][0].get<double>(), c.firstMax) << c.what;
        }
    }
    EXPECT_LE(frameSeries(std::vector<uint32_t>(65536, 1000))["frame_time_ms"]["mean"].size(), maxSeriesPoints);
}

// The page's pure pieces: one escape, numbers, base64, the charts' scale and paths.
TEST(ReportPage, TextNumbersAndCharts) {
    const char* escapes[][2] = {
        {"llvmpipe (LLVM 15)", "llvmpipe (LLVM 15)"},
        {"<script>alert('x')</script>", "&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;"},
        {"a & b \"c\"", "a &amp; b &quot;c&quot;"},
        {"Ünïcode ✓", "Ünïcode ✓"},
    };
    for (const auto& e : escapes) EXPECT_EQ(escapeHtml(e[0]), e[1]);
    HtmlWriter writer;
    writer.open("p", {{"title", "x\" onload=\"y"}}).text("<i>").empty("img", {{"alt", "<b>"}});
    EXPECT_EQ(writer.finish(), "<!DOCTYPE html>\n<p title=\"x&quot; onload=&quot;y\">&lt;i&gt;<img alt=\"&lt;b&gt;\"></p>\n");

    struct Figure {
        nlohmann::ordered_json value;
        int decimals;
        const char* unit;
        const char* text;
    } figures[] = {
        {57.25, 1, "fps", "57.2 fps"}, {57.26, 1, "fps", "57.3 fps"}, {16.666, 2, "ms", "16.67 ms"},
        {-0.001, 2, "ms", "0.00 ms"},  {3, 0, nullptr, "3"},          {nullptr, 1, "fps", "not known"},
        {"12", 1, "fps", "not known"},
    };
    for (const Figure& f : figures) EXPECT_EQ(figureText(f.value, f.decimals, f.unit), f.text) << f.value.dump();

    const char* encodings[][2] = {{"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"\xff\xfe\x00", "//4A"}};
    for (const auto& e : encodings) EXPECT_EQ(base64(std::string(e[0], e[0][0] == '\xff' ? 3 : strlen(e[0]))), e[1]);

    const double tops[][2] = {{0, 1}, {0.7, 1}, {1, 1}, {1.2, 2}, {16.7, 20}, {33, 50}, {60, 100}, {271, 500}};
    for (const auto& t : tops) EXPECT_DOUBLE_EQ(chartTop(t[0]), t[1]) << t[0];

    struct Path {
        std::vector<double> values;
        const char* d;
    } paths[] = {
        {{}, ""},
        {{5}, "M0.0 75.0"},
        {{0, 10, 20}, "M0.0 100.0L50.0 50.0L100.0 0.0"},  // 20 is the top: beyond it stays there
        {{0, 10, 40}, "M0.0 100.0L50.0 50.0L100.0 0.0"},
    };
    for (const Path& p : paths) EXPECT_EQ(seriesPath(p.values, 100, 100, 20), p.d) << p.values.size();

    const char* pages[][2] = {{"r.html", "1"}, {"/tmp/a.b/r.html", "1"}, {"r.html.json", ""}, {".html", ""}, {"r.htm", ""}};
    for (const auto& p : pages) EXPECT_EQ(isPagePath(p[0]), p[1][0] == '1') << p[0];
}

// Where two frames differ: one cell over its region's limit is one red pixel.
TEST(ReportPage, DifferenceMap) {
    size_t over = 99;
    FrameImage a = grey(0), b = grey(0);
    paint(b, 304, 104, 8, 8, 255, 255, 255);    // a whole cell of the logos
    paint(b, 0, 0, 1, 1, 255, 255, 255);        // one pixel of 64: under the limit
    FrameImage map = differenceMap(a, b, rendererLimits, checkCell, over);
    ASSERT_EQ(map.width, 80u);
    ASSERT_EQ(map.height, 50u);
    EXPECT_EQ(over, 1u);
    const uint8_t* red = map.rgba.data() + (size_t(13) * 80 + 38) * 4;
    EXPECT_GT(red[0], 200);
    EXPECT_LT(red[1], 60);
    const uint8_t* faint = map.rgba.data();
    EXPECT_EQ(faint[0], faint[1]);
    EXPECT_GT(faint[0], map.rgba[4]) << "a small difference is brighter than none";
    EXPECT_TRUE(differenceMap(a, grey(0, 320, 200), rendererLimits, checkCell, over).rgba.empty());
}

// The verdict at the top, from the document alone; text from the driver shows as text.
TEST(ReportPage, VerdictAndEscapedDriverText) {
    using json = nlohmann::ordered_json;
    json passed = {{"name", "renderer"}, {"passed", true}};
    json failed = {{"name", "screen"}, {"passed", false}, {"difference", 0.8491}, {"limit", 0.05}, {"worst_region", "whole frame"}};
    json unsure = {{"name", "screen"}, {"passed", nullptr}, {"outcome", "inconclusive"}, {"reason", "the screen is locked"}};
    struct Case {
        json end, picture;
        const char* words;
        const char* why;
    } cases[] = {
        {{{"exit_code", 0}, {"reason", "duration"}}, nullptr, "renders", "the picture was not checked"},
        {{{"exit_code", 0}, {"reason", "duration"}}, {{"checks", {passed, passed}}}, "renders", "the picture check passed"},
        {{{"exit_code", 3}, {"reason", "duration"}}, {{"checks", {passed, failed}}}, "wrong picture",
         "the screen's frame differs from the renderer's in the whole frame (difference 0.8491, limit 0.0500)"},
        {{{"exit_code", 5}, {"reason", "duration"}}, {{"checks", {passed, unsure}}}, "not checked", "the screen is locked"},
        {{{"exit_code", 1}, {"reason", "fatal"}, {"message", "No device."}}, nullptr, "cannot render", "No device."},
        {{{"exit_code", 20}, {"reason", "fatal"}}, nullptr, "cannot render", "exit code 20"},
        {{{"exit_code", 4}, {"reason", "stalled"}, {"message", "no frame presented for 10.0 s"}}, nullptr, "stalled",
         "no frame presented for 10.0 s"},
        {{{"exit_code", 130}, {"reason", "signal"}, {"signal", "SIGINT"}}, nullptr, "stopped by a signal", "SIGINT"},
    };
    for (const Case& c : cases) {
        json run = {{"program", {{"backend", "OpenGL"}}}, {"picture", c.picture}, {"end", c.end}};
        Verdict verdict = runVerdict(run);
        EXPECT_EQ(verdict.words, c.words) << c.end.dump();
        EXPECT_EQ(verdict.exitCode, c.end["exit_code"]) << c.end.dump();
        EXPECT_NE(verdict.why.find(c.why), std::string::npos) << verdict.why;
    }

    json run = {{"program", {{"backend", "OpenGL"}, {"version", "<b>1</b>"}}},
                {"driver", {{"renderer", "<script>alert(1)</script>"}, {"vendor", "A&B"}}},
                {"end", {{"exit_code", 0}, {"reason", "duration"}, {"message", "x\" onload=\"y"}}}};
    std::string page = pageHtml(run, {});
    // Not there: driver text as markup, a link out (the page stands alone), a screen heading without a section.
    for (const char* absent : {"<script", "<b>", "\" onload", "http", "What reached the screen"})
        EXPECT_EQ(page.find(absent), std::string::npos) << absent;
    for (const char* shown : {"&lt;script&gt;alert(1)&lt;/script&gt;", "A&amp;B"})
        EXPECT_NE(page.find(shown), std::string::npos) << shown;

    // What reached the screen, as far as the document has it: times in ms, ratios to three places.
    run["screen"] = {{"frames", 120}, {"ratio", 0.5}, {"delay_ms", {{"p50", 40.123}}}, {"measured_by", "<damage>"}};
    page = pageHtml(run, {});
    for (const char* shown : {"data-figure=\"screen.frames\">120<", "data-figure=\"screen.ratio\">0.500<",
                              "data-figure=\"screen.delay_ms.p50\">40.12 ms<", ">&lt;damage&gt;<"})
        EXPECT_NE(page.find(shown), std::string::npos) << shown;
}

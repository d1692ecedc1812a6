// The shell without a display: the command line, frame pacing and statistics, the
// demo scene's arithmetic and the window procedure over a context that draws nothing.
#include <gtest/gtest.h>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "null_context.h"
#include "render/frame_statistics.h"
#include "render/timer.h"
#include "render/demo_scene.h"
#include "app/application.h"
#include "app/startup_options.h"
#include "scene/asset_loading.h"

using namespace vyr::test;

namespace {

std::vector<std::string> split(const char* line) {
    int count = -1;
    char** vector = splitCommandLine(line, count);
    std::vector<std::string> out(vector, vector + count);
    EXPECT_EQ(vector[count], nullptr);
    return out;
}

// The words of `line` as the options, with what they print on standard error (the help goes to standard output).
OptionsOutcome interpretLine(const char* line, StartupOptions& options, std::string* errors = nullptr) {
    int count = 0;
    char** words = splitCommandLine(line, count);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    OptionsOutcome outcome = interpretOptions(count, words, options);
    std::string printed = testing::internal::GetCapturedStderr();
    testing::internal::GetCapturedStdout();
    if (errors) *errors = printed;
    return outcome;
}

}  // namespace

TEST(SplitCommandLine, SeparatorsQuotesAndEmptyArguments) {
    // One-character arguments give the most pointers per character: the worst case must fit the block.
    std::string manyWords;
    for (int i = 0; i < 500; ++i) manyWords += "a ";
    using Words = std::vector<std::string>;
    const std::pair<std::string, Words> cases[] = {
        {"", {}}, {" \t\r\n ", {}}, {"  -fl\t25  ", {"-fl", "25"}},
        // Quotes open and close anywhere inside a word and are dropped.
        {"a\"b c\"d", {"ab cd"}}, {"\"-fl\" \"25\"", {"-fl", "25"}}, {"-\"fl\"", {"-fl"}}, {"x \"\" y", {"x", "", "y"}},
        // An unclosed quote runs to the end; backslashes are ordinary characters.
        {"\"a b", {"a b"}}, {"C:\\x\\ \\\"y", {"C:\\x\\", "\\y"}},
        {manyWords, Words(500, "a")}, {std::string(999, '"'), {""}},
    };
    for (const auto& [line, words] : cases) EXPECT_EQ(split(line.c_str()), words) << line.substr(0, 20);
}

// Values as "%u" reads them ("abc" is consumed, the limit stays), a value
// option as the last argument ignored, repeats, unknown words, -h stopping
// interpretation, and 20 arguments or more applying nothing. Every -report
// counts, in order; the first names the check frames.
TEST(InterpretOptions, ValuesFlagsAndTheirConsumption) {
    std::string nineteen = "-benchmark -fl 30", nineReports;
    for (int i = 0; i < 16; ++i) nineteen += " x";
    for (char c = 'a'; c <= 'i'; ++c) nineReports += std::string(" -report ") + c + ".html";
    const std::vector<std::string> nine = {"a.html", "b.html", "c.html", "d.html", "e.html",
                                           "f.html", "g.html", "h.html", "i.html"};
    const OptionsOutcome run = OptionsOutcome::Run;
    struct Row {
        std::string line;
        OptionsOutcome outcome = OptionsOutcome::Run;
        uint64_t frameLimit = 0;
        uint32_t multisampling = 4;
        bool benchmark = false;
        uint64_t durationMs = 0;
        std::vector<std::string> reports = {};
        double sceneTime = -1.0;
        bool check = false;
        const char* screenshot = "";
    } rows[] = {
        {"-fl 30", run, 30},
        {"-fl 0"},
        {"-fl abc -benchmark", run, 0, 4, true},
        {"-fl -benchmark"},  // consumed as the (invalid) value
        {"-fl 30 -benchmark", run, 30, 4, true},
        {"-fl"},
        {"-ms 8 -fl", run, 0, 8},
        {"-ms 0", run, 0, 0},
        {"-fl \" 12x\"", run, 12},  // leading blanks, stops at a non-digit
        {"-fl 10 -fl 20", run, 20},
        {"-x fl -FL 5 -fl5 benchmark -Benchmark"},
        {"-fl 30 -h -benchmark", OptionsOutcome::HelpShown, 30},
        {nineteen, run, 30, 4, true},
        {nineteen + " -h"},
        {"-duration 10", run, 0, 4, false, 10000},
        {"-duration 2.5 -report r.json", run, 0, 4, false, 2500, {"r.json"}},
        {"-scenetime 0", run, 0, 4, false, 0, {}, 0.0},
        {"-scenetime 3.5 -check -screenshot s.png", run, 0, 4, false, 0, {}, 3.5, true, "s.png"},
        {"-scenetime 86400", run, 0, 4, false, 0, {}, 86400.0},
        {"-report r.json -report r.html -report r.prom", run, 0, 4, false, 0, {"r.json", "r.html", "r.prom"}},
        {"-report r.html -check -report r.json", run, 0, 4, false, 0, {"r.html", "r.json"}, -1.0, true},
        {nineReports + " -check", run, 0, 4, false, 0, nine, -1.0, true},
        {nineReports + " -report j.html"},
    };
    for (const Row& row : rows) {
        StartupOptions options;
        std::string errors;
        EXPECT_EQ(interpretLine(row.line.c_str(), options, &errors), row.outcome) << row.line;
        EXPECT_EQ(errors, "") << row.line;
        EXPECT_EQ(options.frameLimit, row.frameLimit) << row.line;
        EXPECT_EQ(options.multisampleCount, row.multisampling) << row.line;
        EXPECT_EQ(options.benchmark, row.benchmark) << row.line;
        EXPECT_EQ(options.durationMs, row.durationMs) << row.line;
        std::vector<std::string> reports(options.reportPaths.begin(), options.reportPaths.end());
        EXPECT_EQ(reports, row.reports) << row.line;
        EXPECT_STREQ(options.reportPath ? options.reportPath : "", row.reports.empty() ? "" : row.reports[0].c_str());
        EXPECT_EQ(options.sceneTimeSeconds, row.sceneTime) << row.line;
        EXPECT_EQ(options.checkPicture, row.check) << row.line;
        EXPECT_STREQ(options.screenshotPath ? options.screenshotPath : "", row.screenshot) << row.line;
    }
    StartupOptions all;
    interpretLine("-directx9 -paused -stereo -gdicursor -benchmark -fullscreen -nosound", all);
    EXPECT_EQ(all.backend, Backend::Direct3D9);
    EXPECT_TRUE(all.startPaused && all.stereo && all.gdiCursor && all.benchmark && all.fullscreen &&
                all.soundMuted);
    for (const char* line : {"-scenetime 86400.5", "-scenetime -1", "-scenetime 1e400", "-scenetime nan",
                             "-scenetime 2s", "-scenetime", "-screenshot", "-screenshot \"\"", "-duration",
                             "-duration 0", "-duration -3", "-duration 3s", "-duration -report r.json", "-report",
                             "-report \"\"", "-report r.html -report"}) {
        StartupOptions options;
        std::string errors;
        EXPECT_EQ(interpretLine(line, options, &errors), OptionsOutcome::Invalid) << line;
        EXPECT_NE(errors, "") << line;
    }
}

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

// A frame is paced only with a frame limit: its next due time moves then.
TEST(PaceFrame, OnlyWithAFrameLimit) {
    struct Producing : NullContext {
        using RenderingContext::produceFrame;
    };
    for (uint64_t limit : {0, 1000}) {
        Producing context;
        context.frameLimit = limit;
        context.produceFrame(nullptr, nullptr, false);
        EXPECT_EQ(context.statistics.nextFrameDue != 0, limit != 0) << limit;
    }
}

// Frames at each of `times`; returns what was printed.
std::string countFrames(FrameStatistics& statistics, const std::vector<uint64_t>& times, uint64_t interval = 5) {
    testing::internal::CaptureStdout();
    for (uint64_t t : times) statistics.countFrame(t, interval);
    return testing::internal::GetCapturedStdout();
}

// Frames every 10 ms from `from` to `to`; returns what was printed.
std::string countEvery10Ms(FrameStatistics& statistics, uint64_t from, uint64_t to, uint64_t interval = 5) {
    std::vector<uint64_t> times;
    for (uint64_t t = from; t <= to; t += 10) times.push_back(t);
    return countFrames(statistics, times, interval);
}

// The first frame only opens the report and second windows; the current rate
// truncates (60 frames, 5 ms late: 60999 / 1005 = 60.69).
TEST(CountFrame, FirstFrameOpensTheWindowsAndTheRateTruncates) {
    FrameStatistics statistics;
    EXPECT_EQ(countFrames(statistics, {999}), "");
    EXPECT_EQ(statistics.reportDeadline, 5000u);
    EXPECT_EQ(statistics.secondDeadline, 1000u);
    EXPECT_EQ(statistics.reportFrames + statistics.secondFrames + statistics.currentFrameRate, 0u);
    countFrames(statistics, std::vector<uint64_t>(59, 1000));
    countFrames(statistics, {1005});
    EXPECT_EQ(statistics.currentFrameRate, 60u);
    EXPECT_EQ(statistics.secondDeadline, 2000u);
    EXPECT_EQ(statistics.secondFrames, 0u);
}

TEST(CountFrame, ReportEveryPeriodWithItsNumbers) {
    FrameStatistics statistics;
    EXPECT_EQ(countEvery10Ms(statistics, 10, 5000), "");
    // The frame that crosses the deadline is counted in the window it closes.
    EXPECT_EQ(countEvery10Ms(statistics, 5010, 5010), "Produced 500 frames in the last 5010 ms: average FPS 99.800\n");
    EXPECT_EQ(statistics.reportDeadline, 10000u);
    // The next window starts at its grid boundary, 5000.
    EXPECT_EQ(countEvery10Ms(statistics, 5020, 10010), "Produced 500 frames in the last 5010 ms: average FPS 99.800\n");
    // Ten seconds and more without frames show in the next average.
    FrameStatistics paused;
    EXPECT_EQ(countFrames(paused, {100, 200, 15100}), "Produced 2 frames in the last 15100 ms: average FPS 0.132\n");
    // A report interval of zero prints nothing, and the current rate is still kept.
    FrameStatistics silent;
    EXPECT_EQ(countEvery10Ms(silent, 0, 30000, 0), "");
    EXPECT_EQ(silent.reportFrames, 0u);
    EXPECT_GT(silent.currentFrameRate, 0u);
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
    NullContext context;  // the frame timer starts with the context
    EXPECT_LT(context.elapsedMs(), 1000u);
    EXPECT_TRUE(context.frameTimer.running);
}

// The noise, the four candidates that would block the line of sight, and
// candidate 0 moving 3 units a second toward the eye, wrapped after 36.
TEST(DemoScene, StarField) {
    EXPECT_EQ(noise31(0), 1376312589u);
    EXPECT_EQ(noise31(1), 1316808037u);
    for (uint32_t n : {0u, 1u, 4096u, 12895u}) EXPECT_TRUE(noiseUnit(n) >= 0.0f && noiseUnit(n) < 1.0f);
    std::vector<int> skipped;
    StarPosition p;
    for (int k = 0; k < starCandidates; ++k)
        if (!starPosition(k, 0.0f, p)) skipped.push_back(k);
    EXPECT_EQ(skipped, (std::vector<int>{118, 645, 774, 796}));
    ASSERT_TRUE(starPosition(0, 0.0f, p));
    EXPECT_NEAR(p.x, 1.3460407f, 1e-6);
    EXPECT_NEAR(p.y, -2.8555474f, 1e-6);
    for (auto [t, z] : {std::pair{0.0f, -24.670328f}, {4.0f, -12.670328f}, {10.0f, -24.670328f + 30.0f - 36.0f}}) {
        ASSERT_TRUE(starPosition(0, t, p));
        EXPECT_NEAR(p.z, z, 1e-4) << t;
    }
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

// Resuming is WindowProcedure.ResumeContinuesTheAnimationWhereItStopped.
TEST(DemoScene, PauseFreezesTheSceneTime) {
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
}

// The window procedure driven in-process over a context that draws nothing:
// every key and window event a user can cause, and what it changes. Escape, the
// close box, Space pressed, released and tapped again, and F11 are ProgramWindow's,
// on the real program.
using namespace vyr::platform;

namespace {

class CountingContext : public NullContext {
public:
    void renderFrame(Project3D*, Texture**) override { ++frames; }
    void setSize(unsigned w, unsigned h) override { width = w, height = h, ++resizes; }
    int frames = 0, resizes = 0;
};

struct Row {
    const char* what;
    WindowEvent event;
    PauseState pauseBefore;
    // What follows: frames drawn, resizes, pause state, frame rate shown, muted, fullscreen, quit.
    int frames, resizes;
    PauseState pause;
    bool frameRate, muted, fullscreen, quit;
};

WindowEvent event(WindowEventType type, uint32_t key = 0, bool minimized = false) {
    WindowEvent e;
    e.type = type;
    e.key = key;
    e.minimized = minimized;
    e.width = 800, e.height = 500;
    return e;
}

// The shell's state pointing at a context and content of the test's own, while it lives.
struct ShellState {
    ShellState() {
        applicationState().context = &context;
        applicationState().content = &content;
    }
    ~ShellState() {
        applicationState().context = nullptr;
        applicationState().content = nullptr;
    }
    CountingContext context;
    SceneContent content;
};

TEST(WindowProcedure, EveryUserActionChangesWhatItShould) {
    setenv("VYR_ROOT", "/nonexistent/", 1);  // no soundtrack to start
    using T = WindowEventType;
    const Row rows[] = {
        {"Alt+Space is Space", event(T::SystemKeyUp, KeySpace), Running, 0, 0, PauseRequested, false, false, false, false},
        {"Alt itself does nothing", event(T::SystemKeyUp, KeyMenu), Running, 0, 0, Running, false, false, false, false},
        {"F shows the frame rate", event(T::KeyUp, KeyF), Running, 0, 0, Running, true, false, false, false},
        {"M mutes", event(T::KeyUp, KeyM), Running, 0, 0, Running, false, true, false, false},
        {"a new size is applied and drawn", event(T::Size), Running, 1, 1, Running, false, false, false, false},
        {"minimised: nothing", event(T::Size, 0, true), Running, 0, 0, Running, false, false, false, false},
        {"a click draws a frame, paused too", event(T::LeftButtonDown), Paused, 1, 0, Paused, false, false, false, false},
        {"paint while paused draws", event(T::Paint), Paused, 1, 0, Paused, false, false, false, false},
        {"paint while running leaves it to the loop", event(T::Paint), Running, 0, 0, Running, false, false, false, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ShellState shell;
        CountingContext& context = shell.context;
        StartupOptions& options = startupOptions();
        options.fullscreen = options.soundMuted = false;
        context.pauseState = row.pauseBefore;
        windowProcedure(nullptr, row.event);
        EXPECT_EQ(context.frames, row.frames);
        EXPECT_EQ(context.resizes, row.resizes);
        EXPECT_EQ(context.pauseState, row.pause);
        EXPECT_EQ(context.showFrameRate, row.frameRate);
        EXPECT_EQ(options.soundMuted, row.muted);
        EXPECT_EQ(options.fullscreen, row.fullscreen);
        int quitCode = -1;
        EXPECT_EQ(peekAndDispatch(quitCode) == MessageResult::Quit, row.quit);
        if (row.frameRate || row.muted || row.fullscreen) {  // a second press switches back
            windowProcedure(nullptr, row.event);
            EXPECT_FALSE(context.showFrameRate || options.soundMuted || options.fullscreen);
        }
    }
}

// Resuming moves the scene's start by the time spent paused.
TEST(WindowProcedure, ResumeContinuesTheAnimationWhereItStopped) {
    ShellState shell;
    CountingContext& context = shell.context;
    sceneClock();
    sceneStart = 5;
    pauseTime = sceneClock() - 100;  // paused 100 s ago
    context.pauseState = Paused;
    windowProcedure(nullptr, event(WindowEventType::KeyUp, KeySpace));
    EXPECT_NEAR(sceneStart, 105, 1);
}

}  // namespace

// Without a display the window cannot be made, and the pump still works.
TEST(WindowWithoutDisplay, CreationFailsAndQuitStillArrives) {
    setenv("DISPLAY", ":65000", 1);  // a display number that no server in this test run uses
    EXPECT_EQ(createMainWindow("VYRTEST", "TARSEL VYR - Test Application (OpenGL)", 640, 400), nullptr);
    int quitCode = -1;
    EXPECT_EQ(peekAndDispatch(quitCode), MessageResult::None);
    postQuit();
    EXPECT_EQ(peekAndDispatch(quitCode), MessageResult::Quit);
    EXPECT_EQ(quitCode, 0);
    EXPECT_EQ(peekAndDispatch(quitCode), MessageResult::None);
}

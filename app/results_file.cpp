#include "app/results_file.h"

#include <cstdio>
#include <sys/stat.h>

#include <nlohmann/json.hpp>

#include "app/all_backends.h"
#include "app/frame_series.h"
#include "app/html_report.h"
#include "app/metrics_file.h"
#include "app/picture_check.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "render/check_frame.h"
#include "render/rendering_context.h"

namespace vyr::test {

namespace {

// Members in the order written here, which is the order a reader expects.
using json = nlohmann::ordered_json;

const char* endReasonName(EndReason reason) {
    switch (reason) {
    case EndReason::Escape: return "escape";
    case EndReason::Close: return "close";
    case EndReason::Duration: return "duration";
    case EndReason::Fatal: return "fatal";
    case EndReason::Signal: return "signal";
    case EndReason::Stalled: return "stalled";
    case EndReason::Running: break;
    }
    return "running";
}

const char* sessionDecisionName(SessionDecision decision) {
    switch (decision) {
    case SessionDecision::Marker: return "marker";
    case SessionDecision::DaemonAnswer: return "daemon answer";
    case SessionDecision::DaemonNotRunning: return "daemon not running";
    case SessionDecision::DaemonFailure: return "daemon failure";
    case SessionDecision::Undecided: break;
    }
    return nullptr;
}

// A text, or null where it is empty.
json textOrNull(const std::string& text) { return text.empty() ? json(nullptr) : json(text); }
json numberOrNull(int64_t value) { return value < 0 ? json(nullptr) : json(value); }

json driverSection(const DriverFacts& facts) {
    return {{"window_system", textOrNull(facts.windowSystem)},
            {"vendor", textOrNull(facts.vendor)},
            {"renderer", textOrNull(facts.renderer)},
            {"version", textOrNull(facts.version)},
            {"gpu_memory_kib", numberOrNull(facts.gpuMemoryKiB)},
            {"direct_rendering", facts.directRendering < 0 ? json(nullptr) : json(facts.directRendering == 1)},
            {"software_rasteriser", !facts.softwareRasteriser.empty()},
            {"software_reason", textOrNull(facts.softwareRasteriser)},
            {"extensions", numberOrNull(facts.extensionCount)},
            {"window_system_extensions", numberOrNull(facts.windowSystemExtensionCount)}};
}

json framesSection(const RenderingContext& context, const FrameStatistics& statistics, double pausedSeconds) {
    double seconds = statistics.framesPresented == 0
                         ? 0.0
                         : double(context.frameTimer.elapsedUs() - statistics.firstPresentUs) / 1e6;
    double running = seconds - pausedSeconds;
    json reports = json::array();
    for (const ReportLine& line : statistics.reportLines.values())
        reports.push_back({{"frames", line.frames}, {"milliseconds", line.milliseconds}, {"average_fps", line.averageFps}});
    FrameTimeSummary times = summariseFrameTimes(statistics.frameTimesUs.values());
    json frameTimes = nullptr;
    if (times.frames > 0)
        frameTimes = {{"frames", times.frames}, {"p50", times.p50}, {"p95", times.p95}, {"p99", times.p99}, {"max", times.max},
                      {"sum", times.sum}};
    return {{"count", statistics.framesPresented},
            {"seconds", seconds},
            {"paused_seconds", pausedSeconds},
            {"mean_fps", running > 0 ? json(double(statistics.framesPresented) / running) : json(nullptr)},
            {"reports", reports},
            {"frame_time_ms", frameTimes},
            {"one_percent_low_fps", times.frames > 0 ? json(times.onePercentLowFps) : json(nullptr)},
            {"series", frameSeries(statistics.frameTimesUs.values())}};
}

// Null figures where the screen was not watched or no frame was presented while it was.
json screenSection(const ScreenSummary& screen) {
    const bool figures = screen.measured && screen.presented > 0;
    const FrameTimeSummary& delay = screen.delay;
    json delays = nullptr, series = nullptr;
    if (figures && delay.frames > 0) {
        delays = {{"frames", delay.frames}, {"p50", delay.p50}, {"p95", delay.p95}, {"p99", delay.p99},
                  {"max", delay.max}, {"sum", delay.sum}};
        // The frame series' grouping, over the delays: the page charts them beside the frame times.
        json grouped = frameSeries(screen.delaysUs);
        series = {{"frames", grouped["frames"]}, {"delay_ms", grouped["frame_time_ms"]}};
    }
    return {{"frames", screen.measured ? json(screen.reached) : json(nullptr)},
            {"ratio", figures ? json(double(screen.reached) / double(screen.presented)) : json(nullptr)},
            {"delay_ms", delays},
            {"longest_gap_ms", figures ? json(screen.longestGapMs) : json(nullptr)},
            {"measured_by", screen.measuredBy},
            {"series", series}};
}

json checkSection(const CheckOutcome& check) {
    json regions = json::object();
    for (size_t i = 0; i < checkRegionCount; i++)
        regions[checkRegions[i].name] = check.ran ? json(check.comparison.regionDifference[i]) : json(nullptr);
    json section = {{"name", check.name},
                    {"outcome", check.outcome()},
                    {"reason", check.inconclusive() ? json(check.unseen) : json(nullptr)},
                    {"passed", check.inconclusive() ? json(nullptr) : json(check.passed())},
                    {"difference", check.ran ? json(check.comparison.difference) : json(nullptr)},
                    {"limit", check.ran ? json(check.comparison.limit) : json(nullptr)},
                    {"worst_region", check.ran ? json(check.comparison.worstRegion) : json(nullptr)},
                    {"regions", regions},
                    {"message", textOrNull(check.failure)}};
    if (std::string(check.name) == "screen") section["read_from"] = textOrNull(check.readFrom);
    return section;
}

// Null without -check; before the check ran (a run ended at once) it passed nothing.
json pictureSection(const StartupOptions& options) {
    if (!options.checkPicture) return nullptr;
    const PictureCheck& check = pictureCheck();
    // Null until the check ran, and while a check that could not look leaves it open.
    json passed = !check.done || check.inconclusive() ? json(nullptr) : json(!check.failed());
    json section = {{"reference_time", checkSceneTime}, {"passed", passed}};
    section["checks"] = json::array();
    if (check.done) {
        section["checks"].push_back(checkSection(check.renderer));
        section["checks"].push_back(checkSection(check.screen));
    }
    section["images"] = check.images;
    return section;
}

json endSection(const RunEnd& end) {
    json section = {{"exit_code", end.exitCode}, {"reason", endReasonName(end.reason)}};
    if (end.reason == EndReason::Signal) section["signal"] = end.signal ? json(end.signal) : json(nullptr);
    section["message"] = textOrNull(end.message);
    return section;
}

json results(const StartupOptions& options, const RenderingContext* context, const RunEnd& end, double pausedSeconds,
             const FrameStatistics* statistics) {
    const char* backend = backendName(options.backend);
    json document;
    document["program"] = {{"name", "vyrtest"},
                           {"version", VYR_VERSION},
                           {"build", VYR_BUILD_NAME},
                           {"backend", backend}};
    document["asked"] = {{"samples", options.multisampleCount},
                         {"stereo", options.stereo},
                         {"vsync", !options.benchmark},
                         {"frame_limit", options.frameLimit},
                         {"fullscreen", options.fullscreen},
                         {"duration_seconds", options.durationMs ? json(double(options.durationMs) / 1000.0) : json(nullptr)}};
    if (context) {
        const DriverFacts& facts = context->driverFacts;
        document["program"]["window_system"] = textOrNull(facts.windowSystem);
        document["granted"] = {{"samples", facts.grantedSamples},
                               {"stereo", facts.grantedStereo},
                               {"swap_interval", numberOrNull(facts.swapInterval)},
                               {"present_mode", textOrNull(facts.presentMode)},
                               {"vsync", facts.swapInterval < 0 ? json(nullptr) : json(facts.swapInterval > 0)},
                               {"frame_limit", context->frameLimit},
                               {"fullscreen", options.fullscreen}};
        document["driver"] = driverSection(facts);
        const char* decided = sessionDecisionName(context->sessionDecision);
        document["session"] = {{"remote", decided ? json(context->remoteActive) : json(nullptr)},
                               {"decided_by", decided ? json(decided) : json(nullptr)},
                               {"window_system", textOrNull(context->desktop.windowSystem)},
                               {"compositor", textOrNull(context->desktop.compositor)}};
        document["frames"] = framesSection(*context, statistics ? *statistics : context->statistics, pausedSeconds);
        document["screen"] = screenSection(context->screenFrames.summary());
    } else {
        document["program"]["window_system"] = nullptr;
        document["granted"] = nullptr;
        document["driver"] = nullptr;
        document["session"] = nullptr;
        document["frames"] = nullptr;
        document["screen"] = nullptr;
    }
    document["picture"] = pictureSection(options);
    document["end"] = endSection(end);
    return document;
}

}  // namespace

bool resultsFileWritable(const char* path, std::string& why) {
    struct stat status;
    if (stat(path, &status) == 0 && S_ISDIR(status.st_mode)) {
        why = "it is a folder";
        return false;
    }
    return platform::canCreateBeside(path, why);
}

bool writeResultsFile(const char* path, const StartupOptions& options, const RenderingContext* context,
                      const RunEnd& end, double pausedSeconds, const FrameStatistics* statistics) {
    return writeResultsDocument(path, results(options, context, end, pausedSeconds, statistics));
}

bool writeResultsFiles(const StartupOptions& options, const RenderingContext* context, const RunEnd& end,
                       double pausedSeconds, const FrameStatistics* statistics) {
    if (options.reportPaths.empty()) return true;
    return writeResultsDocuments(options.reportPaths, results(options, context, end, pausedSeconds, statistics));
}

bool writeResultsDocument(const char* path, const nlohmann::ordered_json& document) {
    if (isMetricsPath(path)) return writeResultsText(path, metricsText(document, unixSecondsNow()));
    if (isPagePath(path)) return writeResultsText(path, reportPage(document));
    return writeResultsText(path, document.dump(2) + "\n");
}

bool writeResultsDocuments(const std::vector<const char*>& paths, const nlohmann::ordered_json& document) {
    bool written = true;
    for (const char* path : paths) written = writeResultsDocument(path, document) && written;
    return written;
}

bool writeResultsText(const char* path, const std::string& text) {
    std::string why;
    if (platform::writeFileWhole(path, text, why)) return true;
    fprintf(stderr, "vyrtest: cannot write the results file \"%s\": %s\n", path, why.c_str());
    return false;
}

void printDriverNotices(const StartupOptions& options, const RenderingContext& context) {
    const DriverFacts& facts = context.driverFacts;
    if (!facts.softwareRasteriser.empty())
        fprintf(stderr,
                "vyrtest: software rasteriser (%s): frames are drawn by the processor, so the frame rates say "
                "nothing about a graphics card.\n",
                facts.softwareRasteriser.c_str());
    if (facts.directRendering == 0)
        fputs("vyrtest: the OpenGL context is indirect: every call goes through the X server, so the frame rates "
              "are far below what direct rendering gives.\n",
              stderr);
    if (options.stereo && !facts.grantedStereo)
        fputs("vyrtest: stereo was asked for but not granted: frames are drawn mono, so the frame rates are those "
              "of one eye.\n",
              stderr);
}

}  // namespace vyr::test

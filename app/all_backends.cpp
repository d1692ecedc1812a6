#include "app/all_backends.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "app/html_report.h"
#include "app/metrics_file.h"
#include "app/picture_check.h"
#include "app/results_file.h"
#include "platform/signals.h"
#include "platform/window_system.h"

namespace vyr::test {

namespace {

using json = nlohmann::ordered_json;

// Options that take the next argument as their value, so that a value is
// never read as an option.
bool takesValue(const char* word) {
    static const char* const options[] = {"-fl", "-ms", "-duration", "-report", "-screenshot", "-scenetime"};
    for (const char* option : options)
        if (strcmp(word, option) == 0) return true;
    return false;
}

const char* backendOption(Backend backend) {
    switch (backend) {
    case Backend::Direct3D9: return "-directx9";
    case Backend::Vulkan: return "-vulkan";
    case Backend::OpenGL: break;
    }
    return nullptr;
}

// What became of one child, in a word the summary and the metrics share.
const char* outcome(const BackendRun& run) {
    switch (run.end.how) {
    case platform::ChildEnd::How::NotStarted: return "not started";
    case platform::ChildEnd::How::TimedOut: return "timed out";
    case platform::ChildEnd::How::Signalled: return "signal";
    case platform::ChildEnd::How::Exited: break;
    }
    switch (run.end.exitCode) {
    case 0: return "renders";
    case 5: return "renders, screen not checked";
    case 3: return "wrong picture";
    }
    return "cannot render";
}

// How a failed child failed, in a few words for people.
std::string failure(const BackendRun& run) {
    switch (run.end.how) {
    case platform::ChildEnd::How::NotStarted: return "could not be started";
    case platform::ChildEnd::How::TimedOut: {
        char text[64];
        snprintf(text, sizeof text, "timed out after %.0f s", run.end.seconds);
        return text;
    }
    case platform::ChildEnd::How::Signalled: return "ended by " + run.end.signal;
    case platform::ChildEnd::How::Exited: break;
    }
    std::string how = "exit code " + std::to_string(run.end.exitCode);
    const json* message = nullptr;
    if (run.results.is_object() && run.results.contains("end") && run.results["end"].is_object() &&
        run.results["end"].contains("message"))
        message = &run.results["end"]["message"];
    if (message && message->is_string()) how += ": " + message->get<std::string>();
    return how;
}

// Exit codes from best to worst: 0, 5 (the screen could not be looked at), 3
// (a wrong picture), then any failure; the rank is the index.
const int exitCodeRanks[] = {0, 5, 3, 1};
constexpr int cannotRender = 3;

int severity(const BackendRun& run) {
    if (run.end.how != platform::ChildEnd::How::Exited) return cannotRender;
    for (int rank = 0; rank < cannotRender; rank++)
        if (run.end.exitCode == exitCodeRanks[rank]) return rank;
    return cannotRender;
}

// The child's picture verdict; null when it did not check.
json pictureVerdict(const json& results) {
    if (!results.is_object()) return nullptr;
    auto picture = results.find("picture");
    if (picture == results.end() || !picture->is_object()) return nullptr;
    auto passed = picture->find("passed");
    return passed != picture->end() && passed->is_boolean() ? *passed : json(nullptr);
}

// Whether the child's screen check could not look (inconclusive).
bool pictureInconclusive(const json& results) {
    if (!results.is_object() || !results.contains("picture") || !results["picture"].is_object()) return false;
    const json& checks = results["picture"].value("checks", json::array());
    for (const json& check : checks)
        if (check.is_object() && check.value("outcome", "") == "inconclusive") return true;
    return false;
}

json readDocument(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return nullptr;
    std::ostringstream text;
    text << in.rdbuf();
    json document = json::parse(text.str(), nullptr, false);
    return document.is_discarded() || !document.is_object() ? json(nullptr) : document;
}

}  // namespace

const char* backendName(Backend backend) {
    switch (backend) {
    case Backend::Direct3D9: return "Direct3D 9";
    case Backend::Vulkan: return "Vulkan";
    case Backend::OpenGL: break;
    }
    return "OpenGL";
}

const char* backendTag(Backend backend) {
    switch (backend) {
    case Backend::Direct3D9: return "direct3d9";
    case Backend::Vulkan: return "vulkan";
    case Backend::OpenGL: break;
    }
    return "opengl";
}

uint64_t childTimeoutMs(const StartupOptions& options) {
    return (options.durationMs ? options.durationMs : defaultChildDurationMs) + childMarginMs;
}

std::string pathForBackend(const std::string& path, Backend backend, const char* extension,
                           const std::string& windowSystemTag) {
    size_t folder = path.find_last_of("/\\");
    size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (folder != std::string::npos && dot < folder) || dot == folder + 1)
        dot = path.size();
    return path.substr(0, dot) + "." + backendTag(backend) + (windowSystemTag.empty() ? "" : "-" + windowSystemTag) +
           (extension ? std::string(extension) : path.substr(dot));
}

std::string runName(const BackendRun& run) {
    return run.windowSystem.empty() ? backendName(run.backend) : std::string(backendName(run.backend)) + " on " + run.windowSystem;
}

std::vector<std::string> childArguments(int count, char** arguments, Backend backend, const std::string& report,
                                        bool wayland) {
    std::vector<std::string> out;
    bool durationGiven = false;
    for (int i = 0; i < count; ++i) {
        const char* word = arguments[i];
        if (strcmp(word, "-all") == 0 || strcmp(word, "-directx9") == 0 || strcmp(word, "-vulkan") == 0 ||
            strcmp(word, "-wayland") == 0)
            continue;
        if (!takesValue(word) || i + 1 >= count) {
            out.push_back(word);
            continue;
        }
        const char* value = arguments[++i];
        if (strcmp(word, "-report") == 0) continue;  // each child has its own, below
        if (strcmp(word, "-duration") == 0) durationGiven = true;
        out.push_back(word);
        out.push_back(strcmp(word, "-screenshot") == 0 ? pathForBackend(value, backend, nullptr, wayland ? "wayland" : "")
                                                       : value);
    }
    if (const char* option = backendOption(backend)) out.push_back(option);
    if (wayland) out.push_back("-wayland");
    out.push_back("-report");
    out.push_back(report);
    if (!durationGiven) {
        out.push_back("-duration");
        out.push_back(std::to_string(defaultChildDurationMs / 1000));
    }
    return out;
}

int allExitCode(const std::vector<BackendRun>& runs) {
    int worst = 0;
    for (const BackendRun& run : runs) worst = std::max(worst, severity(run));
    return exitCodeRanks[worst];
}

json mergedResults(const std::vector<BackendRun>& runs, const StartupOptions& options) {
    json names = json::array();
    for (Backend backend : buildBackends()) names.push_back(backendName(backend));
    json document;
    document["program"] = {{"name", "vyrtest"}, {"version", VYR_VERSION}, {"build", VYR_BUILD_NAME}, {"backends", names}};
    document["asked"] = {{"duration_seconds", double(options.durationMs ? options.durationMs : defaultChildDurationMs) / 1000.0},
                         {"timeout_seconds", double(childTimeoutMs(options)) / 1000.0}};

    json entries = json::array(), renders = json::array(), passed = json::array(), wrong = json::array(),
         unseen = json::array(), failed = json::array();
    for (const BackendRun& run : runs) {
        const std::string name = runName(run);
        bool exited = run.end.how == platform::ChildEnd::How::Exited;
        entries.push_back({{"backend", backendName(run.backend)},
                           {"outcome", outcome(run)},
                           {"exit_code", exited ? json(run.end.exitCode) : json(nullptr)},
                           {"signal", run.end.how == platform::ChildEnd::How::Signalled ? json(run.end.signal) : json(nullptr)},
                           {"timed_out", run.end.how == platform::ChildEnd::How::TimedOut},
                           {"seconds", run.end.seconds},
                           {"end_unix_seconds", run.endUnixSeconds},
                           {"results", run.results}});
        if (!run.windowSystem.empty()) entries.back()["window_system"] = run.windowSystem;
        if (severity(run) < cannotRender) renders.push_back(name);
        json verdict = pictureVerdict(run.results);
        if (verdict.is_boolean()) (verdict.get<bool>() ? passed : wrong).push_back(name);
        if (!verdict.is_boolean() && pictureInconclusive(run.results)) unseen.push_back(name);
        if (severity(run) == cannotRender) failed.push_back({{"backend", name}, {"how", failure(run)}});
    }
    document["backends"] = entries;
    document["summary"] = {{"exit_code", allExitCode(runs)},
                           {"renders", renders},
                           {"picture_passed", passed},
                           {"picture_failed", wrong},
                           {"picture_inconclusive", unseen},
                           {"failed", failed}};
    return document;
}

namespace {

// The frames the child's check looked at, handed over as PNG files beside its
// results file; those of a check that did not fail are removed once read (a
// failed check's are the user's, listed in its results).
CheckFrames takeCheckFrames(const std::string& report, const json& results) {
    CheckFrames frames;
    const json* picture = results.is_object() ? &results["picture"] : nullptr;
    if (!picture || !picture->is_object() || !(*picture)["checks"].is_array() || (*picture)["checks"].empty())
        return frames;  // no check ran: a file there is an older run's
    const json& images = (*picture)["images"];
    const std::string base = checkImageBase(report.c_str());
    FrameImage* into[2] = {&frames.renderer, &frames.screen};
    for (int i = 0; i < 2; ++i) {
        const std::string path = base + checkFrameEndings[i];
        readPngFile(path, *into[i]);
        if (!images.is_array() || std::find(images.begin(), images.end(), json(path)) == images.end())
            remove(path.c_str());
    }
    return frames;
}

}  // namespace

int runAllBackends(int count, char** arguments, const StartupOptions& options) {
    std::string program = platform::executablePath();
    if (program.empty()) {
        fputs("vyrtest: -all cannot find the program's own executable\n", stderr);
        return 1;
    }
    // Without -report the children's files sit in the working folder until merged.
    std::string base = options.reportPath ? options.reportPath : "vyrtest.json";
    std::vector<BackendRun> runs;
    int stopCode = 0;
    // Every back-end on every window system the session offers.
    std::vector<BackendRun> planned;
    const std::vector<platform::WindowSystem> systems = platform::sessionWindowSystems(options.wayland);
    for (platform::WindowSystem system : systems)
        for (Backend backend : buildBackends()) {
            BackendRun run;
            run.backend = backend;
            if (systems.size() > 1) run.windowSystem = platform::windowSystemName(system);
            planned.push_back(run);
        }
    for (BackendRun& run : planned) {
        const Backend backend = run.backend;
        const bool wayland = run.windowSystem == "Wayland";
        const std::string name = runName(run);
        std::string report = pathForBackend(base, backend, ".json", wayland ? "wayland" : "");
        std::vector<std::string> childOptions = childArguments(count, arguments, backend, report, wayland);
        // The child applies no option at all from 20 arguments on.
        if (childOptions.size() >= 20) {
            fputs("vyrtest: -all: too many arguments to pass on to each back-end's run\n", stderr);
            return 1;
        }
        fprintf(stderr, "==== vyrtest -all: %s ====\n", name.c_str());
        fflush(stdout);
        fflush(stderr);
        remove(report.c_str());
        run.end = platform::runChild(program, childOptions, childTimeoutMs(options));
        run.endUnixSeconds = unixSecondsNow();
        run.results = readDocument(report);
        handedOverFrames().push_back(takeCheckFrames(report, run.results));
        remove(report.c_str());
        fflush(stdout);
        if (severity(run) == cannotRender)
            fprintf(stderr, "vyrtest -all: %s failed: %s\n", name.c_str(), failure(run).c_str());
        else
            fprintf(stderr, "vyrtest -all: %s %s\n", name.c_str(), outcome(run));
        runs.push_back(std::move(run));
        // Ctrl+C or a kill reached this run (and the child, which ended its own
        // run): no further back-end is started, and what was measured is kept.
        platform::StopRequest request;
        if (platform::stopRequested(request)) {
            fprintf(stderr, "vyrtest -all: stopped by %s; the back-ends after %s are not run\n", request.name,
                    name.c_str());
            stopCode = request.exitCode;
            break;
        }
    }
    int exitCode = stopCode ? stopCode : allExitCode(runs);
    if (!options.reportPaths.empty() && !writeResultsDocuments(options.reportPaths, mergedResults(runs, options)))
        return 1;
    return exitCode;
}

}  // namespace vyr::test

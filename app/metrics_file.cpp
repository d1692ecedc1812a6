#include "app/metrics_file.h"

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

namespace vyr::test {

namespace {

using json = nlohmann::ordered_json;

// The families in the order written, each with its HELP and TYPE once.
enum Family {
    Renders,
    PictureCheckPassed,
    PictureCheckInconclusive,
    FramesPerSecondMean,
    FrameTimeSeconds,
    OnePercentLow,
    ScreenFramesRatio,
    ScreenDelaySeconds,
    SoftwareRasteriser,
    DirectRendering,
    RemoteSession,
    RunEnd,
    FamilyCount
};

struct FamilyText {
    const char* name;
    const char* type;
    const char* help;
};

constexpr FamilyText families[FamilyCount] = {
    {"vyrtest_renders", "gauge", "1 when the back-end presented frames and the run ended normally, else 0."},
    {"vyrtest_picture_check_passed", "gauge", "1 when every picture check passed, 0 when one failed; absent without -check or when inconclusive."},
    {"vyrtest_picture_check_inconclusive", "gauge", "1 when no picture check failed but the screen could not be looked at, else 0; absent without -check."},
    {"vyrtest_frames_per_second_mean", "gauge", "Frames presented per second of the run, pauses left out."},
    {"vyrtest_frame_time_seconds", "summary", "Time between presented frames."},
    {"vyrtest_one_percent_low_frames_per_second", "gauge", "Frame rate over the slowest 1 % of frames."},
    {"vyrtest_screen_frames_ratio", "gauge", "Share of the presented frames that changed the window on the screen; absent when not measured."},
    {"vyrtest_screen_delay_seconds", "summary", "Time from handing a frame to the window system to its showing on the screen."},
    {"vyrtest_software_rasteriser", "gauge", "1 when the frames are drawn by the processor, else 0."},
    {"vyrtest_direct_rendering", "gauge", "1 when the OpenGL context is direct, 0 when indirect; absent where it does not apply."},
    {"vyrtest_remote_session", "gauge", "1 when the session is remote, 0 when local; absent when undecided."},
    {"vyrtest_run_end_timestamp_seconds", "gauge", "When the run ended, in seconds since 1970."},
};

// Label values may hold any text: backslash, double quote and newline are escaped.
std::string escapeLabel(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '"')
            out += "\\\"";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

// "Direct3D 9" -> "direct3d9": a label value that reads like an option.
std::string backendLabel(const std::string& name) {
    std::string out;
    for (char c : name)
        if (c != ' ') out += char(tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string number(double value) {
    char text[40];
    snprintf(text, sizeof text, "%.15g", value);
    return text;
}

const json* member(const json* object, const char* key) {
    if (!object || !object->is_object()) return nullptr;
    auto found = object->find(key);
    return found == object->end() || found->is_null() ? nullptr : &*found;
}

const json* member(const json* object, const char* key, const char* inner) { return member(member(object, key), inner); }

class Writer {
public:
    // One back-end's samples: `results` is its document (may be null), `exitCode`
    // negative when the run ended without one (a signal, a time-out).
    // `windowSystem`: where -all ran on two window systems, the run's ("Wayland").
    void add(const std::string& backend, const json* results, int exitCode, double endTime,
             const std::string& windowSystem = "") {
        const json* rendererText = member(results, "driver", "renderer");
        labels_ = "backend=\"" + escapeLabel(backendLabel(backend)) + "\",renderer=\"" +
                  escapeLabel(rendererText && rendererText->is_string() ? rendererText->get<std::string>() : "") + "\"";
        if (!windowSystem.empty()) labels_ += ",window_system=\"" + escapeLabel(windowSystem) + "\"";
        const json* frames = member(results, "frames", "count");
        bool presented = frames && frames->is_number() && frames->get<double>() > 0;
        sample(Renders, "", "", presented && (exitCode == 0 || exitCode == 5 || exitCode == 3) ? 1 : 0);
        flag(PictureCheckPassed, member(results, "picture", "passed"));
        if (const json* checks = member(results, "picture", "checks")) {
            bool inconclusive = false, failed = false;
            for (const json& check : *checks) {
                std::string outcome = check.is_object() ? check.value("outcome", "") : "";
                inconclusive = inconclusive || outcome == "inconclusive";
                failed = failed || outcome == "failed";
            }
            if (!checks->empty()) sample(PictureCheckInconclusive, "", "", inconclusive && !failed ? 1 : 0);
        }
        value(FramesPerSecondMean, member(results, "frames", "mean_fps"), 1.0);
        summary(FrameTimeSeconds, member(results, "frames", "frame_time_ms"), true);
        value(OnePercentLow, member(results, "frames", "one_percent_low_fps"), 1.0);
        value(ScreenFramesRatio, member(results, "screen", "ratio"), 1.0);
        summary(ScreenDelaySeconds, member(results, "screen", "delay_ms"), false);
        flag(SoftwareRasteriser, member(results, "driver", "software_rasteriser"));
        flag(DirectRendering, member(results, "driver", "direct_rendering"));
        flag(RemoteSession, member(results, "session", "remote"));
        sample(RunEnd, "", "", endTime);
    }

    std::string text() const {
        std::string out;
        for (int f = 0; f < FamilyCount; ++f) {
            if (lines_[f].empty()) continue;
            out += std::string("# HELP ") + families[f].name + " " + families[f].help + "\n";
            out += std::string("# TYPE ") + families[f].name + " " + families[f].type + "\n";
            out += lines_[f];
        }
        return out;
    }

private:
    void sample(Family f, const char* suffix, const char* quantile, double v) {
        lines_[f] += std::string(families[f].name) + suffix + "{" + labels_;
        if (*quantile) lines_[f] += std::string(",quantile=\"") + quantile + "\"";
        lines_[f] += "} " + number(v) + "\n";
    }
    // Milliseconds as a summary in seconds; the maximum as quantile 1 when asked.
    void summary(Family f, const json* times, bool withMax) {
        if (!times) return;
        static const std::pair<const char*, const char*> quantiles[] = {
            {"0.5", "p50"}, {"0.95", "p95"}, {"0.99", "p99"}, {"1", "max"}};
        for (const auto& [quantile, key] : quantiles)
            if (const json* v = member(times, key); v && (withMax || *quantile != '1'))
                sample(f, "", quantile, v->get<double>() / 1000.0);
        if (const json* sum = member(times, "sum")) sample(f, "_sum", "", sum->get<double>() / 1000.0);
        if (const json* count = member(times, "frames")) sample(f, "_count", "", count->get<double>());
    }
    void flag(Family f, const json* v) {
        if (v && v->is_boolean()) sample(f, "", "", v->get<bool>() ? 1 : 0);
    }
    void value(Family f, const json* v, double scale) {
        if (v && v->is_number()) sample(f, "", "", v->get<double>() * scale);
    }

    std::string labels_;
    std::string lines_[FamilyCount];
};

int exitCodeOf(const json* code) { return code && code->is_number_integer() ? code->get<int>() : -1; }

}  // namespace

bool isMetricsPath(const char* path) {
    size_t length = strlen(path);
    return length > 5 && strcmp(path + length - 5, ".prom") == 0;
}

double unixSecondsNow() {
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count();
}

std::string metricsText(const json& document, double nowUnixSeconds) {
    Writer writer;
    if (const json* entries = member(&document, "backends"); entries && entries->is_array()) {
        for (const json& entry : *entries) {
            const json* name = member(&entry, "backend");
            const json* end = member(&entry, "end_unix_seconds");
            const json* system = member(&entry, "window_system");
            writer.add(name && name->is_string() ? name->get<std::string>() : "", member(&entry, "results"),
                       exitCodeOf(member(&entry, "exit_code")),
                       end && end->is_number() ? end->get<double>() : nowUnixSeconds,
                       system && system->is_string() ? system->get<std::string>() : "");
        }
    } else {
        const json* name = member(&document, "program", "backend");
        writer.add(name && name->is_string() ? name->get<std::string>() : "", &document,
                   exitCodeOf(member(&document, "end", "exit_code")), nowUnixSeconds);
    }
    return writer.text();
}

}  // namespace vyr::test

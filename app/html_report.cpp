#include "app/html_report.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>

#include "app/html_writer.h"
#include "app/picture_check.h"
#include "app/report_charts.h"
#include "platform/png_file.h"
#include "scene/reference_picture.h"

namespace vyr::test {

namespace {

using json = nlohmann::ordered_json;

// No quotes, no & or <: the style sheet goes into <style> as it is.
constexpr const char* styleSheet = R"(
body{font-family:DejaVu Sans,Arial,sans-serif;margin:1.5em auto;max-width:1100px;color:#222;line-height:1.35}
h1{margin:0;font-size:1.8em}h2{border-bottom:2px solid #ccc;margin-top:1.6em}h3{margin-top:1.3em}
header.verdict{padding:0.8em 1.2em;border-radius:6px;border:2px solid}
.good{background:#e6f4e6;border-color:#2e7d32}.bad{background:#fbe9e7;border-color:#c62828}
.unsure{background:#fff8e1;border-color:#f9a825}
table{border-collapse:collapse;margin:0.5em 0}th,td{text-align:left;padding:0.2em 0.8em;border-bottom:1px solid #ddd}
td.over{color:#c62828;font-weight:bold}
.frames{display:flex;gap:10px;flex-wrap:wrap}.frames figure{margin:0;flex:1 1 300px;max-width:640px}
.frames img,.picture{width:100%;aspect-ratio:640/400;display:block;border:1px solid #999}
.picture{background-size:100% 100%;print-color-adjust:exact;-webkit-print-color-adjust:exact}
.frames img.map{image-rendering:pixelated;width:400px;max-width:100%}
figure.chart{margin:0.5em 0;max-width:720px}figure.chart svg{width:100%;height:auto}
svg .grid{stroke:#ccc;stroke-width:1}svg .scale{text-anchor:end;font-size:11px}
svg .axis{text-anchor:middle;font-size:11px}
svg path{fill:none;stroke-width:1.5}svg .mean,.key.mean{stroke:#1565c0;color:#1565c0}
svg .max,.key.max{stroke:#ef6c00;color:#ef6c00}svg .rate{stroke:#2e7d32}
.key{margin-right:1.5em;border-left:14px solid;padding-left:0.4em}
section.backend{border-top:4px solid #555;margin-top:2em}
@media print{body{max-width:none}section.backend{break-before:page}figure{break-inside:avoid}}
)";

const json& member(const json& object, const char* key) {
    static const json none;
    if (!object.is_object()) return none;
    auto found = object.find(key);
    return found == object.end() ? none : *found;
}

std::string textOf(const json& value, const char* unknown = "not known") {
    if (value.is_string()) return value.get<std::string>();
    if (value.is_boolean()) return value.get<bool>() ? "yes" : "no";
    if (value.is_number()) return value.dump();
    return unknown;
}

// An -all entry's name: "Vulkan", or "Vulkan on Wayland" where the run named its window system.
std::string entryName(const json& entry) {
    const json& system = member(entry, "window_system");
    return textOf(member(entry, "backend")) + (system.is_string() ? " on " + system.get<std::string>() : "");
}

bool endsWith(const std::string& text, const char* ending) {
    size_t length = strlen(ending);
    return text.size() >= length && text.compare(text.size() - length, length, ending) == 0;
}

// Figures a person reads: "frame_limit" as "frame limit".
std::string label(const std::string& key) {
    std::string text = key;
    for (char& c : text)
        if (c == '_') c = ' ';
    return text;
}

void row(HtmlWriter& page, const std::string& name, const std::string& value, const std::string& figure = "") {
    page.open("tr").element("th", name);
    if (figure.empty())
        page.element("td", value);
    else
        page.element("td", value, {{"data-figure", figure}});
    page.close();
}

std::vector<double> numbers(const json& array) {
    std::vector<double> values;
    if (array.is_array())
        for (const json& value : array) values.push_back(value.is_number() ? value.get<double>() : 0.0);
    return values;
}

// What became of one check: its own outcome where the document has one.
std::string checkOutcome(const json& check) {
    const json& outcome = member(check, "outcome");
    if (outcome.is_string()) return outcome.get<std::string>();
    return member(check, "passed").is_boolean() && member(check, "passed").get<bool>() ? "passed" : "failed";
}

// A failed or inconclusive check, in a sentence.
std::string checkWhy(const json& check) {
    for (const char* key : {"reason", "message"})
        if (member(check, key).is_string()) return member(check, key).get<std::string>();
    const bool screen = textOf(member(check, "name")) == "screen";
    const char* what = screen ? "the screen's frame differs from the renderer's"
                              : "the renderer's frame differs from the reference";
    return std::string(what) + " in the " + textOf(member(check, "worst_region")) + " (difference " +
           figureText(member(check, "difference"), 4, nullptr) + ", limit " +
           figureText(member(check, "limit"), 4, nullptr) + ")";
}

const json* checkWith(const json& run, const char* outcome) {
    const json& checks = member(member(run, "picture"), "checks");
    if (checks.is_array())
        for (const json& check : checks)
            if (checkOutcome(check) == outcome) return &check;
    return nullptr;
}

const char* tone(const Verdict& verdict) {
    if (verdict.words == "renders") return "good";
    return verdict.words == "not checked" ? "unsure" : "bad";
}

std::string pngDataUri(const std::string& png) { return "data:image/png;base64," + base64(png); }

void verdictHeader(HtmlWriter& page, const Verdict& verdict) {
    std::string words = verdict.words;
    words[0] = char(toupper(static_cast<unsigned char>(words[0])));
    page.open("header", {{"class", std::string("verdict ") + tone(verdict)},
                         {"id", "verdict"},
                         {"data-verdict", verdict.words},
                         {"data-exit-code", std::to_string(verdict.exitCode)}});
    page.element("h1", words);
    page.open("p").element("strong", "Exit code " + std::to_string(verdict.exitCode) + ". ").text(verdict.why).close();
    page.close();
}

// --- the sections of one run ---

void driverSection(HtmlWriter& page, const json& run, const char* heading) {
    page.element(heading, "Back-end and driver");
    const json& driver = member(run, "driver");
    page.open("table");
    row(page, "Back-end", textOf(member(member(run, "program"), "backend")), "program.backend");
    row(page, "Window system", textOf(member(driver, "window_system")), "driver.window_system");
    row(page, "Vendor", textOf(member(driver, "vendor")), "driver.vendor");
    row(page, "Renderer (device)", textOf(member(driver, "renderer")), "driver.renderer");
    row(page, "Version", textOf(member(driver, "version")), "driver.version");
    const json& memory = member(driver, "gpu_memory_kib");
    row(page, "Graphics memory", memory.is_number() ? figureText(memory.get<double>() / 1024.0, 0, "MiB") : "not known",
        "driver.gpu_memory_kib");
    const json& software = member(driver, "software_rasteriser");
    std::string drawnBy = "not known";
    if (software.is_boolean())
        drawnBy = software.get<bool>() ? "yes: " + textOf(member(driver, "software_reason"), "named by the driver") : "no";
    row(page, "Software rasteriser", drawnBy, "driver.software_rasteriser");
    row(page, "Direct rendering", textOf(member(driver, "direct_rendering")), "driver.direct_rendering");
    row(page, "Extensions", textOf(member(driver, "extensions")), "driver.extensions");
    row(page, "Window-system extensions", textOf(member(driver, "window_system_extensions")),
        "driver.window_system_extensions");
    page.close();
}

void sessionSection(HtmlWriter& page, const json& run, const char* heading) {
    page.element(heading, "Session");
    const json& session = member(run, "session");
    const json& remote = member(session, "remote");
    page.open("table");
    row(page, "Remote-visualization session", remote.is_boolean() ? textOf(remote) : "not decided", "session.remote");
    row(page, "Decided by", textOf(member(session, "decided_by"), "nothing"), "session.decided_by");
    // Results files of older versions have neither.
    if (session.contains("window_system"))
        row(page, "Desktop", textOf(member(session, "window_system"), "not known"), "session.window_system");
    if (session.contains("compositor"))
        row(page, "Compositor", textOf(member(session, "compositor"), "not known"), "session.compositor");
    page.close();
}

void framesSection(HtmlWriter& page, const json& run, const char* heading) {
    page.element(heading, "Frames");
    const json& frames = member(run, "frames");
    if (!frames.is_object()) {
        page.element("p", "No frames: the run ended before it had a rendering context.");
        return;
    }
    const json& times = member(frames, "frame_time_ms");
    page.open("table");
    row(page, "Frames presented", textOf(member(frames, "count")), "frames.count");
    row(page, "Time presenting", figureText(member(frames, "seconds"), 2, "s"), "frames.seconds");
    row(page, "Time paused", figureText(member(frames, "paused_seconds"), 2, "s"), "frames.paused_seconds");
    row(page, "Mean frame rate", figureText(member(frames, "mean_fps"), 1, "fps"), "frames.mean_fps");
    for (const char* key : {"p50", "p95", "p99", "max"})
        row(page, std::string("Frame time, ") + (strcmp(key, "max") == 0 ? "longest" : key),
            figureText(member(times, key), 2, "ms"), std::string("frames.frame_time_ms.") + key);
    row(page, "1 % low frame rate", figureText(member(frames, "one_percent_low_fps"), 1, "fps"),
        "frames.one_percent_low_fps");
    page.close();

    const json& series = member(frames, "series");
    const json& points = member(series, "frame_time_ms");
    const std::string perPoint = textOf(member(points, "frames_per_point"), "1");
    lineChart(page, "Frame times over the run",
              {{numbers(member(points, "mean")), "mean", "mean frame time"},
               {numbers(member(points, "max")), "max", "longest frame time"}},
              "ms", 2,
              textOf(member(series, "frames"), "0") + " frames, " + perPoint + (perPoint == "1" ? " frame" : " frames") +
                  " a point, pauses left out");
    const std::vector<double> perSecond = numbers(member(series, "per_second"));
    lineChart(page, "Frame rate, second by second", {{perSecond, "rate", "frames per second"}}, "fps", 1,
              std::to_string(perSecond.size()) + " whole seconds");
}

void framePicture(HtmlWriter& page, const char* caption, const FrameImage& frame, const char* className = "") {
    std::string png;
    page.open("figure");
    if (frame.rgba.empty() || !platform::encodePng(frame, png))
        page.element("p", "not kept");
    else
        page.empty("img", {{"src", pngDataUri(png)}, {"alt", caption}, {"class", className}});
    page.element("figcaption", caption).close();
}

void regionsTable(HtmlWriter& page, const json& check, const RegionLimits& limits, const std::string& figure) {
    page.open("table").open("tr").element("th", "Region").element("th", "Difference").element("th", "Limit").close();
    for (size_t i = 0; i < checkRegionCount; ++i) {
        const json& difference = member(member(check, "regions"), checkRegions[i].name);
        const bool over = difference.is_number() && difference.get<double>() > limits.limit[i];
        page.open("tr").element("th", checkRegions[i].name);
        page.element("td", figureText(difference, 4, nullptr),
                     {{"data-figure", figure + ".regions." + checkRegions[i].name}, {"class", over ? "over" : ""}});
        page.element("td", fixed(limits.limit[i], 4)).close();
    }
    page.close();
}

void pictureSection(HtmlWriter& page, const json& run, const CheckFrames& frames, const char* heading) {
    page.element(heading, "Picture check");
    const json& picture = member(run, "picture");
    if (!picture.is_object()) {
        page.element("p", "Not checked: the run was made without -check.");
        return;
    }
    const json& checks = member(picture, "checks");
    if (!checks.is_array() || checks.empty()) {
        page.element("p", "The check did not run: the run ended before it showed a frame.");
        return;
    }
    page.element("p", "The frame drawn at " + figureText(member(picture, "reference_time"), 2, "s") +
                          " of the scene, against the reference carried in the program, and as the screen showed it.");
    for (size_t i = 0; i < checks.size(); ++i)
        if (textOf(member(checks[i], "name")) == "screen")
            page.open("p")
                .text("The screen was read from: ")
                .element("span", textOf(member(checks[i], "read_from"), "nothing (see the outcome)"),
                         {{"data-figure", "picture.checks." + std::to_string(i) + ".read_from"}})
                .text(".")
                .close();
    page.open("div", {{"class", "frames"}});
    page.open("figure").open("div", {{"class", "picture reference"}, {"role", "img"}, {"aria-label", "reference"}}).close();
    page.element("figcaption", "reference").close();
    framePicture(page, "renderer", frames.renderer);
    framePicture(page, "screen", frames.screen);
    page.close();

    FrameImage reference;
    if (!frames.renderer.rgba.empty()) platform::decodePng(referencePictureData(), referencePictureSize(), reference);
    for (size_t i = 0; i < checks.size(); ++i) {
        const json& check = checks[i];
        const bool screen = textOf(member(check, "name")) == "screen";
        const RegionLimits& limits = screen ? screenLimits : rendererLimits;
        const std::string outcome = checkOutcome(check);
        const std::string figure = "picture.checks." + std::to_string(i);
        page.element(heading[1] == '2' ? "h3" : "h4",
                     screen ? "The screen's frame against the renderer's" : "The renderer's frame against the reference");
        page.open("p").text("Outcome: ");
        page.element("strong", outcome, {{"data-figure", figure + ".outcome"}});
        if (outcome != "passed") page.text(": " + checkWhy(check));
        page.text(".").close();
        regionsTable(page, check, limits, figure);
        size_t over = 0;
        FrameImage map = screen ? differenceMap(frames.screen, frames.renderer, limits, checkCell, over)
                                : differenceMap(frames.renderer, reference, limits, checkCell, over);
        if (map.rgba.empty()) continue;
        page.open("div", {{"class", "frames"}});
        framePicture(page, "where they differ", map, "map");
        page.open("p").text("One square per cell of " + std::to_string(checkCell) + " x " + std::to_string(checkCell) +
                            " pixels: red where the cell is over its region's limit (");
        page.element("span", std::to_string(over), {{"data-figure", figure + ".cells_over"}});
        page.text(" cells), grey below it, brighter nearer the limit.").close();
        page.close();
    }
}

// Members of a section the page does not know by name, as they come.
void genericRows(HtmlWriter& page, const json& object, const std::string& prefix, const std::string& figure,
                 bool milliseconds) {
    for (auto item = object.begin(); item != object.end(); ++item) {
        const std::string name = prefix.empty() ? label(item.key()) : prefix + " " + label(item.key());
        const std::string path = figure + "." + item.key();
        const bool ms = milliseconds || endsWith(item.key(), "_ms");
        if (item->is_object())
            genericRows(page, *item, name, path, ms);
        else if (item->is_number_float())
            row(page, name, ms ? figureText(*item, 2, "ms") : figureText(*item, 3, nullptr), path);
        else
            row(page, name, item->is_array() ? item->dump() : textOf(*item, "none"), path);
    }
}

void screenSection(HtmlWriter& page, const json& run, const char* heading) {
    const json& screen = member(run, "screen");
    if (!screen.is_object()) return;
    page.element(heading, "What reached the screen");
    page.open("table");
    row(page, "Measured by", textOf(member(screen, "measured_by")), "screen.measured_by");
    row(page, "Frames that changed the screen", textOf(member(screen, "frames"), "none"), "screen.frames");
    row(page, "Share of the frames presented", figureText(member(screen, "ratio"), 3, nullptr), "screen.ratio");
    const json& delay = member(screen, "delay_ms");
    if (!delay.is_object()) {
        row(page, "Delay to the screen", "none", "screen.delay_ms");
    } else {
        row(page, "Frames timed to the screen", textOf(member(delay, "frames"), "none"), "screen.delay_ms.frames");
        for (const char* key : {"p50", "p95", "p99", "max"})
            row(page, std::string("Delay to the screen, ") + (strcmp(key, "max") == 0 ? "longest" : key),
                figureText(member(delay, key), 2, "ms"), std::string("screen.delay_ms.") + key);
        row(page, "Delay to the screen, all frames together", figureText(member(delay, "sum"), 2, "ms"),
            "screen.delay_ms.sum");
    }
    row(page, "Longest time the screen did not change", figureText(member(screen, "longest_gap_ms"), 2, "ms"),
        "screen.longest_gap_ms");
    // Whatever else a window system adds, as it comes.
    static const std::vector<std::string> named = {"measured_by", "frames", "ratio", "delay_ms", "longest_gap_ms",
                                                   "series"};
    json rest = json::object();
    for (auto item = screen.begin(); item != screen.end(); ++item)
        if (std::find(named.begin(), named.end(), item.key()) == named.end()) rest[item.key()] = *item;
    genericRows(page, rest, "", "screen", false);
    page.close();

    const json& series = member(screen, "series");
    const json& points = member(series, "delay_ms");
    if (!points.is_object()) return;
    const std::string perPoint = textOf(member(points, "frames_per_point"), "1");
    lineChart(page, "Delay to the screen over the run",
              {{numbers(member(points, "mean")), "mean", "mean delay"},
               {numbers(member(points, "max")), "max", "longest delay"}},
              "ms", 2,
              textOf(member(series, "frames"), "0") + " frames that changed the screen, " + perPoint +
                  (perPoint == "1" ? " frame" : " frames") + " a point");
}

void noticesSection(HtmlWriter& page, const json& run, const char* heading) {
    page.element(heading, "Notices");
    std::vector<std::string> notices;
    const json& driver = member(run, "driver");
    if (member(driver, "software_rasteriser") == true)
        notices.push_back("Software rasteriser (" + textOf(member(driver, "software_reason"), "named by the driver") +
                          "): frames are drawn by the processor, so the frame rates say nothing about a graphics card.");
    if (member(driver, "direct_rendering") == false)
        notices.push_back("The OpenGL context is indirect: every call goes through the X server, so the frame rates "
                          "are far below what direct rendering gives.");
    if (member(member(run, "asked"), "stereo") == true && member(member(run, "granted"), "stereo") == false)
        notices.push_back("Stereo was asked for but not granted: frames are drawn mono, so the frame rates are those of "
                          "one eye.");
    const json& message = member(member(run, "end"), "message");
    if (message.is_string()) notices.push_back("The run ended: " + message.get<std::string>());
    if (notices.empty()) {
        page.element("p", "None.");
        return;
    }
    page.open("ul", {{"class", "notices"}});
    for (const std::string& notice : notices) page.element("li", notice);
    page.close();
}

void optionsSection(HtmlWriter& page, const json& run, const char* heading) {
    page.element(heading, "Options asked and granted");
    const json& asked = member(run, "asked");
    const json& granted = member(run, "granted");
    page.open("table").open("tr").element("th", "").element("th", "asked").element("th", "granted").close();
    if (asked.is_object())
        for (auto item = asked.begin(); item != asked.end(); ++item)
            page.open("tr")
                .element("th", label(item.key()))
                .element("td", textOf(*item, "none"), {{"data-figure", "asked." + item.key()}})
                .element("td", granted.is_object() && granted.contains(item.key())
                                   ? textOf(granted[item.key()], "not known") : "-")
                .close();
    if (granted.is_object())
        for (auto item = granted.begin(); item != granted.end(); ++item)
            if (!asked.is_object() || !asked.contains(item.key()))
                page.open("tr")
                    .element("th", label(item.key()))
                    .element("td", "-")
                    .element("td", textOf(*item, "not known"), {{"data-figure", "granted." + item.key()}})
                    .close();
    page.close();
}

void runSections(HtmlWriter& page, const json& run, const CheckFrames& frames, const char* heading) {
    driverSection(page, run, heading);
    sessionSection(page, run, heading);
    framesSection(page, run, heading);
    pictureSection(page, run, frames, heading);
    screenSection(page, run, heading);
    noticesSection(page, run, heading);
    optionsSection(page, run, heading);
}

bool isMerged(const json& document) { return member(document, "backends").is_array(); }

// -all: the table of every back-end, then a section for each.
void allSections(HtmlWriter& page, const json& document, const std::vector<CheckFrames>& frames) {
    const json& backends = member(document, "backends");
    page.element("h2", "Back-ends");
    page.open("table", {{"id", "summary"}});
    page.open("tr");
    for (const char* name : {"Back-end", "Outcome", "Exit code", "Mean frame rate", "1 % low", "Picture", "Renderer"})
        page.element("th", name);
    page.close();
    for (const json& entry : backends) {
        const json& run = member(entry, "results");
        const json* failed = checkWith(run, "failed");
        const json& picture = member(run, "picture");
        std::string pictureWords = !picture.is_object() ? "not checked"
                                   : failed             ? "failed"
                                   : checkWith(run, "inconclusive") ? "inconclusive"
                                   : checkWith(run, "passed")       ? "passed"
                                                                    : "did not run";
        page.open("tr", {{"data-backend", entryName(entry)}})
            .element("td", entryName(entry))
            .element("td", textOf(member(entry, "outcome")))
            .element("td", textOf(member(entry, "exit_code"), "none"))
            .element("td", figureText(member(member(run, "frames"), "mean_fps"), 1, "fps"))
            .element("td", figureText(member(member(run, "frames"), "one_percent_low_fps"), 1, "fps"))
            .element("td", pictureWords)
            .element("td", textOf(member(member(run, "driver"), "renderer")))
            .close();
    }
    page.close();
    const json& asked = member(document, "asked");
    page.element("p", "Each back-end ran for " + figureText(member(asked, "duration_seconds"), 1, "s") +
                          " in a process of its own, ended after " + figureText(member(asked, "timeout_seconds"), 1, "s") +
                          " at the latest.");
    for (size_t i = 0; i < backends.size(); ++i) {
        const json& entry = backends[i];
        const std::string name = entryName(entry);
        page.open("section", {{"class", "backend"}, {"data-backend", name}});
        page.element("h2", name);
        const json& run = member(entry, "results");
        const Verdict verdict = runVerdict(run);
        page.open("p", {{"class", "verdict " + std::string(tone(verdict))}})
            .element("strong", textOf(member(entry, "outcome")))
            .text(": " + (run.is_object() ? verdict.why : "no results file; " + textOf(member(entry, "outcome"))))
            .close();
        if (run.is_object()) runSections(page, run, i < frames.size() ? frames[i] : CheckFrames(), "h3");
        page.close();
    }
}

}  // namespace

bool readPngFile(const std::string& path, FrameImage& image) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream bytes;
    bytes << in.rdbuf();
    const std::string png = bytes.str();
    return platform::decodePng(reinterpret_cast<const uint8_t*>(png.data()), png.size(), image);
}

std::vector<CheckFrames>& handedOverFrames() {
    static std::vector<CheckFrames> frames;
    return frames;
}

bool isPagePath(const char* path) {
    const char* slash = path ? strrchr(path, '/') : nullptr;
    const char* name = slash ? slash + 1 : path;
    size_t length = name ? strlen(name) : 0;
    return length > 5 && strcmp(name + length - 5, ".html") == 0;
}

std::string figureText(const json& value, int decimals, const char* unit) {
    if (!value.is_number()) return "not known";
    return fixed(value.get<double>(), decimals) + (unit ? std::string(" ") + unit : "");
}

Verdict runVerdict(const json& run) {
    const json& end = member(run, "end");
    Verdict verdict;
    verdict.exitCode = member(end, "exit_code").is_number_integer() ? member(end, "exit_code").get<int>() : 1;
    const std::string reason = textOf(member(end, "reason"), "");
    const std::string message = textOf(member(end, "message"), "");
    if (reason == "signal") {
        verdict.words = "stopped by a signal";
        verdict.why = "The run was stopped by " + textOf(member(end, "signal"), "a signal") +
                      " before its end; the figures are those up to then.";
    } else if (reason == "stalled") {
        verdict.words = "stalled";
        verdict.why = (message.empty() ? "No frame was presented for too long" : message) +
                      ": the run was stuck inside the graphics driver.";
    } else if (reason == "fatal" || (verdict.exitCode != 0 && verdict.exitCode != 3 && verdict.exitCode != 5)) {
        verdict.words = "cannot render";
        verdict.why = message.empty() ? "The run ended with exit code " + std::to_string(verdict.exitCode) + "." : message;
    } else if (const json* failed = checkWith(run, "failed")) {
        verdict.words = "wrong picture";
        verdict.why = "The frames are presented, but " + checkWhy(*failed) + ".";
    } else if (const json* unsure = checkWith(run, "inconclusive")) {
        verdict.words = "not checked";
        verdict.why = "The frames are presented and the picture is right, but the screen could not be checked: " +
                      checkWhy(*unsure) + ".";
    } else {
        const json& frames = member(run, "frames");
        verdict.words = "renders";
        verdict.why = textOf(member(frames, "count"), "0") + " frames presented, " +
                      figureText(member(frames, "mean_fps"), 1, "fps") + " on average; " +
                      (member(run, "picture").is_object() ? "the picture check passed." : "the picture was not checked.");
    }
    return verdict;
}

Verdict allVerdict(const json& merged) {
    const json& summary = member(merged, "summary");
    Verdict verdict;
    verdict.exitCode = member(summary, "exit_code").is_number_integer() ? member(summary, "exit_code").get<int>() : 1;
    auto names = [](const json& list) {
        std::string text;
        if (list.is_array())
            for (const json& item : list)
                text += (text.empty() ? "" : ", ") +
                        (item.is_object() ? textOf(member(item, "backend")) + " (" + textOf(member(item, "how")) + ")"
                                          : textOf(item));
        return text.empty() ? std::string("none") : text;
    };
    switch (verdict.exitCode) {
    case 0: verdict.words = "renders"; verdict.why = "Every back-end renders: " + names(member(summary, "renders")) + "."; break;
    case 3: verdict.words = "wrong picture"; verdict.why = "Wrong picture on " + names(member(summary, "picture_failed")) + "."; break;
    case 5: verdict.words = "not checked"; verdict.why = "The screen could not be checked on every back-end; none failed."; break;
    default: verdict.words = "cannot render"; verdict.why = "Failed: " + names(member(summary, "failed")) + "."; break;
    }
    return verdict;
}

std::string pageHtml(const json& document, const std::vector<CheckFrames>& frames) {
    const bool merged = isMerged(document);
    const Verdict verdict = merged ? allVerdict(document) : runVerdict(document);
    const json& program = member(document, "program");
    const std::string subject = merged ? "every back-end" : textOf(member(program, "backend"));

    HtmlWriter page;
    page.open("html", {{"lang", "en"}}).open("head");
    page.empty("meta", {{"charset", "utf-8"}});
    page.element("title", "vyrtest: " + verdict.words + " (" + subject + ")");
    page.element("style", styleSheet);
    // The reference once, however many back-ends show it.
    std::string reference(reinterpret_cast<const char*>(referencePictureData()), referencePictureSize());
    page.element("style", ".reference{background-image:url(" + pngDataUri(reference) + ")}");
    page.close().open("body");
    verdictHeader(page, verdict);
    page.element("p", "vyrtest " + textOf(member(program, "version"), "") + " (" + textOf(member(program, "build"), "") +
                          "), " + subject + ".");
    if (merged)
        allSections(page, document, frames);
    else
        runSections(page, document, frames.empty() ? CheckFrames() : frames[0], "h2");
    return page.finish() + "\n";
}

std::string reportPage(const json& document) {
    const PictureCheck& check = pictureCheck();
    // -all: what each back-end's run handed over (none where its check did not run).
    return isMerged(document) ? pageHtml(document, handedOverFrames())
                              : pageHtml(document, {{check.rendered, check.shown}});
}

}  // namespace vyr::test

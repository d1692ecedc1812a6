// The report page of -report <name>.html: one file a person opens in a browser
// or mails, made from the same results document as the JSON file, so the two
// never disagree. It stands alone: styles inline, pictures as data: URIs,
// charts as inline SVG, no script, printable.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "render/frame_image.h"

namespace vyr::test {

// Whether `path` asks for the page (a name ending in .html).
bool isPagePath(const char* path);

// The frames a picture check looked at in one run; empty images where none was kept.
struct CheckFrames {
    FrameImage renderer, screen;
};

// The page for a results document: a single run's, with this process's check
// frames, or -all's merged one, with the frames each back-end's run handed
// over (handedOverFrames).
std::string reportPage(const nlohmann::ordered_json& document);

// -all's frames of each back-end's check, in the order of its "backends"
// entries, as the children handed them over (app/all_backends.cpp).
std::vector<CheckFrames>& handedOverFrames();

// Reads a PNG file the program wrote; false when it cannot.
bool readPngFile(const std::string& path, FrameImage& image);

// The page from the document and the frames of each run: one for a single
// run, one per "backends" entry for -all (missing ones count as empty).
std::string pageHtml(const nlohmann::ordered_json& document, const std::vector<CheckFrames>& frames);

// The verdict at the top of the page: a few words, why, and the exit code.
struct Verdict {
    std::string words;  // "renders", "wrong picture", "not checked", "cannot render", "stalled", "stopped by a signal"
    std::string why;
    int exitCode = 1;
};
Verdict runVerdict(const nlohmann::ordered_json& run);
Verdict allVerdict(const nlohmann::ordered_json& merged);

// A figure with its unit: "57.3 fps"; "not known" when it is not a number.
std::string figureText(const nlohmann::ordered_json& value, int decimals, const char* unit);

}  // namespace vyr::test

// The results file of -report: what a run learned, as JSON, written at its end
// (also after a fatal start-up failure), and the notices on the error stream
// that say what the driver means for the figures.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "app/startup_options.h"

namespace vyr::test {

class RenderingContext;

enum class EndReason { Running, Escape, Close, Duration, Fatal };

struct RunEnd {
    EndReason reason = EndReason::Running;
    int exitCode = 0;
    std::string message;  // a fatal failure's text
};

// Whether a results file can be made at `path`: its folder exists and takes a
// new file. False with the reason.
bool resultsFileWritable(const char* path, std::string& why);

// Writes the file whole or not at all: a temporary file beside it, then
// renamed over it. `context` may be null (a failure before there was one).
bool writeResultsFile(const char* path, const StartupOptions& options, const RenderingContext* context,
                      const RunEnd& end, double pausedSeconds);
// A whole document: as metrics when the name ends in .prom, else as JSON.
bool writeResultsDocument(const char* path, const nlohmann::ordered_json& document);
// The one write path of every results file: whole or not at all.
bool writeResultsText(const char* path, const std::string& text);

// One line on stderr for each of: a software rasteriser, an indirect OpenGL
// context, stereo asked for and not granted.
void printDriverNotices(const StartupOptions& options, const RenderingContext& context);

}  // namespace vyr::test

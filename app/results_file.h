// The results file of -report: what a run learned, as JSON, written at its end
// (also after a fatal start-up failure), and the notices on the error stream
// that say what the driver means for the figures.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/startup_options.h"

namespace vyr::test {

class RenderingContext;
class FrameStatistics;

// Signal: a stop request from outside (a signal, a console control event);
// Stalled: the watchdog saw no frame presented for too long.
enum class EndReason { Running, Escape, Close, Duration, Fatal, Signal, Stalled };

struct RunEnd {
    EndReason reason = EndReason::Running;
    int exitCode = 0;
    std::string message;  // a fatal failure's or the watchdog's text
    const char* signal = nullptr;  // the stop request's name ("SIGINT"), for Signal
};

// Whether a results file can be made at `path`: its folder exists and takes a
// new file, made the way the results file's temporary is. False with the reason.
bool resultsFileWritable(const char* path, std::string& why);

// Writes the file whole or not at all (platform::writeFileWhole). `context`
// may be null (a failure before there was one). `statistics`, when given,
// stands for the context's own: a copy taken while the frame loop was not
// changing them.
bool writeResultsFile(const char* path, const StartupOptions& options, const RenderingContext* context,
                      const RunEnd& end, double pausedSeconds, const FrameStatistics* statistics = nullptr);
// Every file of -report, from one document, so that they all tell the same
// run; false when any could not be written.
bool writeResultsFiles(const StartupOptions& options, const RenderingContext* context, const RunEnd& end,
                       double pausedSeconds, const FrameStatistics* statistics = nullptr);
// A whole document: as metrics when the name ends in .prom, as the page when
// it ends in .html, else as JSON.
bool writeResultsDocument(const char* path, const nlohmann::ordered_json& document);
bool writeResultsDocuments(const std::vector<const char*>& paths, const nlohmann::ordered_json& document);
// The one write path of every results file: whole or not at all.
bool writeResultsText(const char* path, const std::string& text);

// One line on stderr for each of: a software rasteriser, an indirect OpenGL
// context, stereo asked for and not granted.
void printDriverNotices(const StartupOptions& options, const RenderingContext& context);

}  // namespace vyr::test

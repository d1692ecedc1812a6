// The results file in the text format that a metrics collector reads (a name
// ending in .prom): the same facts as the JSON document, one sample set per
// back-end, labelled with the back-end and the renderer.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

namespace vyr::test {

// Whether `path` asks for the metrics format rather than JSON.
bool isMetricsPath(const char* path);

// The metrics for a results document: a single run's, or the merged document
// of -all (its "backends" entries). `nowUnixSeconds` is the end time of a run
// whose document carries none of its own.
std::string metricsText(const nlohmann::ordered_json& document, double nowUnixSeconds);

// Wall-clock time in seconds since 1970, for the end-time metric.
double unixSecondsNow();

}  // namespace vyr::test

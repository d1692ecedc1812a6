// What the report page draws of the frames over the run, as members of the
// results document ("frames.series"), so that the page and the JSON file tell
// the same figures: frames per whole second and a bounded series of frame times.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include <nlohmann/json.hpp>

namespace vyr::test {

// At most this many points of frame times: a chart of a long run stays small.
constexpr size_t maxSeriesPoints = 400;

// From the frame times kept (oldest first, pauses already left out):
//   "frames": how many frame times it covers,
//   "per_second": frames presented in each whole second of running time
//                 (the last, unfinished second left out),
//   "frame_time_ms": {"frames_per_point", "mean", "max"}: consecutive groups
//                 of frames, each group's mean and longest frame time.
nlohmann::ordered_json frameSeries(const std::vector<uint32_t>& frameTimesUs);

}  // namespace vyr::test

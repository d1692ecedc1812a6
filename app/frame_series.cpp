#include "app/frame_series.h"

namespace vyr::test {

namespace {

using json = nlohmann::ordered_json;

// Milliseconds to two decimals more than the page shows: the file stays short.
double roundMs(double ms) { return double(int64_t(ms * 10000.0 + 0.5)) / 10000.0; }

}  // namespace

json frameSeries(const std::vector<uint32_t>& frameTimesUs) {
    json perSecond = json::array();
    uint64_t elapsedUs = 0, secondEndUs = 1000000, inSecond = 0;
    for (uint32_t us : frameTimesUs) {
        elapsedUs += us;
        // A frame longer than a second leaves the seconds it spans at 0.
        while (elapsedUs >= secondEndUs) {
            perSecond.push_back(inSecond);
            inSecond = 0;
            secondEndUs += 1000000;
        }
        ++inSecond;
    }

    const size_t count = frameTimesUs.size();
    const size_t perPoint = count == 0 ? 1 : (count + maxSeriesPoints - 1) / maxSeriesPoints;
    json means = json::array(), longest = json::array();
    for (size_t first = 0; first < count; first += perPoint) {
        size_t last = first + perPoint < count ? first + perPoint : count;
        uint64_t sum = 0;
        uint32_t top = 0;
        for (size_t i = first; i < last; ++i) {
            sum += frameTimesUs[i];
            if (frameTimesUs[i] > top) top = frameTimesUs[i];
        }
        means.push_back(roundMs(double(sum) / double(last - first) / 1000.0));
        longest.push_back(roundMs(top / 1000.0));
    }
    return {{"frames", count},
            {"per_second", perSecond},
            {"frame_time_ms", {{"frames_per_point", perPoint}, {"mean", means}, {"max", longest}}}};
}

}  // namespace vyr::test

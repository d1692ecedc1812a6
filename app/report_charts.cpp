#include "app/report_charts.h"

#include <algorithm>
#include <cmath>

#include "app/html_writer.h"

namespace vyr::test {

namespace {

// The chart's drawing area inside its SVG box, in SVG units.
constexpr double chartWidth = 640, chartHeight = 160, chartLeft = 70, chartTopMargin = 10;

std::string svgNumber(double value) { return fixed(value, 1); }

// The limit that applies to a cell: the smallest of the regions holding its centre.
double cellLimit(const RegionLimits& limits, uint32_t x, uint32_t y) {
    double limit = 1.0;
    for (size_t i = 0; i < checkRegionCount; ++i) {
        const FrameRegion& region = checkRegions[i];
        if (x >= region.left && x < region.left + region.width && y >= region.top && y < region.top + region.height)
            limit = std::min(limit, limits.limit[i]);
    }
    return limit;
}

}  // namespace

double chartTop(double value) {
    if (!(value > 0) || !std::isfinite(value)) return 1.0;
    double power = std::pow(10.0, std::floor(std::log10(value)));
    for (double step : {1.0, 2.0, 5.0, 10.0})
        if (value <= step * power * (1 + 1e-9)) return step * power;
    return 10.0 * power;
}

std::string seriesPath(const std::vector<double>& values, double width, double height, double top) {
    std::string path;
    if (values.empty() || !(top > 0)) return path;
    double step = values.size() > 1 ? width / double(values.size() - 1) : 0.0;
    for (size_t i = 0; i < values.size(); ++i) {
        double value = std::clamp(std::isfinite(values[i]) ? values[i] : 0.0, 0.0, top);
        path += i == 0 ? "M" : "L";
        path += svgNumber(step * double(i)) + " " + svgNumber(height - value / top * height);
    }
    return path;
}

void lineChart(HtmlWriter& page, const char* title, const std::vector<ChartLine>& lines, const char* unit,
               int decimals, const std::string& xLabel) {
    double largest = 0.0;
    size_t points = 0;
    for (const ChartLine& line : lines) {
        for (double value : line.values)
            if (std::isfinite(value)) largest = std::max(largest, value);
        points = std::max(points, line.values.size());
    }
    const double top = chartTop(largest);
    page.open("figure", {{"class", "chart"}});
    page.element("figcaption", title);
    page.open("svg", {{"viewBox", "0 0 720 200"}, {"role", "img"}, {"aria-label", title}});
    page.open("g", {{"transform", "translate(" + svgNumber(chartLeft) + " " + svgNumber(chartTopMargin) + ")"}});
    // The scale: 0, half and the top, each with its value and unit.
    for (double share : {0.0, 0.5, 1.0}) {
        std::string y = svgNumber(chartHeight - share * chartHeight);
        page.empty("line", {{"x1", "0"}, {"x2", svgNumber(chartWidth)}, {"y1", y}, {"y2", y}, {"class", "grid"}});
        page.element("text", fixed(top * share, top >= 10 ? 0 : decimals) + " " + unit,
                     {{"x", "-6"}, {"y", svgNumber(chartHeight - share * chartHeight + 4)}, {"class", "scale"}});
    }
    for (const ChartLine& line : lines)
        page.empty("path", {{"d", seriesPath(line.values, chartWidth, chartHeight, top)}, {"class", line.className}});
    page.element("text", xLabel, {{"x", svgNumber(chartWidth / 2)}, {"y", svgNumber(chartHeight + 24)}, {"class", "axis"}});
    page.close().close();
    if (lines.size() > 1 || points == 0) {
        page.open("p", {{"class", "legend"}});
        if (points == 0) page.text("No figures to draw.");
        for (const ChartLine& line : lines)
            if (lines.size() > 1) page.element("span", line.name, {{"class", std::string("key ") + line.className}});
        page.close();
    }
    page.close();
}

FrameImage differenceMap(const FrameImage& a, const FrameImage& b, const RegionLimits& limits, uint32_t cell,
                         size_t& over) {
    over = 0;
    FrameImage map;
    if (!isCheckFrame(a) || !isCheckFrame(b) || cell == 0) return map;
    map.place((a.width + cell - 1) / cell, (a.height + cell - 1) / cell, 0, 0);
    for (uint32_t row = 0; row < map.height; ++row)
        for (uint32_t column = 0; column < map.width; ++column) {
            const uint32_t left = column * cell, top = row * cell;
            FrameRegion one{"cell", left, top, std::min(cell, a.width - left), std::min(cell, a.height - top)};
            const double difference = regionDifference(a, b, one, cell);
            const double limit = cellLimit(limits, left + one.width / 2, top + one.height / 2);
            uint8_t* pixel = map.rgba.data() + (size_t(row) * map.width + column) * 4;
            if (difference > limit) {
                ++over;
                pixel[0] = 230, pixel[1] = 32, pixel[2] = 32;
            } else {
                uint8_t level = uint8_t(std::lround(40.0 + 160.0 * difference / limit));
                pixel[0] = pixel[1] = pixel[2] = level;
            }
            pixel[3] = 255;
        }
    return map;
}

}  // namespace vyr::test

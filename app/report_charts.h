// The report page's pictures made of figures: line charts as inline SVG and the
// map of where two frames differ, one pixel per cell of the picture check.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "render/frame_comparison.h"
#include "render/frame_image.h"

namespace vyr::test {

class HtmlWriter;

// A round value at or above `value` (1, 2 or 5 times a power of ten): the top
// of a chart's scale.
double chartTop(double value);

// The SVG path ("M0 200L10 150...") of `values` spread over `width`, 0 at the
// bottom (y = height) and `top` at y = 0; values beyond `top` stay at the top.
std::string seriesPath(const std::vector<double>& values, double width, double height, double top);

struct ChartLine {
    std::vector<double> values;
    const char* className;  // the CSS class that colours it
    const char* name;       // in the legend
};

// An SVG chart of the lines over a common x axis: `unit` and `decimals` label
// the y scale, `xLabel` says what the points are.
void lineChart(HtmlWriter& page, const char* title, const std::vector<ChartLine>& lines, const char* unit,
               int decimals, const std::string& xLabel);

// One pixel per `cell` x `cell` cell of two check frames: red where the cell's
// difference is over the limit of a region that holds it, else grey, brighter
// as it nears that limit. `over` counts the red cells. Empty when either frame
// is not a check frame.
FrameImage differenceMap(const FrameImage& a, const FrameImage& b, const RegionLimits& limits, uint32_t cell,
                         size_t& over);

}  // namespace vyr::test

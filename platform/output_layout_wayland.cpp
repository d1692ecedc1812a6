#include "platform/output_layout_wayland.h"

#include <cstdio>
#include <cstring>

namespace vyr::platform {

namespace {

// wl_shm formats (wayland.xml): the 32-bit ones read as little-endian words.
constexpr uint32_t shmArgb8888 = 0, shmXrgb8888 = 1;
constexpr uint32_t shmAbgr8888 = 0x34324241, shmXbgr8888 = 0x34324258;

}  // namespace

int outputHolding(const std::vector<OutputPlace>& outputs, const LayoutArea& area) {
    for (size_t i = 0; i < outputs.size(); i++) {
        const OutputPlace& o = outputs[i];
        if (area.left >= o.left && area.top >= o.top && int64_t(area.left) + area.width <= int64_t(o.left) + o.width &&
            int64_t(area.top) + area.height <= int64_t(o.top) + o.height)
            return int(i);
    }
    return -1;
}

PixelArea areaInOutput(const OutputPlace& output, const LayoutArea& area) {
    PixelArea pixels;
    if (output.width <= 0 || output.height <= 0) return pixels;
    // Edges scale on their own, so that neighbouring areas share them; halves round up.
    auto x = [&](int64_t logical) { return (2 * logical * output.pixelWidth + output.width) / (2 * output.width); };
    auto y = [&](int64_t logical) { return (2 * logical * output.pixelHeight + output.height) / (2 * output.height); };
    const int64_t left = area.left - output.left, top = area.top - output.top;
    pixels.left = x(left);
    pixels.top = y(top);
    pixels.width = x(left + area.width) - pixels.left;
    pixels.height = y(top + area.height) - pixels.top;
    return pixels;
}

bool outputScaled(const OutputPlace& output) {
    return output.pixelWidth != output.width || output.pixelHeight != output.height;
}

bool outputResamples(const OutputPlace& output) {
    return output.width <= 0 || output.height <= 0 || output.pixelWidth % output.width != 0 ||
           output.pixelHeight % output.height != 0 ||
           output.pixelWidth / output.width != output.pixelHeight / output.height;
}

bool changeTouches(const PixelArea& window, uint32_t x, uint32_t y, uint32_t width, uint32_t height) {
    return width > 0 && height > 0 && int64_t(x) < window.left + window.width && window.left < int64_t(x) + width &&
           int64_t(y) < window.top + window.height && window.top < int64_t(y) + height;
}

bool bufferToImage(const uint8_t* data, uint32_t format, uint32_t bufferWidth, uint32_t bufferHeight,
                   uint32_t stride, bool yInvert, const PixelArea& from, uint32_t width, uint32_t height,
                   vyr::test::FrameImage& image) {
    int red = 0, blue = 0;  // byte of each channel in a pixel; green is always byte 1
    if (format == shmArgb8888 || format == shmXrgb8888) {
        red = 2;
        blue = 0;
    } else if (format == shmAbgr8888 || format == shmXbgr8888) {
        red = 0;
        blue = 2;
    } else {
        return false;
    }
    if (!data || width == 0 || height == 0 || from.left < 0 || from.top < 0 || from.width < width ||
        from.height < height || from.left + from.width > bufferWidth || from.top + from.height > bufferHeight ||
        stride < uint64_t(bufferWidth) * 4)
        return false;
    image.place(width, height, image.left, image.top);
    uint8_t* to = image.rgba.data();
    for (uint32_t y = 0; y < height; y++) {
        // The buffer rows that make up this row of the window (one, unless scaled).
        const uint32_t rowFrom = uint32_t(from.top + uint64_t(y) * from.height / height);
        const uint32_t rowTo = uint32_t(from.top + uint64_t(y + 1) * from.height / height);
        for (uint32_t x = 0; x < width; x++, to += 4) {
            const uint32_t columnFrom = uint32_t(from.left + uint64_t(x) * from.width / width);
            const uint32_t columnTo = uint32_t(from.left + uint64_t(x + 1) * from.width / width);
            uint32_t sum[3] = {0, 0, 0}, count = 0;
            for (uint32_t row = rowFrom; row < rowTo; row++) {
                const uint32_t bufferRow = yInvert ? bufferHeight - 1 - row : row;
                const uint8_t* from = data + size_t(bufferRow) * stride + size_t(columnFrom) * 4;
                for (uint32_t column = columnFrom; column < columnTo; column++, from += 4, count++) {
                    sum[0] += from[red];
                    sum[1] += from[1];
                    sum[2] += from[blue];
                }
            }
            for (int c = 0; c < 3; c++) to[c] = uint8_t((sum[c] + count / 2) / count);
            to[3] = 255;
        }
    }
    return true;
}

bool areaResampledOn(const std::vector<OutputPlace>& outputs, const LayoutArea& area, std::string& why) {
    const int index = outputHolding(outputs, area);
    if (index < 0 || !outputResamples(outputs[size_t(index)])) return false;
    const OutputPlace& place = outputs[size_t(index)];
    char scale[32];
    snprintf(scale, sizeof scale, "%.2f", double(place.pixelWidth) / place.width);
    why = std::string("the Wayland compositor scales the output by ") + scale +
          ": the screen shows the window resampled, not pixel for pixel";
    return true;
}

std::string compositorFromGlobals(const std::vector<std::string>& globals) {
    // Interfaces only one compositor (family) offers, most telling first:
    // others offer some of KDE's and wlroots' protocols too (sway offers
    // KDE's server-side decorations, KWin wlroots' layer shell).
    static const struct {
        const char* prefix;
        const char* name;
    } marks[] = {{"weston_", "weston"},
                 {"gtk_shell", "GNOME (Mutter)"},
                 {"org_kde_plasma_", "KDE (KWin)"},
                 {"kde_output_device", "KDE (KWin)"},
                 {"zcosmic_", "COSMIC"},
                 {"zwlr_screencopy_", "a wlroots compositor"},
                 {"zwlr_export_dmabuf_", "a wlroots compositor"},
                 {"zwlr_gamma_control_", "a wlroots compositor"}};
    for (const auto& mark : marks)
        for (const std::string& global : globals)
            if (global.compare(0, strlen(mark.prefix), mark.prefix) == 0) return mark.name;
    return {};
}

}  // namespace vyr::platform

// The arithmetic of reading an X window through a Wayland compositor, sway's
// tree, and finding a frame on the screen, on tables: the real compositors
// run in tests/picture.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "platform/frame_search.h"
#include "platform/output_layout_wayland.h"
#include "platform/png_file.h"
#include "platform/sway_tree_wayland.h"
#include "scene/reference_picture.h"

using namespace vyr::platform;
using vyr::test::FrameImage;

namespace {

// Two outputs side by side: a plain one, and one scaled 2x to its right; a
// third scaled 1.5x below the first.
const std::vector<OutputPlace> layout = {
    {0, 0, 1280, 800, 1280, 800}, {1280, 0, 960, 540, 1920, 1080}, {0, 800, 1280, 720, 1920, 1080}};

}  // namespace

TEST(WaylandScreen, WindowOnOutputAndInItsPixels) {
    struct Case {
        const char* what;
        LayoutArea area;
        int output;
        PixelArea pixels;
    } cases[] = {
        {"inside the plain output", {100, 50, 640, 400}, 0, {100, 50, 640, 400}},
        {"filling it", {0, 0, 1280, 800}, 0, {0, 0, 1280, 800}},
        {"on the scaled output", {1290, 10, 640, 400}, 1, {20, 20, 1280, 800}},
        {"on the output scaled 1.5x: halves round up", {1, 801, 640, 400}, 2, {2, 2, 960, 600}},
        {"across two outputs", {1000, 0, 640, 400}, -1, {}},
        {"partly off every output", {-10, 0, 640, 400}, -1, {}},
        {"below the scaled output, where none is", {1300, 600, 100, 100}, -1, {}},
    };
    for (const Case& c : cases) {
        const int output = outputHolding(layout, c.area);
        EXPECT_EQ(output, c.output) << c.what;
        if (output < 0) continue;
        PixelArea pixels = areaInOutput(layout[size_t(output)], c.area);
        EXPECT_EQ(pixels.left, c.pixels.left) << c.what;
        EXPECT_EQ(pixels.top, c.pixels.top) << c.what;
        EXPECT_EQ(pixels.width, c.pixels.width) << c.what;
        EXPECT_EQ(pixels.height, c.pixels.height) << c.what;
        EXPECT_EQ(outputScaled(layout[size_t(output)]), output != 0) << c.what;
        EXPECT_EQ(outputResamples(layout[size_t(output)]), output == 2) << c.what;
    }
}

TEST(WaylandScreen, ChangeTouchesTheWindow) {
    const PixelArea window{100, 50, 640, 400};
    struct Case {
        const char* what;
        uint32_t x, y, width, height;
        bool touches;
    } cases[] = {
        {"the whole output", 0, 0, 1920, 1080, true},   {"inside", 200, 200, 10, 10, true},
        {"over its last pixel", 739, 449, 5, 5, true},  {"just right of it", 740, 50, 10, 10, false},
        {"just below it", 100, 450, 640, 10, false},    {"just left of it", 90, 50, 10, 400, false},
        {"just above it", 100, 0, 640, 50, false},      {"nothing", 200, 200, 0, 0, false},
    };
    for (const Case& c : cases) EXPECT_EQ(changeTouches(window, c.x, c.y, c.width, c.height), c.touches) << c.what;
}

TEST(WaylandScreen, BufferBecomesTheWindowsPixels) {
    // A 4 x 2 buffer of 32-bit pixels, rows of 20 bytes (padding after each).
    // Bytes of each pixel as they lie in memory: 10*n+1, 10*n+2, 10*n+3, 255.
    uint8_t buffer[2 * 20] = {};
    for (int y = 0; y < 2; y++)
        for (int x = 0; x < 4; x++) {
            uint8_t* p = buffer + y * 20 + x * 4;
            const int n = y * 4 + x;
            p[0] = uint8_t(10 * n + 1);
            p[1] = uint8_t(10 * n + 2);
            p[2] = uint8_t(10 * n + 3);
            p[3] = 255;
        }
    constexpr uint32_t argb = 0, xrgb = 1, xbgr = 0x34324258, rgb565 = 0x36314752;
    const PixelArea whole{0, 0, 4, 2};
    struct Case {
        const char* what;
        uint32_t format;
        bool yInvert;
        PixelArea from;
        uint32_t width, height;
        bool read;
        std::vector<uint8_t> firstAndLast;  // RGBA of the first and the last pixel
    } cases[] = {
        {"XRGB: blue first in memory", xrgb, false, whole, 4, 2, true, {3, 2, 1, 255, 73, 72, 71, 255}},
        {"ARGB: its alpha is not the window's", argb, false, whole, 4, 2, true, {3, 2, 1, 255, 73, 72, 71, 255}},
        {"XBGR: red first in memory", xbgr, false, whole, 4, 2, true, {1, 2, 3, 255, 71, 72, 73, 255}},
        {"rows bottom first", xrgb, true, whole, 4, 2, true, {43, 42, 41, 255, 33, 32, 31, 255}},
        {"a 2x output: the mean of four", xrgb, false, whole, 2, 1, true, {28, 27, 26, 255, 48, 47, 46, 255}},
        {"the window's part of the output", xrgb, false, {1, 1, 2, 1}, 2, 1, true, {53, 52, 51, 255, 63, 62, 61, 255}},
        {"its part, rows bottom first", xrgb, true, {1, 0, 2, 1}, 2, 1, true, {53, 52, 51, 255, 63, 62, 61, 255}},
        {"a part beyond the output", xrgb, false, {3, 0, 2, 1}, 2, 1, false, {}},
        {"16-bit pixels are not read", rgb565, false, whole, 4, 2, false, {}},
        {"a part smaller than the window", xrgb, false, whole, 5, 2, false, {}},
    };
    for (const Case& c : cases) {
        FrameImage image;
        image.left = 7;
        image.top = 9;
        ASSERT_EQ(bufferToImage(buffer, c.format, 4, 2, 20, c.yInvert, c.from, c.width, c.height, image), c.read)
            << c.what;
        if (!c.read) continue;
        EXPECT_EQ(image.width, c.width) << c.what;
        EXPECT_EQ(image.left, 7) << c.what;
        EXPECT_EQ(image.top, 9) << c.what;
        std::vector<uint8_t> ends(image.rgba.begin(), image.rgba.begin() + 4);
        ends.insert(ends.end(), image.rgba.end() - 4, image.rgba.end());
        EXPECT_EQ(ends, c.firstAndLast) << c.what;
    }
}

TEST(WaylandScreen, CompositorFromItsGlobals) {
    struct Case {
        std::vector<std::string> globals;
        const char* name;
    } cases[] = {
        {{"wl_compositor", "wl_shm", "weston_direct_display_v1", "zwp_linux_dmabuf_v1"}, "weston"},
        {{"wl_compositor", "org_kde_kwin_blur_manager", "zwlr_layer_shell_v1", "org_kde_plasma_shell"}, "KDE (KWin)"},
        {{"wl_compositor", "org_kde_kwin_server_decoration_manager", "zwlr_layer_shell_v1",
          "zwlr_screencopy_manager_v1"},
         "a wlroots compositor"},
        {{"wl_compositor", "gtk_shell1", "wl_shm"}, "GNOME (Mutter)"},
        {{"wl_compositor", "zwlr_screencopy_manager_v1", "wl_shm"}, "a wlroots compositor"},
        {{"wl_compositor", "wl_shm", "xdg_wm_base"}, ""},
    };
    for (const Case& c : cases) EXPECT_EQ(compositorFromGlobals(c.globals), c.name) << c.name;
}

// Trees as sway answers GET_TREE, cut to what the program reads. Our X
// window is 4194312, its client area at (0, 0) 640 x 400.
TEST(WaylandScreen, SwayTellsWhetherItShowsTheWindow) {
    const std::string ours =
        R"({"type": "con", "name": "vyrtest", "window": 4194312, "visible": VISIBLE, "fullscreen_mode": 0,
            "rect": {"x": 0, "y": 0, "width": 640, "height": 400}, "nodes": [], "floating_nodes": []})";
    auto tree = [&](const char* visible, const char* current, const std::string& tiled, const std::string& floating) {
        std::string window = ours;
        window.replace(window.find("VISIBLE"), 7, visible);
        return R"({"type": "root", "nodes": [{"type": "output", "name": "HEADLESS-1", "current_workspace": ")" +
               std::string(current) + R"(", "nodes": [{"type": "workspace", "name": "1", "nodes": [)" + window +
               tiled + R"(], "floating_nodes": [)" + floating +
               R"(]}, {"type": "workspace", "name": "2", "nodes": []}]}]})";
    };
    const std::string foot = R"({"type": "floating_con", "name": "a shell", "app_id": "foot", "visible": true,
        "fullscreen_mode": FULL, "rect": {"x": X, "y": 0, "width": 300, "height": 300}, "nodes": []})";
    auto other = [&](const char* full, const char* x) {
        std::string node = foot;
        node.replace(node.find("FULL"), 4, full);
        node.replace(node.find("X,"), 1, x);
        return node;
    };
    const std::string xterm = R"(, {"type": "con", "name": "xterm", "window": 4194400, "app_id": null,
        "window_properties": {"class": "XTerm"}, "visible": false, "fullscreen_mode": 1, "nodes": []})";
    const std::string tab = R"(, {"type": "con", "name": "the tab shown", "app_id": "foot", "visible": true,
        "fullscreen_mode": 0, "nodes": []})";
    struct Case {
        const char* what;
        std::string tree;
        bool shown;
        const char* why;
    } cases[] = {
        {"shown", tree("true", "1", "", ""), true, ""},
        {"a floating window beside it", tree("true", "1", "", other("0", "700")), true, ""},
        {"a floating window over it", tree("true", "1", "", other("0", "100")), false,
         "covered by the Wayland window \"foot\""},
        {"a Wayland window full screen", tree("false", "1", "", other("1", "100")), false,
         "covered by the Wayland window \"foot\" shown full screen"},
        {"an X window full screen is named by its class", tree("false", "1", xterm, ""), false,
         "covered by the Wayland window \"XTerm\" shown full screen"},
        {"on a workspace not shown", tree("false", "2", "", ""), false, "on a workspace sway does not show"},
        {"in a tab not chosen", tree("false", "1", tab, ""), false, "not shown by sway (in a tab or stack not chosen)"},
        {"a window sway does not know", tree("true", "1", "", "").replace(tree("true", "1", "", "").find("4194312"), 7,
                                                                           "1234567"),
         true, ""},
        {"no tree", "not json", true, ""},
    };
    for (const Case& c : cases) {
        std::string why;
        EXPECT_EQ(swayShowsWindow(c.tree, 4194312, {0, 0, 640, 400}, why), c.shown) << c.what;
        EXPECT_EQ(why, c.why) << c.what;
    }
    // The screen watch asks only whether sway shows the window at all.
    std::string why;
    EXPECT_TRUE(swayShowsWindow(tree("true", "1", "", other("0", "100")), 4194312, {0, 0, 0, 0}, why)) << why;
}

namespace {

FrameImage flatImage(uint32_t width, uint32_t height, uint8_t red, uint8_t green, uint8_t blue) {
    FrameImage image;
    image.place(width, height, 0, 0);
    for (size_t i = 0; i < image.rgba.size(); i += 4) {
        image.rgba[i] = red;
        image.rgba[i + 1] = green;
        image.rgba[i + 2] = blue;
        image.rgba[i + 3] = 255;
    }
    return image;
}

// `frame` drawn onto `screen` at (left, top), each channel moved by `shift`.
void drawOnto(FrameImage& screen, const FrameImage& frame, int32_t left, int32_t top, int shift = 0) {
    for (uint32_t y = 0; y < frame.height; ++y)
        for (uint32_t x = 0; x < frame.width; ++x)
            for (int c = 0; c < 3; ++c) {
                const int value = frame.rgba[(size_t(y) * frame.width + x) * 4 + c] + shift;
                screen.rgba[(size_t(top + y) * screen.width + left + x) * 4 + c] = uint8_t(std::clamp(value, 0, 255));
            }
}

}  // namespace

// A desktop of 1280 x 1024 (GNOME's blue) that shows the check frame, or
// something else, where a window would be.
TEST(WaylandScreen, FrameFoundByItsEdges) {
    FrameImage frame;
    ASSERT_TRUE(decodePng(vyr::test::referencePictureData(), vyr::test::referencePictureSize(), frame));
    const FrameImage grey = flatImage(96, 64, 128, 128, 128), wide = flatImage(256, 400, 128, 128, 128);
    const FrameImage black = flatImage(640, 400, 0, 0, 0);
    FrameImage mirrored = frame;
    for (uint32_t y = 0; y < frame.height; ++y)
        memcpy(&mirrored.rgba[size_t(y) * frame.width * 4], &frame.rgba[size_t(frame.height - 1 - y) * frame.width * 4],
               frame.width * 4);
    struct Drawn {
        const FrameImage* image;
        int32_t left, top;
        int shift;
    };
    struct Case {
        const char* what;
        std::vector<Drawn> drawn;
        int places;
        int32_t left, top;
    } cases[] = {
        {"shown as presented", {{&frame, 319, 82, 0}}, 1, 319, 82},
        {"at the screen's corner", {{&frame, 640, 624, 0}}, 1, 640, 624},
        {"each channel rounded a little", {{&frame, 17, 300, 6}}, 1, 17, 300},
        {"a small window over its corner", {{&frame, 319, 82, 0}, {&grey, 319 + 544, 82 + 336, 0}}, 1, 319, 82},
        {"a window over two fifths of it", {{&frame, 319, 82, 0}, {&wide, 319, 82, 0}}, 0, 0, 0},
        {"a window that shows nothing", {{&black, 319, 82, 0}}, 0, 0, 0},
        {"another picture", {{&mirrored, 319, 82, 0}}, 0, 0, 0},
        {"much brighter than presented", {{&frame, 319, 82, 40}}, 0, 0, 0},
        {"in two places", {{&frame, 0, 0, 0}, {&frame, 640, 600, 0}}, 2, 0, 0},
        {"in two places side by side", {{&frame, 0, 100, 0}, {&frame, 640, 100, 0}}, 2, 0, 0},
    };
    for (const Case& c : cases) {
        FrameImage screen = flatImage(1280, 1024, 18, 56, 102);
        for (const Drawn& d : c.drawn) drawOnto(screen, *d.image, d.left, d.top, d.shift);
        const FoundFrame found = findFrame(screen, frame);
        EXPECT_EQ(found.places, c.places) << c.what;
        if (c.places == 1) {
            EXPECT_EQ(std::make_pair(found.left, found.top), std::make_pair(c.left, c.top)) << c.what;
        }
    }
    // A frame of one colour cannot be told from a flat screen; nor can one larger than the screen be on it.
    FrameImage screen = flatImage(1280, 1024, 18, 56, 102);
    EXPECT_FALSE(findFrame(screen, flatImage(640, 400, 18, 56, 102)).searchable);
    EXPECT_EQ(findFrame(flatImage(320, 200, 0, 0, 0), frame).places, 0);
}

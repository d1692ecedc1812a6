// The packer run on copies of the sources, intact and broken one rule at a time.
#include <gtest/gtest.h>

#include "common/child_process.h"
#include <png.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using namespace vyr::testing;

// Opaque white, except the first pixel of the top row, whose alpha is `corner`.
bool writePng(const fs::path& path, int w, int h, int colourType, uint8_t corner = 255) {
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        fclose(f);
        return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, w, h, 8, colourType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<uint8_t> row(size_t(w) * 4, 255);
    for (int y = 0; y < h; ++y) {
        row[3] = y == 0 ? corner : 255;
        png_write_row(png, row.data());
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    fclose(f);
    return true;
}

// Replaces the n-th line (from 0) that starts with `prefix`.
bool replaceLine(const fs::path& p, const std::string& prefix, int n, const std::string& replacement) {
    std::istringstream in(readWholeFile(p));
    std::string out, line;
    bool done = false;
    for (int seen = 0; std::getline(in, line);) {
        if (!done && line.rfind(prefix, 0) == 0 && seen++ == n) {
            line = replacement;
            done = true;
        }
        out += line + "\n";
    }
    writeWholeFile(p, out);
    return done;
}

std::string nthLine(const fs::path& p, const std::string& prefix, int n) {
    std::istringstream in(readWholeFile(p));
    for (std::string line; std::getline(in, line);)
        if (line.rfind(prefix, 0) == 0 && n-- == 0) return line;
    return "";
}

class Packer : public testing::Test {
protected:
    void SetUp() override {
        fs::copy(fs::path(VYR_ASSETS_DIR) / "images", dir / "images");
        fs::copy(fs::path(VYR_ASSETS_DIR) / "meshes", dir / "meshes");
    }
    // The packer's exit status; its messages go to `messages`.
    int run() {
        ChildResult r = runChild({VYR_PACKER, dir.path(), pack});
        messages = r.out + r.err;
        return r.exitCode;
    }
    TempDir dir;
    std::string pack = dir / "pack.bin", messages;
};

}  // namespace

TEST_F(Packer, IntactSourcesGiveTheBuiltPack) {
    ASSERT_EQ(run(), 0) << messages;
    EXPECT_EQ(messages, "");
    std::string made = readWholeFile(pack);
    EXPECT_EQ(made.size(), 2089095u);
    EXPECT_TRUE(made == readWholeFile(VYR_ASSET_PACK));
}

// Each source broken one rule at a time: the packer names the file and the rule.
TEST_F(Packer, BrokenSourcesNameTheFileAndTheRule) {
    struct Case {
        const char* file;
        std::function<bool(const fs::path&)> breakIt;
        const char* rule;
    };
    auto swapLastTwoIndices = [](const fs::path& f) {
        std::istringstream words(nthLine(f, "f ", 7));
        std::string face, a, b, c;
        words >> face >> a >> b >> c;
        return replaceLine(f, "f ", 7, "f " + a + " " + c + " " + b);
    };
    const Case cases[] = {
        {"images/stars.png", [](const fs::path& f) { return writePng(f, 256, 512, PNG_COLOR_TYPE_RGBA); },
         "size: 256 x 512, must be 512 x 512"},
        {"images/pause.png", [](const fs::path& f) { return writePng(f, 128, 41, PNG_COLOR_TYPE_RGB); },
         "format: must be 8-bit RGBA"},
        {"images/smap.png", [](const fs::path& f) { return writeWholeFile(f, "GIF89a"), true; }, "format: not a PNG file"},
        {"images/smap.png", [](const fs::path& f) { return writePng(f, 256, 256, PNG_COLOR_TYPE_RGBA, 17); },
         "opacity: pixel (0, 0) has alpha 17"},
        {"meshes/vyr_logo.obj",
         [](const fs::path& f) {  // the last face, of the second part
             std::string text = readWholeFile(f);
             return writeWholeFile(f, text.erase(text.rfind("\nf ") + 1)), true;
         },
         "Cap_23_1: triangle count: 1827, must be 1828"},
        {"meshes/star.obj", swapLastTwoIndices, "Cone: triangle 8: winding"},
        {"meshes/star.obj", [](const fs::path& f) { return replaceLine(f, "vn ", 0, "vn 0.5 0 0"); }, "unit normals"},
        {"meshes/tarsel_logo.obj", [](const fs::path& f) { return replaceLine(f, "v ", 0, "v 1.95 0 -0.05"); },
         "Cap_21_1: extent: x from"},
        {"meshes/star.obj", [](const fs::path& f) { return replaceLine(f, "f ", 0, nthLine(f, "f ", 0) + " 1//1"); },
         "faces must be triangles"},
        {"meshes/tarsel_logo.obj", [](const fs::path& f) { return replaceLine(f, "o ", 1, "o Cap_2_2"); },
         "objects: \"Cap_21_1, Cap_2_2\", must be \"Cap_21_1, Cap_2_1\""},
        {"meshes/star.obj", [](const fs::path& f) { return fs::remove(f); }, "cannot be opened"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rule);
        fs::remove_all(dir / "images"), fs::remove_all(dir / "meshes"), fs::remove(pack);
        SetUp();
        ASSERT_TRUE(c.breakIt(fs::path(dir / c.file)));
        EXPECT_EQ(run(), 1);
        EXPECT_NE(messages.find(dir / c.file + ": "), std::string::npos) << messages;
        EXPECT_NE(messages.find(c.rule), std::string::npos) << messages;
        EXPECT_FALSE(fs::exists(pack)) << "a failed run leaves no pack";
    }
}

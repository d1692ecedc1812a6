// The packer run on copies of the sources, intact and broken one rule at a time.
#include <gtest/gtest.h>

#include "common/child_process.h"

#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using namespace vyr::testing;

// A picture written by ImageMagick: convert with these arguments, the last
// one the format and the path.
bool convert(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "convert");
    return runChild(arguments).exitCode == 0;
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
    // The built pack's size: AssetPack.RecordsInTheirStoredOrderToTheLastByte.
    EXPECT_TRUE(readWholeFile(pack) == readWholeFile(VYR_ASSET_PACK));
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
        {"images/stars.png",
         [](const fs::path& f) { return convert({"-size", "256x512", "xc:white", "PNG32:" + f.string()}); },
         "size: 256 x 512, must be 512 x 512"},
        {"images/pause.png",
         [](const fs::path& f) { return convert({"-size", "128x41", "xc:white", "PNG24:" + f.string()}); },
         "format: must be 8-bit RGBA"},
        {"images/smap.png",
         [](const fs::path& f) {
             writeWholeFile(f, "GIF89a");
             return true;
         },
         "format: not a PNG file"},
        {"images/smap.png",  // opaque white but for the first pixel of the top row
         [](const fs::path& f) {
             return convert({"-size", "256x256", "xc:white", "(", "-size", "1x1", "xc:#FFFFFF11", ")", "-compose",
                             "copy", "-composite", "PNG32:" + f.string()});
         },
         "opacity: pixel (0, 0) has alpha 17"},
        {"meshes/vyr_logo.obj",
         [](const fs::path& f) {  // the last face, of the second part
             std::string text = readWholeFile(f);
             writeWholeFile(f, text.erase(text.rfind("\nf ") + 1));
             return true;
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

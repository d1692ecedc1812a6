// Usage: vyr-assetgen <assets folder>
// Writes images/*.png and meshes/*.obj there. Run by hand when the drawings
// change; the build packs the files that are kept in the tree.
#include <cstdio>
#include <string>

#include "assetgen.h"

using namespace assetgen;

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: %s <assets folder>\n", argv[0]);
        return 2;
    }
    std::string dir = argv[1];
    struct {
        const char* file;
        Image image;
    } images[] = {{"images/stars.png", starField()},
                  {"images/pause.png", pauseLabel()},
                  {"images/vyroff.png", offIndicator()},
                  {"images/smap.png", sphereMap()},
                  {"images/gradient.png", gradientRamp()}};
    bool ok = true;
    for (auto& e : images) ok = writePng(dir + "/" + e.file, e.image) && ok;
    struct {
        const char* file;
        const char* comment;
        std::vector<NamedMesh> meshes;
    } meshes[] = {{"meshes/tarsel_logo.obj", "First logo: lettering slab and emblem slab", tarselLogo()},
                  {"meshes/vyr_logo.obj", "Second logo: the two parts of the mark", vyrLogo()},
                  {"meshes/star.obj", "Star ray: a thin spindle along z", starRay()}};
    for (auto& e : meshes) {
        for (auto& m : e.meshes) ok = !m.triangles.empty() && ok;
        ok = writeObj(dir + "/" + e.file, e.comment, e.meshes) && ok;
    }
    if (!ok) fprintf(stderr, "assetgen: some sources could not be made\n");
    return ok ? 0 : 1;
}

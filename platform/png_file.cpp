#include "platform/png_file.h"

#include <cstdio>

#include "platform/files.h"

namespace vyr::platform {

bool writePngFile(const char* path, const vyr::test::FrameImage& image) {
    std::string png, why;
    if (!encodePng(image, png)) {
        fprintf(stderr, "vyrtest: cannot write \"%s\": the image cannot be encoded\n", path);
        return false;
    }
    if (writeFileWhole(path, png, why)) return true;
    fprintf(stderr, "vyrtest: cannot write \"%s\": %s\n", path, why.c_str());
    return false;
}

}  // namespace vyr::platform

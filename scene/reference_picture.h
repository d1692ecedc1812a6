// The picture check's reference frame (640 x 400, drawn by the OpenGL back-end
// at the check's scene time), built into the program as a PNG.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vyr::test {

const uint8_t* referencePictureData();
size_t referencePictureSize();

}  // namespace vyr::test

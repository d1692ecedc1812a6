#include "scene/reference_picture.h"

// Defined in the assembler source CMake writes for the reference picture.
extern "C" const uint8_t vyr_reference_picture_begin[];
extern "C" const uint32_t vyr_reference_picture_size;

namespace vyr::test {

const uint8_t* referencePictureData() { return vyr_reference_picture_begin; }

size_t referencePictureSize() { return vyr_reference_picture_size; }

}  // namespace vyr::test

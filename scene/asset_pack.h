// The embedded asset pack: one read-only byte array linked into the program.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vyr::test {

const uint8_t* assetPackData();
size_t assetPackSize();

}  // namespace vyr::test

#include "scene/asset_pack.h"

// Defined in asset_pack_data.S.
extern "C" const uint8_t vyr_asset_pack_begin[];
extern "C" const uint32_t vyr_asset_pack_size;

namespace vyr::test {

const uint8_t* assetPackData() { return vyr_asset_pack_begin; }

size_t assetPackSize() { return vyr_asset_pack_size; }

}  // namespace vyr::test

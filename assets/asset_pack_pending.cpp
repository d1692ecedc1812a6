// Until the packer lands, the program embeds an empty pack: loading then finds
// no records and the scene is drawn without images or meshes.
#include "scene/asset_pack.h"

namespace vyr::test {

const uint8_t* assetPackData() {
    static const uint8_t empty[1] = {0};
    return empty;
}

size_t assetPackSize() { return 0; }

}  // namespace vyr::test

#include "scene/texture.h"

#include <cstdlib>

namespace vyr::test {

Texture::~Texture() {
    free(pixels);
    free(converted);
}

void Texture::load(DataStream& stream) {
    free(pixels);
    free(converted);
    pixels = converted = nullptr;
    name = "NOTHING";
    width = height = pitch = 0;
    if (!stream.readString(name) || !stream.readU32(width) || !stream.readU32(height) ||
        !stream.readU32(pitch) || !stream.readU32(format))
        return;
    size_t size = size_t(height) * pitch;
    pixels = static_cast<uint8_t*>(malloc(size ? size : 1));
    if (pixels && !stream.readBlock(pixels, uint32_t(size))) {
        free(pixels);
        pixels = nullptr;
    }
}

void Texture::save(DataStream& stream) const {
    stream.writeString(name);
    stream.writeU32(width);
    stream.writeU32(height);
    stream.writeU32(pitch);
    stream.writeU32(format);
    if (pixels) stream.write(pixels, 1, size_t(height) * pitch);
}

}  // namespace vyr::test

#include "scene/texture.h"

#include <cstdlib>

namespace vyr::test {

namespace {

// Bytes per pixel of what a back-end uploads: Index8 is converted to RGB8
// first, and anything neither Index8 nor RGB8 goes up as RGBA8.
uint32_t uploadBytesPerPixel(uint32_t format) { return format == Index8 || format == RGB8 ? 3 : 4; }
uint32_t storedBytesPerPixel(uint32_t format) { return format == Index8 ? 1 : format == RGB8 ? 3 : 4; }

}  // namespace

Texture::~Texture() {
    free(pixels);
    free(converted);
}

bool Texture::load(DataStream& stream) {
    free(pixels);
    free(converted);
    pixels = converted = nullptr;
    name = "NOTHING";
    width = height = pitch = 0;
    if (!stream.readString(name) || !stream.readU32(width) || !stream.readU32(height) ||
        !stream.readU32(pitch) || !stream.readU32(format))
        return false;
    // Both the stored block (height x pitch) and the image a back-end makes of
    // it (width x height x bytes per pixel) must fit in 32 bits, and a stored
    // row must hold a row of pixels: the back-ends read width pixels a row.
    uint32_t size = 0, row = 0, image = 0, stored = 0;
    if (!byteCount(height, pitch, size) || !byteCount(width, uploadBytesPerPixel(format), row) ||
        !byteCount(height, row, image) || !byteCount(width, storedBytesPerPixel(format), stored) ||
        pitch < stored || !stream.canRead(size))
        return false;
    pixels = static_cast<uint8_t*>(malloc(size ? size : 1));
    if (pixels && stream.readBlock(pixels, size)) return true;
    free(pixels);
    pixels = nullptr;
    return false;
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

// A named image in system memory, rows bottom of the picture first.
#pragma once

#include <cstdint>
#include <string>

#include "scene/data_stream.h"

namespace vyr::test {

class Texture {
public:
    Texture() = default;
    virtual ~Texture();
    Texture(const Texture&) = delete;
    Texture& operator=(const Texture&) = delete;

    // Consumes one texture record. False when it could not be read whole, or
    // its sizes do not fit 32 bits: loading must stop.
    bool load(DataStream& stream);
    void save(DataStream& stream) const;

    std::string name = "NOTHING";
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t pitch = 0;
    uint8_t* pixels = nullptr;     // height * pitch bytes, malloc'd
    uint8_t* converted = nullptr;  // width * height * 3 bytes made by a back-end for Index8
    uint32_t format = RGBA8;
};

}  // namespace vyr::test

// What the back-end tests over a real window share: a window procedure that
// leaves every event to the default, and small textures of one colour.
#pragma once

#include <cstdint>
#include <cstdlib>

#include "platform/native_window.h"
#include "scene/texture.h"

namespace vyr::testing {

inline platform::EventDisposition ignoreEvents(vyr::test::NativeWindow*, const platform::WindowEvent&) {
    return platform::EventDisposition::DefaultHandling;
}

// 4 x 4 opaque RGBA pixels of the colour.
inline vyr::test::Texture* solidTexture(uint8_t r, uint8_t g, uint8_t b) {
    auto* texture = new vyr::test::Texture();
    texture->width = texture->height = 4;
    texture->pitch = 16;
    texture->format = vyr::test::RGBA8;
    texture->pixels = static_cast<uint8_t*>(malloc(64));
    for (int i = 0; i < 16; i++) {
        uint8_t* p = texture->pixels + i * 4;
        p[0] = r, p[1] = g, p[2] = b, p[3] = 255;
    }
    return texture;
}

}  // namespace vyr::testing

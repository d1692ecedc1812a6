// Keys of the Wayland keyboard (xkbcommon) as the Windows virtual-key codes
// that serve as neutral key codes.
#pragma once

#include <xkbcommon/xkbcommon.h>

#include <cstdint>

namespace vyr::platform::wayland {

// 0 for keys that have no virtual-key code.
uint32_t virtualKeyFromKeysym(xkb_keysym_t keysym);
// The keysym that a key stands for, ignoring Shift and Caps Lock (letters come
// out in one case) but honouring Num Lock on the keypad, as on X11.
xkb_keysym_t unshiftedKeysym(xkb_state* state, xkb_keycode_t key);

}  // namespace vyr::platform::wayland

// X keysyms as the Windows virtual-key codes that serve as neutral key codes.
#pragma once

#include <X11/Xlib.h>

#include <cstdint>

namespace vyr::platform::x11 {

// 0 for keys that have no virtual-key code.
uint32_t virtualKeyFromKeysym(KeySym keysym);
// The keysym of a key event that the key code stands for, ignoring Shift and
// Caps Lock (letters come out in one case) but honouring Num Lock on the keypad.
KeySym unshiftedKeysym(XKeyEvent& event);

}  // namespace vyr::platform::x11

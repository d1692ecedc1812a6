#include "platform/key_map_wayland.h"

#include "platform/key_map_x11.h"

namespace vyr::platform::wayland {

// xkbcommon's keysyms are X's, value for value: one table serves both.
uint32_t virtualKeyFromKeysym(xkb_keysym_t keysym) { return x11::virtualKeyFromKeysym(KeySym(keysym)); }

namespace {

xkb_keysym_t symbolAtLevel(xkb_state* state, xkb_keycode_t key, xkb_level_index_t level) {
    xkb_keymap* keymap = xkb_state_get_keymap(state);
    const xkb_layout_index_t layout = xkb_state_key_get_layout(state, key);
    const xkb_keysym_t* symbols = nullptr;
    if (layout == XKB_LAYOUT_INVALID ||
        xkb_keymap_key_get_syms_by_level(keymap, key, layout, level, &symbols) < 1)
        return XKB_KEY_NoSymbol;
    return symbols[0];
}

bool keypadKey(xkb_keysym_t keysym) { return keysym >= XKB_KEY_KP_Space && keysym <= XKB_KEY_KP_Equal; }

}  // namespace

xkb_keysym_t unshiftedKeysym(xkb_state* state, xkb_keycode_t key) {
    xkb_keysym_t keysym = symbolAtLevel(state, key, 0);
    // Level 0 of a keypad key is its navigation meaning; with Num Lock on the digit is meant.
    if (keypadKey(keysym) &&
        xkb_state_mod_name_is_active(state, XKB_MOD_NAME_NUM, XKB_STATE_MODS_EFFECTIVE) > 0) {
        const xkb_keysym_t shifted = symbolAtLevel(state, key, 1);
        if (shifted != XKB_KEY_NoSymbol) keysym = shifted;
    }
    return keysym;
}

}  // namespace vyr::platform::wayland

// Whether sway shows an X window, from sway's own tree of windows (its IPC,
// GET_TREE): Xwayland's stacking order knows nothing of Wayland windows
// above ours, a workspace not shown, or a tab not chosen.
#pragma once

#include <cstdint>
#include <string>

#include "platform/output_layout_wayland.h"

namespace vyr::platform {

// sway's tree, as the JSON text GET_TREE answers, over the IPC socket at
// `socketPath`; false with why.
bool askSwayTree(const char* socketPath, std::string& tree, std::string& why);

// A connection to sway subscribed to its window and workspace events, for a
// watcher that asks for the tree only after something changed: -1 with why
// where sway cannot be reached.
int subscribeSwayEvents(const char* socketPath, std::string& why);
// Takes whatever sway sent on that connection into a buffer of its own (no
// allocation): true when anything came or the connection broke, so that the
// tree must be asked for again.
bool swayEventsCame(int fd);

// False with the reason where the tree shows that sway does not show the X
// window `xWindow` whose client area lies at `area`: "covered by the Wayland
// window \"foot\"", "on a workspace sway does not show". True where it shows
// it, and where the tree does not tell (no such window, a tree not read). An
// empty `area` asks only whether sway shows the window at all, not whether a
// floating window lies over part of it. With `xWindow` 0, the Wayland window
// of process `pid`.
bool swayShowsWindow(const std::string& tree, uint64_t xWindow, const LayoutArea& area, std::string& why, int pid = 0);

// Where sway shows the client area of process `pid`'s Wayland window, in its
// layout; false where the tree has no such window.
bool swayWindowArea(const std::string& tree, int pid, LayoutArea& area);

}  // namespace vyr::platform

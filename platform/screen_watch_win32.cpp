// Pairs with platform/screen_watch.h on Windows. DXGI output duplication would
// tell when the desktop last showed a new frame (LastPresentTime,
// AccumulatedFrames), but it is not used here yet and Wine does not offer it:
// the screen's figures are null, with this reason.
#include "platform/screen_watch.h"

namespace vyr::platform {

ScreenWatch* openScreenWatch(NativeWindow*, std::string&, std::string& why) {
    why = "not measured: the Windows build has no way yet to see when the desktop shows a new frame "
          "(DXGI output duplication is not used, and Wine does not offer it)";
    return nullptr;
}

void runScreenWatch(ScreenWatch*, ScreenChanged, void*) {}
void stopScreenWatch(ScreenWatch*) {}
void closeScreenWatch(ScreenWatch*) {}

}  // namespace vyr::platform

// Pairs with platform/desktop.h on Windows: the desktop is the system's own.
#include "platform/desktop.h"

namespace vyr::platform {

DesktopFacts desktopFacts(NativeWindow*) { return {"Windows", ""}; }

}  // namespace vyr::platform

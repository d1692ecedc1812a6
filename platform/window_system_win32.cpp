// Pairs with platform/window_system.h on Windows: there is one window system.
#include "platform/window_system.h"

namespace vyr::platform {

WindowSystem chooseWindowSystem(bool) { return WindowSystem::Win32; }

WindowSystem windowSystem() { return WindowSystem::Win32; }

const char* windowSystemName(WindowSystem) { return "Windows"; }

std::vector<WindowSystem> sessionWindowSystems(bool) { return {WindowSystem::Win32}; }

}  // namespace vyr::platform

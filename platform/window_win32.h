// On Windows a NativeWindow* is the main window's HWND.
#pragma once

#include <windows.h>

#include "platform/native_window.h"

namespace vyr::platform {

inline HWND toHwnd(NativeWindow* window) { return reinterpret_cast<HWND>(window); }
inline NativeWindow* fromHwnd(HWND window) { return reinterpret_cast<NativeWindow*>(window); }

}  // namespace vyr::platform

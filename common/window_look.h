// What both windows of the program share in how they look: the program's
// icon in the caption and the task switcher, and message boxes laid out the
// way their window is (mirrored in right-to-left languages).
#pragma once

#include "platform/types.h"

namespace korv {

// Sets the application icon on the window, small (caption) and big (task
// switcher, Alt+Tab).
void ShowAppIcon(Hwnd window);

// The MessageBoxW type for a message box owned by `owner`: MB_OK, and when
// the owner is mirrored (a right-to-left language's dialog, WS_EX_LAYOUTRTL)
// also MB_RTLREADING | MB_RIGHT, which mirror the message box with it.
Dword MessageBoxTypeFor(Hwnd owner);

}  // namespace korv

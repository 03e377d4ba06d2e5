#include "common/window_look.h"

#include "common/globals.h"
#include "common/resource_ids.h"
#include "platform/ui.h"

namespace korv {

void ShowAppIcon(Hwnd window) {
  os::SetWindowIcon(window, AppInstance, IDI_APP, os::IconSize::Small);
  os::SetWindowIcon(window, AppInstance, IDI_APP, os::IconSize::Big);
}

Dword MessageBoxTypeFor(Hwnd owner) {
  const bool mirrored = (os::GetWindowLongW(owner, os::GWL_EXSTYLE) & os::WS_EX_LAYOUTRTL) != 0;
  return os::MB_OK | (mirrored ? os::MB_RTLREADING | os::MB_RIGHT : 0);
}

}  // namespace korv

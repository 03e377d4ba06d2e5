// The uninstall window (dialog 105): collects the inventory on a worker
// thread, shows it as a tree, starts a removal run for each press of
// "Remove", and ends on "Close".
#pragma once

#include <cstdint>

#include "platform/types.h"
#include "platform/ui.h"

namespace korv {

// Posted to the dialog by a worker once it has written its last record: the
// dialog's own thread rebuilds the tree from InstalledPackages.
inline constexpr Dword WM_REFRESH_COMPONENTS = os::WM_USER + 1;

// The dialog procedure. Returns 0 (FALSE) for every message. Keeps no handle
// of its worker threads and never waits for them: "Close" ends the dialog at
// once, also while a worker runs.
std::intptr_t UninstallDialogProc(Hwnd dialog, Dword message, std::uintptr_t wParam,
                                  std::intptr_t lParam);

// Thread procedure started when the dialog opens; the argument is the dialog.
// Collects the inventory with both buttons disabled and the progress bar at
// 80, then posts WM_REFRESH_COMPONENTS. Returns 0.
Dword InventoryThread(void* dialog);

}  // namespace korv

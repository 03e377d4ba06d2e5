#include "uninstall/uninstall_dialog.h"

#include "common/resource_ids.h"
#include "common/window_look.h"
#include "platform/kernel.h"
#include "uninstall/component_tree.h"
#include "uninstall/inventory.h"
#include "uninstall/removal.h"

namespace korv {

std::intptr_t UninstallDialogProc(Hwnd dialog, Dword message, std::uintptr_t wParam,
                                  std::intptr_t lParam) {
  (void)lParam;
  switch (message) {
    case os::WM_INITDIALOG:
      ShowAppIcon(dialog);
      // The thread's handle is dropped at once; the thread goes on.
      os::CreateThread(&InventoryThread, dialog);
      break;
    case os::WM_COMMAND:
      switch (wParam & 0xFFFFu) {
        case IDC_REMOVE:
          os::CreateThread(&RemovalThread, dialog);
          break;
        case IDC_CLOSE:
          os::EndDialog(dialog, IDC_CLOSE);
          break;
        default:
          break;
      }
      break;
    case WM_REFRESH_COMPONENTS:
      FillComponentTree(dialog, InstalledPackages);
      break;
    default:
      break;
  }
  return 0;
}

Dword InventoryThread(void* argument) {
  Hwnd dialog = argument;
  os::EnableWindow(os::GetDlgItem(dialog, IDC_REMOVE), false);
  os::EnableWindow(os::GetDlgItem(dialog, IDC_CLOSE), false);
  Hwnd progress = os::GetDlgItem(dialog, IDC_PROGRESS);
  os::ShowWindow(progress, os::SW_SHOW);
  os::SendMessageW(progress, os::PBM_SETPOS, 80, 0);

  CollectDriverPackages();
  CollectPrinterDrivers();
  CollectPrinters();
  MarkInventoryCollected();

  os::PostMessageW(dialog, WM_REFRESH_COMPONENTS, 0, 0);
  os::ShowWindow(progress, os::SW_HIDE);
  os::EnableWindow(os::GetDlgItem(dialog, IDC_REMOVE), true);
  os::EnableWindow(os::GetDlgItem(dialog, IDC_CLOSE), true);
  return 0;
}

}  // namespace korv

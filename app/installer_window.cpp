#include "app/installer_window.h"

#include "common/fixed_text.h"
#include "common/globals.h"
#include "install/autoinstall_worker.h"
#include "platform/kernel.h"
#include "platform/ui.h"
#include "uninstall/uninstall_dialog.h"

namespace korv {

namespace {

// How long the window thread gives the wizard to open its window before
// bringing it to the front.
constexpr Dword kWizardStartPauseMs = 300;

// The system folder's rundll32.exe, named in full: started by its bare name,
// the system would look in the installer's own folder first, and a file
// planted there would run with the installer's administrator rights. False
// when the system folder cannot be had whole.
bool SystemRundll32(FixedText<260>* path) {
  FixedText<260> systemFolder;
  const Dword length = os::GetSystemDirectoryW(systemFolder.data(), static_cast<Dword>(systemFolder.capacity()));
  if (length == 0 || length >= systemFolder.capacity()) return false;
  return path->format(u"%ws\\%ws", systemFolder.c_str(), u"rundll32.exe") == S_OK;
}

void StartWizard() {
  // The wizard command buffer belongs to the window's thread alone.
  FixedText<260> commandLine;
  if (InfPath.empty()) return;
  if (commandLine.format(u"rundll32.exe printui.dll PrintUIEntry /ii /f \"%ws\"", InfPath.c_str()) !=
      S_OK) {
    return;
  }
  FixedText<260> application;
  if (!SystemRundll32(&application)) return;
  os::ProcessStart wizard = os::CreateProcessW(application.c_str(), commandLine.c_str());
  os::Sleep(kWizardStartPauseMs);
  BringProcessWindowToFront(wizard.processId);
  wizard.process.reset();
  wizard.thread.reset();
}

bool FrontIfOfProcess(Hwnd window, void* context) {
  const Dword processId = *static_cast<const Dword*>(context);
  if (os::GetWindowThreadProcessId(window) != processId) return true;
  os::SetForegroundWindow(window);
  return false;
}

}  // namespace

std::intptr_t InstallerDialogProc(Hwnd window, Dword message, std::uintptr_t wParam,
                                  std::intptr_t lParam) {
  (void)lParam;
  if (message == os::WM_INITDIALOG) {
    // The worker is never waited for; its handle is of no use.
    os::CreateThread(AutoInstallWorker, window);
  } else if (message == os::WM_COMMAND) {
    const int control = static_cast<int>(wParam & 0xFFFF);
    if (control == installer_ids::kCancelButton) {
      os::EndDialog(window, installer_ids::kCancelButton);
    } else if (control == installer_ids::kWizardButton) {
      StartWizard();
    }
  }
  return 0;
}

void AppendLogText(Hwnd edit, const char16_t* text) {
  const int length = os::GetWindowTextLengthW(edit);
  os::SendMessageW(edit, os::EM_SETSEL, static_cast<std::uintptr_t>(length), length);
  os::SendMessageW(edit, os::EM_REPLACESEL, 0, reinterpret_cast<std::intptr_t>(text));
}

int BringProcessWindowToFront(Dword processId) {
  os::EnumWindows(FrontIfOfProcess, &processId);
  return 0;
}

int ShowUninstallWindow() {
  os::DialogBoxParamW(AppInstance, installer_ids::kUninstallDialog, UninstallDialogProc, 0);
  return 0;
}

}  // namespace korv

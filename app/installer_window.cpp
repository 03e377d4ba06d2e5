#include "app/installer_window.h"

#include "app/installer_view.h"
#include "app/picture_scale.h"
#include "common/fixed_text.h"
#include "common/globals.h"
#include "common/resource_ids.h"
#include "common/window_look.h"
#include "install/autoinstall_worker.h"
#include "platform/kernel.h"
#include "platform/ui.h"
#include "uninstall/uninstall_dialog.h"

namespace korv {

namespace {

// How long the window thread gives the wizard to open its window before
// bringing it to the front.
constexpr Dword kWizardStartPauseMs = 300;

// Private message of the installer window: show the pictures at the scale
// in wParam (dots per inch). WM_APP and above are free in a dialog, where
// WM_USER and WM_USER + 1 are the dialog manager's own.
constexpr Dword kFitPictures = 0x8000 + 1;

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

// The template's progress bar carries PBS_MARQUEE. With common controls 6
// (the manifest asks for them, for the current look of the controls) that
// bit makes a marquee, which shows none of the positions the worker posts.
// Clearing it on the open window keeps the template as it is and the bar a
// current-looking one that shows its position.
void ShowPositionsOnProgressBar(Hwnd window) {
  Hwnd bar = os::GetDlgItem(window, IDC_PROGRESS);
  const Dword style = os::GetWindowLongW(bar, os::GWL_STYLE);
  if ((style & os::PBS_MARQUEE) != 0) os::SetWindowLongW(bar, os::GWL_STYLE, style & ~os::PBS_MARQUEE);
}

// The worker's view of the window. It lives as long as the process, since
// the worker may outlive the dialog; there is one installer window per run.
InstallerWindowView workerView(nullptr);

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
    ShowAppIcon(window);
    ShowPositionsOnProgressBar(window);
    FitPicturesToScale(window, os::GetDpiForWindow(window));
    // The worker is never waited for; its handle is of no use.
    workerView = InstallerWindowView(window);
    os::CreateThread(AutoInstallWorker, &workerView);
  } else if (message == os::WM_DPICHANGED) {
    // Moved to a monitor of another scale. The dialog manager resizes the
    // dialog and its controls once this message returns; the pictures are
    // fitted after that, so that their controls end at the pictures' size.
    os::PostMessageW(window, kFitPictures, wParam & 0xFFFF, 0);
  } else if (message == kFitPictures) {
    FitPicturesToScale(window, static_cast<Dword>(wParam));
  } else if (message == os::WM_COMMAND) {
    const int control = static_cast<int>(wParam & 0xFFFF);
    if (control == IDC_INSTALLER_CANCEL) {
      os::EndDialog(window, IDC_INSTALLER_CANCEL);
    } else if (control == IDC_WIZARD) {
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
  os::DialogBoxParamW(AppInstance, IDD_UNINSTALL, UninstallDialogProc, 0);
  return 0;
}

}  // namespace korv

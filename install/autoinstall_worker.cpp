#include "install/autoinstall_worker.h"

#include "app/installer_window.h"
#include "common/fixed_text.h"
#include "common/globals.h"
#include "common/strsafe.h"
#include "common/trace.h"
#include "discovery/find_model.h"
#include "discovery/printer_device.h"
#include "discovery/usb_discovery.h"
#include "install/install_printer.h"
#include "install/install_request.h"
#include "platform/devices.h"
#include "platform/kernel.h"
#include "platform/ui.h"

namespace korv {

namespace {

namespace ids = installer_ids;

constexpr Dword kTextDeviceNotFound = 101;
constexpr Dword kTextPrinterInstalled = 103;
constexpr Dword kTextInstallFailed = 104;
constexpr Dword kTextPrinterFound = 117;
constexpr Dword kTextDone = 118;
constexpr Dword kTextSearching = 119;

constexpr int kProgressFull = 100;
constexpr int kProgressSearching = 40;
constexpr int kProgressInstalled = 80;
constexpr Dword kPassPauseMs = 1000;
constexpr Dword kErrorFilenameExcedRange = 206;

// The installer window's controls as the worker drives them; every call
// does nothing without a window.
class Window {
 public:
  explicit Window(Hwnd dialog) : dialog_(dialog) {}
  bool present() const { return dialog_ != nullptr; }

  void Show(int control, bool visible) {
    if (present()) os::ShowWindow(os::GetDlgItem(dialog_, control), visible ? os::SW_SHOW : os::SW_HIDE);
  }
  void SetText(int control, const char16_t* text) {
    if (present()) os::SetWindowTextW(os::GetDlgItem(dialog_, control), text);
  }
  void AppendLog(const char16_t* text) {
    if (present()) AppendLogText(os::GetDlgItem(dialog_, ids::kLog), text);
  }
  // Progress positions are posted: the window's thread applies them in the
  // order they were set, without holding up the worker.
  void SetProgress(int position) {
    if (present()) {
      os::PostMessageW(os::GetDlgItem(dialog_, ids::kProgressBar), os::PBM_SETPOS,
                       static_cast<std::uintptr_t>(position), 0);
    }
  }
  // "Wizard" and the connection picture while no supported printer is
  // connected; the log and the progress bar once one is.
  void ApplyLayout(bool found) {
    Show(ids::kWizardButton, !found);
    Show(ids::kConnectionPicture, !found);
    Show(ids::kLog, found);
    Show(ids::kProgressBar, found);
  }
  // A message in the log and as the status line.
  void Report(const char16_t* text) {
    AppendLog(text);
    SetText(ids::kStatusText, text);
  }

 private:
  Hwnd dialog_;
};

// The string-table text of `id` in a buffer of 260 code units (cut to 259).
FixedText<260> LoadText(Dword id) {
  FixedText<260> text;
  os::LoadStringW(AppInstance, id, text.data(), static_cast<int>(text.capacity()));
  return text;
}

void FillRequest(const PrinterDevice& device, const ModelEntry& model, InstallRequest* request) {
  *request = InstallRequest{};
  request->DriverName.format(u"%ws %ws", model.manufacturer, model.model);
  request->PrinterName.format(u"%ws %ws", model.manufacturer, model.model);
  request->PortName.assign(device.portName);
  request->HardwareId.assign(device.hardwareId);
  request->Options = model.options;
}

// Ends the worker after a failed installation (or a refused InfPath):
// text 104 with the error, progress full, "Cancel" left as it is. The error
// of a failed installation is the thread's last error, read after the text
// was loaded; a refusal of our own gives its error itself.
void ReportFailure(Window& window, FixedText<256>& text, Dword ownError = 0) {
  const FixedText<260> format = LoadText(kTextInstallFailed);
  const int error = static_cast<int>(ownError != 0 ? ownError : os::GetLastError());
  wsprintfW(text.data(), text.capacity(), format.c_str(), error);
  window.Report(text.c_str());
  window.SetProgress(kProgressFull);
}

void ReenumerateDevices() {
  Dword root = 0;
  os::CM_Locate_DevNodeW(&root, os::CM_LOCATE_DEVNODE_NORMAL);
  os::CM_Reenumerate_DevNode(root, os::CM_REENUMERATE_SYNCHRONOUS);
}

}  // namespace

Dword AutoInstallWorker(void* dialog) {
  Window window(static_cast<Hwnd>(dialog));
  FixedText<256> text;
  int result = 0;
  bool found = false;
  InstallRequest request;

  // Without InstallDir (the module path could not be had whole) InfPath
  // would be a bare "korvv6.inf", read from whatever the current folder is:
  // refused like one that does not fit.
  if (InstallDir.empty() || InfPath.format(u"%ws%ws", InstallDir.c_str(), u"korvv6.inf") != S_OK) {
    const Dword refusal = InstallDir.empty() ? err::PathNotFound : kErrorFilenameExcedRange;
    InfPath.clear();
    window.Show(ids::kProgressBar, true);
    // The picture would cover the error text, as on the normal path.
    window.Show(ids::kConnectionPicture, false);
    ReportFailure(window, text, refusal);
    return 0;
  }

  if (window.present()) {
    window.Show(ids::kProgressBar, true);
    window.SetProgress(kProgressFull);
    window.SetText(ids::kStatusText, LoadText(kTextSearching).c_str());
    window.Show(ids::kConnectionPicture, false);
  }

  for (;;) {
    DiscoverUsbPrinters(&DeviceList);
    window.SetText(ids::kLog, u"");

    for (const PrinterDevice* device = DeviceList; device != nullptr; device = device->next) {
      window.SetProgress(kProgressSearching);
      const ModelEntry* model = FindModel(device->description);
      if (model == nullptr) continue;
      found = true;
      FillRequest(*device, *model, &request);
      trace("Installing printer model: %ws, name: %ws, port: %ws", request.DriverName.c_str(),
            request.PrinterName.c_str(), request.PortName.c_str());

      const FixedText<260> foundFormat = LoadText(kTextPrinterFound);
      wsprintfW(text.data(), text.capacity(), foundFormat.c_str(), request.PrinterName.c_str(),
                request.PortName.c_str());
      window.Report(text.c_str());
      window.ApplyLayout(true);

      result = InstallPrinter(request, InfPath.c_str());
      window.SetProgress(kProgressInstalled);
      if (result == 0) {
        ReportFailure(window, text);
        return 0;
      }
      const FixedText<260> installedFormat = LoadText(kTextPrinterInstalled);
      wsprintfW(text.data(), text.capacity(), installedFormat.c_str(), request.PrinterName.c_str(),
                request.PortName.c_str());
      window.Report(text.c_str());
    }

    window.ApplyLayout(found);
    if (found) break;

    const FixedText<260> notFound = LoadText(kTextDeviceNotFound);
    window.Report(notFound.c_str());
    os::Sleep(kPassPauseMs);
    ReenumerateDevices();
  }

  if (window.present()) {
    window.SetProgress(kProgressFull);
    window.SetText(ids::kCancelButton, LoadText(kTextDone).c_str());
  }
  return 0;
}

}  // namespace korv

#include "install/autoinstall_worker.h"

#include "common/fixed_text.h"
#include "common/globals.h"
#include "common/resource_ids.h"
#include "common/strsafe.h"
#include "common/string_table.h"
#include "common/trace.h"
#include "discovery/find_model.h"
#include "discovery/printer_device.h"
#include "discovery/usb_discovery.h"
#include "install/install_printer.h"
#include "install/install_request.h"
#include "install/install_view.h"
#include "install/package_binding.h"
#include "platform/devices.h"
#include "platform/kernel.h"

namespace korv {

namespace {

constexpr int kProgressFull = 100;
constexpr int kProgressSearching = 40;
constexpr int kProgressInstalled = 80;
constexpr Dword kPassPauseMs = 1000;
constexpr Dword kErrorFilenameExcedRange = 206;

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
void ReportFailure(InstallView& view, FixedText<256>& text, Dword ownError = 0) {
  const FixedText<260> format = LoadText(IDS_INSTALL_FAILED);
  const int error = static_cast<int>(ownError != 0 ? ownError : os::GetLastError());
  wsprintfW(text.data(), text.capacity(), format.c_str(), error);
  view.Report(text.c_str());
  view.SetProgress(kProgressFull);
}

}  // namespace

Dword AutoInstall(InstallView& view) {
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
    view.ShowRefused();
    ReportFailure(view, text, refusal);
    return 0;
  }

  view.ShowSearching();

  for (;;) {
    DiscoverUsbPrinters(&DeviceList);
    view.ClearLog();

    for (const PrinterDevice* device = DeviceList; device != nullptr; device = device->next) {
      view.SetProgress(kProgressSearching);
      const ModelEntry* model = FindModel(device->description);
      if (model == nullptr) continue;
      found = true;
      FillRequest(*device, *model, &request);
      trace("Installing printer model: %ws, name: %ws, port: %ws", request.DriverName.c_str(),
            request.PrinterName.c_str(), request.PortName.c_str());

      const FixedText<260> foundFormat = LoadText(IDS_PRINTER_FOUND);
      wsprintfW(text.data(), text.capacity(), foundFormat.c_str(), request.PrinterName.c_str(),
                request.PortName.c_str());
      view.Report(text.c_str());
      view.ShowLayout(true);

      result = InstallPrinter(request, InfPath.c_str());
      view.SetProgress(kProgressInstalled);
      if (result == 0) {
        ReportFailure(view, text);
        return 0;
      }
      const FixedText<260> installedFormat = LoadText(IDS_PRINTER_INSTALLED);
      wsprintfW(text.data(), text.capacity(), installedFormat.c_str(), request.PrinterName.c_str(),
                request.PortName.c_str());
      view.Report(text.c_str());
    }

    view.ShowLayout(found);
    if (found) break;

    const FixedText<260> notFound = LoadText(IDS_DEVICE_NOT_FOUND);
    view.Report(notFound.c_str());
    os::Sleep(kPassPauseMs);
    ReenumerateDevices(os::CM_REENUMERATE_SYNCHRONOUS, RootLookup::kUnchecked);
  }

  view.ShowDone();
  return 0;
}

Dword AutoInstallWorker(void* view) { return AutoInstall(*static_cast<InstallView*>(view)); }

}  // namespace korv

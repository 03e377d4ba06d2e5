#include "install/install_printer.h"

#include "install/driver_files.h"
#include "install/driver_registration.h"
#include "install/file_staging.h"
#include "install/package_binding.h"
#include "install/print_queue.h"
#include "platform/devices.h"
#include "platform/kernel.h"
#include "system/service_control.h"

namespace korv {

namespace {

constexpr int kPlugAndPlayChecks = 10;
constexpr Dword kPlugAndPlayPauseMs = 1000;

// Gives Plug and Play time to create the queue after the binding. For models
// with the language monitor the wait ends once the queue is there: the
// monitor goes into the system folder with a spooler restart so that the
// spooler loads the build just installed. Other models always wait the full
// time.
void WaitForPlugAndPlayQueue(const InstallRequest& request) {
  for (int check = 0; check < kPlugAndPlayChecks; ++check) {
    const bool queue = QueryQueueState(request.PrinterName.c_str(), request.PortName.c_str()) != kQueueAbsent;
    if (queue && UsesLanguageMonitor(request)) {
      StageArchFile(kMonitorFile);
      return;
    }
    os::Sleep(kPlugAndPlayPauseMs);
  }
}

}  // namespace

int InstallPrinter(const InstallRequest& request, const char16_t* infPath) {
  const char16_t* name = request.PrinterName.c_str();
  const char16_t* port = request.PortName.c_str();
  if (QueryQueueState(name, port) != kQueueAbsent) return kAlreadyInstalled;

  // Where the maker's Seagull-built driver is installed, the device is left
  // to it: no package of ours is uploaded or bound over it.
  if (!IsSeagullDriverInstalled() && DoUploadDriverPackage(infPath)) {
    ReenumerateDevices(os::CM_REENUMERATE_NORMAL, RootLookup::kLocated);
    BindDriverToDevice(request.HardwareId.c_str(), infPath);
    WaitForPlugAndPlayQueue(request);
  }

  int result = 0;
  switch (QueryQueueState(name, port)) {
    case kQueueAbsent:
      result = InstallDriverAndQueue(request);
      break;
    case kQueueOnOtherPort:
      result = SetQueuePort(name, port);
      break;
    default:
      result = 1;
      break;
  }

  // A port the spooler does not list yet appears once its port monitors are
  // loaded again.
  if (result != 0 && !PortExists(port)) RestartSpooler(nullptr, nullptr);
  return result;
}

int InstallDriverAndQueue(const InstallRequest& request) {
  // The name is taken by another vendor's driver: leave that installation
  // as it is.
  if (IsForeignDriverRegistered(request)) return 1;

  // Every step runs even after one failed, so that as much as possible is in
  // place; the outcome counts only if all of them succeeded.
  bool staged = StageArchFile(kRenderingDriverFile) != 0;
  staged = StageArchFile(kConfigModuleFile) != 0 && staged;
  staged = StageDataFile(kDataFile) != 0 && staged;
  if (UsesLanguageMonitor(request)) {
    staged = StageArchFile(kMonitorFile) != 0 && staged;
    staged = InstallPrinterLanguageMonitor(kMonitorName, kMonitorFile) != 0 && staged;
  }

  if (staged && !IsDriverRegistered(request) && !RegisterPrinterDriver(request)) return 0;

  if (AddPrintQueue(request)) return 1;
  return staged ? 1 : 0;
}

}  // namespace korv

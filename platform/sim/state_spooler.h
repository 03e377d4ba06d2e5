// The print spooler of the simulated machine: drivers, monitors, ports,
// queues, the driver directory and the driver store, and how Plug and Play
// reacts when a driver is bound to a hardware ID.
#pragma once

#include <cstdint>
#include <deque>
#include <vector>

#include "platform/spooler.h"
#include "platform/types.h"

namespace korv::sim {

struct SimDriver {
  os::DriverInfo8 info;
  bool inUseUntilCycle = false;  // deletion fails with 3001 until the spooler restarts
};

struct SimQueue {
  os::PrinterInfo2 info;
  bool undeletable = false;  // DeletePrinter fails with deleteError
  Dword deleteError = err::AccessDenied;
};

// What Plug and Play does once a driver package is bound to a hardware ID.
struct PnpReaction {
  Text hardwareId;       // lower-case hardware ID that triggers it
  Text queueName;        // queue created (empty: none)
  Text portName;         // port of the created queue
  Text driverName;       // driver of the created queue (also registered); empty: queueName
  std::uint64_t delayMs = 3000;
  bool plugged = true;   // a device with this hardware ID is connected
};

struct DriverStorePackage {
  Text sourceInf;   // the INF uploaded
  Text storedInf;   // its path in the driver store
};

struct SpoolerState {
  std::vector<SimDriver> drivers;
  // AddPrinterDriverW succeeds for these names but the driver is never listed.
  std::vector<Text> acceptedNeverListed;
  std::vector<os::MonitorInfo2> monitors;
  std::vector<Text> ports{u"LPT1:", u"COM1:", u"FILE:", u"PORTPROMPT:"};
  // Ports a port monitor reports only when the spooler next starts (a USB
  // port that appeared while the spooler was running): they join `ports` at
  // the next STOPPED -> RUNNING cycle of the Spooler service.
  std::vector<Text> portsAfterCycle;
  // AddPrinterW adds a queue even on a port the spooler does not list (as
  // Wine's spooler does; Windows refuses with ERROR_UNKNOWN_PORT).
  bool acceptsUnknownPorts = false;
  std::vector<SimQueue> queues;
  Text driverDirectory = u"C:\\Windows\\system32\\spool\\DRIVERS\\x64";

  // Driver store.
  HResult uploadResult = 0;  // what UploadPrinterDriverPackageW returns
  Text uploadDestination =
      u"C:\\Windows\\System32\\DriverStore\\FileRepository\\korvv6.inf_amd64_5d1f3c2b7e9a4f10\\korvv6.inf";
  std::vector<DriverStorePackage> store;
  // Results DeletePrinterDriverPackageW gives, one per call, front first;
  // when empty, S_OK (and the package leaves the store).
  std::deque<HResult> packageDeleteResults;
  // Windows refuses to delete a package while a printer driver installed
  // from it is registered (HRESULT_FROM_WIN32 of
  // ERROR_PRINTER_DRIVER_PACKAGE_IN_USE, 3015). Off unless a test asks for
  // it: tests that do not say which driver came from which package leave it
  // off.
  bool packageInUseWhileDriverInstalled = false;

  std::vector<PnpReaction> pnp;

  // Bookkeeping of the simulation: the Spooler service start requests whose
  // completion (a STOPPED -> RUNNING cycle) has already been applied to the
  // spooler's state (drivers let go, ports reloaded).
  int startsApplied = 0;
};

}  // namespace korv::sim

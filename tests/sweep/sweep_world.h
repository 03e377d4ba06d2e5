// The machines the fault sweep runs the program on, the run paths it takes
// through them, and what every run must leave true whatever failed.
//
// Every machine holds, besides what a path needs, objects that belong to
// somebody else: another vendor's printer driver with its files, language
// monitor, queue (on another port), package record and INF, an unsupported
// USB printer, and a user's folder of documents. The installer runs with
// administrator rights, so a fault that made it touch any of these would be
// a real loss on a customer's machine; every run checks that all of them
// are still there, unchanged.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "app/entry_point.h"
#include "app/res/resource_tables.h"
#include "common/globals.h"
#include "common/resource_ids.h"
#include "common/strsafe.h"
#include "install/install_printer.h"
#include "install/install_request.h"
#include "platform/services.h"
#include "platform/sim/machine.h"
#include "platform/sim/nocase.h"
#include "platform/sim/sim_fixtures.h"
#include "platform/sim/sim_shell.h"
#include "platform/sim/usb_printers.h"
#include "platform/ui.h"
#include "sim_fixture.h"
#include "uninstall/inventory.h"

namespace korv::test::sweep {

// ---- the installer and the family --------------------------------------------

inline constexpr char16_t kInstallDir[] = u"C:\\Korvane\\";
inline constexpr char16_t kProgram[] = u"C:\\Korvane\\korvsetup.exe";
inline constexpr char16_t kUninstallerCopy[] = u"C:\\Korvane\\unins000.exe";
inline constexpr char16_t kInfPath[] = u"C:\\Korvane\\korvv6.inf";
inline constexpr char16_t kTempFolder[] = u"C:\\Users\\Shop\\AppData\\Local\\Temp\\";
inline constexpr char16_t kSystemFolder[] = u"C:\\Windows\\system32";
inline constexpr char16_t kDriverDir[] = u"C:\\Windows\\system32\\spool\\DRIVERS\\x64";

inline constexpr char16_t kModel[] = u"Korvane KV-T58";      // driver and queue name
inline constexpr char16_t kDescription[] = u"KorvaneKV-T58";  // what the printer reports
inline constexpr char16_t kHardwareId[] = u"usbprint\\korvanekv-t582b3d";
inline constexpr char16_t kPort[] = u"USB001";
inline constexpr char16_t kOtherUsbPort[] = u"USB002";
inline constexpr char16_t kMonitor[] = u"Language Monitor";
inline constexpr char16_t kSecondDriver[] = u"Korvane KV-L40";
inline constexpr char16_t kCounterQueue[] = u"Shop counter";
inline constexpr char16_t kPackageFolder[] = u"korvv6.inf_amd64_5d1f3c2b7e9a4f10";
inline constexpr char16_t kStoredInf[] =
    u"C:\\Windows\\System32\\DriverStore\\FileRepository\\korvv6.inf_amd64_5d1f3c2b7e9a4f10\\korvv6.inf";
inline constexpr char16_t kPackagesKey[] =
    u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\PackageInstallation\\Windows x64\\DriverPackages";

// ---- somebody else's ------------------------------------------------------------

inline constexpr char16_t kForeignDriver[] = u"Contoso Laser";
inline constexpr char16_t kForeignMonitor[] = u"Contoso Status Monitor";
inline constexpr char16_t kForeignQueue[] = u"Contoso Front Desk";
inline constexpr char16_t kForeignPort[] = u"LPT1:";
inline constexpr char16_t kForeignPackageFolder[] = u"contoso.inf_amd64_0a1b2c3d4e5f6071";
inline constexpr char16_t kForeignStoredInf[] =
    u"C:\\Windows\\System32\\DriverStore\\FileRepository\\contoso.inf_amd64_0a1b2c3d4e5f6071\\contoso.inf";
inline constexpr char16_t kGenericDriver[] = u"Generic / Text Only";
inline constexpr char16_t kUserFolder[] = u"C:\\Users\\Shop\\Documents\\Receipts";

// ---- run paths --------------------------------------------------------------------

enum class PathId {
  SilentDriverStore,    // /silence; Plug and Play makes the queue after the binding
  SilentManual,         // /silence; no queue from Plug and Play, a driver file in use
  MonitorManual,        // InstallPrinter with the language-monitor bit, manual path
  MonitorPnpOtherPort,  // InstallPrinter with the bit; Plug and Play's queue on another port
  WindowWizard,         // installer window, no printer: "Wizard", then "Cancel"
  WindowExistingQueue,  // installer window, the printer's queue exists already
  UninstallWindow,      // -u: inventory of the family, "Remove" (twice if needed), "Close"
  Relaunch,             // started as unins000.exe: copy to the temporary folder, relaunch
  HandOff,              // the family installed: start unins000.exe
};

struct PathPlan {
  PathId id;
  const char* name;
  const char16_t* commandLine;  // null: InstallPrinter is called directly
  // Virtual time by which a run that ends by itself has ended: from the
  // program's fixed loops (derived in namespace bound below).
  std::uint64_t endsBy;
  // The run is ended from outside at this time.
  std::uint64_t timeLimit;
  // Only a silent search that never finds a supported printer may run into
  // the time limit: the search has no end of its own.
  bool searchMayRunOn;
};

// Worst cases of the fixed loops, in virtual milliseconds.
namespace bound {
// Start: runtime deployment (3 copy attempts, 2 pauses of 1000) and the
// spooler start (1000 polls, 50 apart).
inline constexpr std::uint64_t kStart = 2000 + 50000 + 1000;
// A spooler restart of the installation: stop polled 1000 times 50 apart,
// 200 before the action, 3000 before the start, start polled the same.
inline constexpr std::uint64_t kInstallRestart = 50000 + 200 + 3000 + 50000;
// One printer: the Plug and Play wait (10 s, or a restart for the monitor),
// the manual path (a restart for the monitor, 5 registration checks, 5
// queue checks), the restart for a missing port.
inline constexpr std::uint64_t kInstallPrinter = 10000 + kInstallRestart + kInstallRestart + 5000 + 5000 +
                                                 kInstallRestart;
// A restart of the removal: stop polled 1000 times 10 apart, 3 s, start
// polled 1000 times 50 apart, 3 s.
inline constexpr std::uint64_t kCycle = 10000 + 3000 + 50000 + 3000;
// One press of "Remove" on the family machine (2 queues, 2 drivers, 1
// package): 300 after each queue; 10 attempts per driver, each with a
// restart and a pause; 300 after each driver; 5 package calls; the monitor
// file with the spooler stopped (stop, 5 attempts, start).
inline constexpr std::uint64_t kRemoval = 2 * 300 + 2 * (10 * (kCycle + 1000) + 300) + 5 * 1000 +
                                          (10000 + 5 * 1000 + 50000);
}  // namespace bound

// Scripted presses of the uninstall window: "Remove" at once, "Remove"
// again after the longest first removal (a second press retries what is
// left), "Close" after the longest second one.
inline constexpr std::uint64_t kFirstRemove = 5000;
inline constexpr std::uint64_t kSecondRemove = bound::kStart + kFirstRemove + bound::kRemoval + 1000;
inline constexpr std::uint64_t kUninstallClose = kSecondRemove + bound::kRemoval + 1000;
// The installer window with a printer: "Cancel" after the longest
// installation of one printer.
inline constexpr std::uint64_t kExistingQueueCancel = bound::kStart + bound::kInstallPrinter + 10000;
inline constexpr std::uint64_t kWizardPress = 1500;
inline constexpr std::uint64_t kWizardCancel = 4000;

inline const std::vector<PathPlan>& PathPlans() {
  using namespace bound;
  static const std::vector<PathPlan> plans = {
      {PathId::SilentDriverStore, "SilentDriverStore", u"/silence", kStart + 5000 + kInstallPrinter,
       kStart + 5000 + kInstallPrinter + 60000, true},
      {PathId::SilentManual, "SilentManual", u"/silence", kStart + 5000 + kInstallPrinter,
       kStart + 5000 + kInstallPrinter + 60000, true},
      {PathId::MonitorManual, "MonitorManual", nullptr, kInstallPrinter, kInstallPrinter + 60000, false},
      {PathId::MonitorPnpOtherPort, "MonitorPnpOtherPort", nullptr, kInstallPrinter, kInstallPrinter + 60000,
       false},
      // A press due before the window opens is made as it opens.
      {PathId::WindowWizard, "WindowWizard", u"", kStart + kWizardCancel, kStart + kWizardCancel + 60000, false},
      {PathId::WindowExistingQueue, "WindowExistingQueue", u"", kExistingQueueCancel, kExistingQueueCancel + 60000,
       false},
      {PathId::UninstallWindow, "UninstallWindow", u"-u \"C:\\Korvane\\", kUninstallClose, kUninstallClose + 60000,
       false},
      {PathId::Relaunch, "Relaunch", u"", kStart, kStart + 60000, false},
      // Should the family not be seen, the run is the installer window's,
      // closed by "Cancel" at 5 s.
      {PathId::HandOff, "HandOff", u"", kStart + 5000, kStart + 5000 + 60000, false},
  };
  return plans;
}

inline const PathPlan& Plan(PathId id) {
  for (const auto& s : PathPlans()) {
    if (s.id == id) return s;
  }
  return PathPlans().front();
}

// ---- building the machines ------------------------------------------------------------

inline void AddFile(sim::Machine& m, const Text& path, const std::string& content) {
  m.kernel.files[path] = sim::SimFile{content, false};
}

inline os::PrinterInfo2 QueueInfo(const Text& name, const Text& port, const Text& driver, Dword jobs = 0) {
  os::PrinterInfo2 q;
  q.pPrinterName = name;
  q.pPortName = port;
  q.pDriverName = driver;
  q.pPrintProcessor = u"winprint";
  q.pDatatype = u"RAW";
  q.Attributes = os::PRINTER_ATTRIBUTE_LOCAL;
  q.cJobs = jobs;
  return q;
}

// A queue as the spooler keeps it, with the software device it makes for it.
inline void AddQueue(sim::Machine& m, const os::PrinterInfo2& info) {
  m.spooler.queues.push_back(sim::SimQueue{info});
  m.devices.nodes.push_back(sim::DeviceNode{u"PrintQueue", info.pPrinterName, u"PRINTENUM\\LocalPrintQueue", false});
}

inline void AddPackageRecord(sim::Machine& m, const Text& folder, const Text& storedInf, const Text& sourceInf,
                             const Text& driverVer) {
  m.registry.Create(Text(kPackagesKey) + u"\\" + folder).values[u"DriverStorePath"] =
      sim::RegistryState::MultiString({storedInf});
  m.spooler.store.push_back(sim::DriverStorePackage{sourceInf, storedInf});
  m.devices.infVersions.emplace_back(storedInf, driverVer);
  AddFile(m, storedInf, "stored INF");
}

inline void SeedForeign(sim::Machine& m) {
  const Text dir = Text(kDriverDir) + u"\\3\\";
  AddFile(m, dir + u"contoso6.dll", "contoso rendering driver");
  AddFile(m, dir + u"contoso6ui.dll", "contoso configuration");
  AddFile(m, dir + u"contoso6.gpd", "contoso data");
  AddFile(m, Text(kSystemFolder) + u"\\contosomon.dll", "contoso monitor");
  m.spooler.monitors.push_back(os::MonitorInfo2{kForeignMonitor, u"Windows x64", u"contosomon.dll"});

  os::DriverInfo8 d;
  d.cVersion = 3;
  d.pName = kForeignDriver;
  d.pEnvironment = u"Windows x64";
  d.pDriverPath = dir + u"contoso6.dll";
  d.pConfigFile = dir + u"contoso6ui.dll";
  d.pDataFile = dir + u"contoso6.gpd";
  d.pMonitorName = kForeignMonitor;
  d.pszProvider = u"Contoso";
  d.pszMfgName = u"Contoso";
  d.pszInfPath = kForeignStoredInf;
  m.spooler.drivers.push_back(sim::SimDriver{d});
  AddQueue(m, QueueInfo(kForeignQueue, kForeignPort, kForeignDriver, 1));
  AddPackageRecord(m, kForeignPackageFolder, kForeignStoredInf, u"D:\\Contoso\\contoso.inf", u"01/02/2025,5.1.0.0");

  m.kernel.folders.insert(kUserFolder);
  AddFile(m, Text(kUserFolder) + u"\\april.txt", "receipts of April");
  AddFile(m, Text(kUserFolder) + u"\\may.txt", "receipts of May");
  // A USB printer of no supported model: discovery reads it and passes it by.
  sim::PlugUsbPrinter(m, sim::UsbPrinterPath(u"04f9", u"0042", u"C9"), Text(u"ContosoLaser 5"), Dword{2});
}

// What a complete installation of the family leaves: its package in the
// driver store with the spooler's record, two drivers (one with the
// language monitor), two queues of the first driver (one with jobs waiting),
// the monitor and its file in the system folder.
inline void SeedFamily(sim::Machine& m) {
  AddPackageRecord(m, kPackageFolder, kStoredInf, kInfPath, u"04/07/2026,2026.4.7.6");
  const Text dir = Text(kDriverDir) + u"\\3\\";
  for (const char16_t* file : {u"korvdrv6.dll", u"korvdrv6ui.dll", u"korvdrv6.dat", u"korvmon.dll"}) {
    AddFile(m, dir + file, "installed family file");
  }
  AddFile(m, Text(kSystemFolder) + u"\\korvmon.dll", "installed family monitor");
  m.spooler.monitors.push_back(os::MonitorInfo2{kMonitor, u"Windows x64", u"korvmon.dll"});
  for (const char16_t* name : {kModel, kSecondDriver}) {
    os::DriverInfo8 d;
    d.cVersion = 3;
    d.pName = name;
    d.pEnvironment = u"Windows x64";
    d.pDriverPath = dir + u"korvdrv6.dll";
    d.pConfigFile = dir + u"korvdrv6ui.dll";
    d.pDataFile = dir + u"korvdrv6.dat";
    if (Text(name) == kModel) {
      d.pDependentFiles = {dir + u"korvmon.dll"};
      d.pMonitorName = kMonitor;
    }
    d.dwlDriverVersion = (std::uint64_t{2026} << 48) | (std::uint64_t{4} << 32) | (std::uint64_t{7} << 16) | 6;
    d.pszProvider = u"korvane";
    d.pszMfgName = u"Korvane";
    d.pszInfPath = kStoredInf;
    m.spooler.drivers.push_back(sim::SimDriver{d});
  }
  AddQueue(m, QueueInfo(kModel, kPort, kModel));
  AddQueue(m, QueueInfo(kCounterQueue, kOtherUsbPort, kModel, 2));
  // The printer's own device node carries the queue's name too; the
  // removal takes every device of that name.
  m.devices.nodes.push_back(sim::DeviceNode{u"Printer", kModel, u"USBPRINT\\KORVANEKV-T582B3D", false});
  m.spooler.ports.push_back(kPort);
  m.spooler.ports.push_back(kOtherUsbPort);
}

inline void PlugFamilyPrinter(sim::Machine& m) {
  sim::PlugUsbPrinter(m, sim::UsbPrinterPath(u"2d37", u"0001", u"K58"), Text(kDescription), Dword{1});
}

// Prepares the current machine for a path. Globals are at their start values.
inline void Prepare(PathId path) {
  sim::Machine& m = sim::Machine::Get();
  sim::SetUpInstallerFolder(m, kInstallDir);
  m.kernel.modulePath = kProgram;
  AddFile(m, kProgram, "korvsetup program");
  m.kernel.tempFolder = kTempFolder;
  m.kernel.folders.insert(u"C:\\Users\\Shop\\AppData\\Local\\Temp");
  sim::PlaceSystemProgram(m, u"rundll32.exe", "rundll32");
  // Windows refuses to delete a driver package while a driver of it is
  // installed; the sweep's machines behave so.
  m.spooler.packageInUseWhileDriverInstalled = true;
  SeedForeign(m);

  switch (path) {
    case PathId::SilentDriverStore:
      // Should a fault make the run the installer window's, a person closes
      // it once the installation had all its time.
      m.ui.presses.push_back(sim::ScriptedPress{Plan(path).endsBy, IDD_INSTALLER, IDC_INSTALLER_CANCEL});
      PlugFamilyPrinter(m);
      m.spooler.pnp.push_back(sim::PnpReaction{kHardwareId, kModel, kPort, kModel, 3000});
      // The USB port appears in the spooler's list only after a restart.
      m.spooler.portsAfterCycle.push_back(kPort);
      break;
    case PathId::SilentManual:
      m.ui.presses.push_back(sim::ScriptedPress{Plan(path).endsBy, IDD_INSTALLER, IDC_INSTALLER_CANCEL});
      PlugFamilyPrinter(m);
      m.spooler.ports.push_back(kPort);
      // An earlier configuration module held by the spooler: it can be
      // neither deleted nor overwritten, so its replacement is scheduled.
      m.kernel.files[Text(kDriverDir) + u"\\korvdrv6ui.dll"] = sim::SimFile{"older configuration module", true};
      break;
    case PathId::MonitorManual:
      m.spooler.ports.push_back(kPort);
      break;
    case PathId::MonitorPnpOtherPort:
      m.spooler.ports.push_back(kPort);
      m.spooler.ports.push_back(kOtherUsbPort);
      m.spooler.pnp.push_back(sim::PnpReaction{kHardwareId, kModel, kOtherUsbPort, kModel, 2000});
      break;
    case PathId::WindowWizard:
      m.ui.presses.push_back(sim::ScriptedPress{kWizardPress, IDD_INSTALLER, IDC_WIZARD});
      m.ui.presses.push_back(sim::ScriptedPress{kWizardCancel, IDD_INSTALLER, IDC_INSTALLER_CANCEL});
      break;
    case PathId::WindowExistingQueue: {
      PlugFamilyPrinter(m);
      m.spooler.ports.push_back(kPort);
      // Windows made a queue for the printer with its generic driver.
      os::DriverInfo8 generic;
      generic.cVersion = 3;
      generic.pName = kGenericDriver;
      generic.pEnvironment = u"Windows x64";
      generic.pDriverPath = Text(kDriverDir) + u"\\3\\unidrv.dll";
      generic.pConfigFile = Text(kDriverDir) + u"\\3\\unidrvui.dll";
      generic.pszProvider = u"Microsoft";
      AddFile(m, generic.pDriverPath, "unidrv");
      AddFile(m, generic.pConfigFile, "unidrvui");
      m.spooler.drivers.push_back(sim::SimDriver{generic});
      AddQueue(m, QueueInfo(kModel, kPort, kGenericDriver));
      m.spooler.pnp.push_back(sim::PnpReaction{kHardwareId, kModel, kPort, kModel, 3000});
      m.ui.presses.push_back(sim::ScriptedPress{kExistingQueueCancel, IDD_INSTALLER, IDC_INSTALLER_CANCEL});
      break;
    }
    case PathId::UninstallWindow:
      SeedFamily(m);
      m.ui.presses.push_back(sim::ScriptedPress{kFirstRemove, IDD_UNINSTALL, IDC_REMOVE});
      m.ui.presses.push_back(sim::ScriptedPress{kSecondRemove, IDD_UNINSTALL, IDC_REMOVE});
      m.ui.presses.push_back(sim::ScriptedPress{kUninstallClose, IDD_UNINSTALL, IDC_CLOSE});
      break;
    case PathId::Relaunch:
      SeedFamily(m);
      m.kernel.modulePath = kUninstallerCopy;
      m.kernel.files[kUninstallerCopy].content = "korvsetup program";
      break;
    case PathId::HandOff:
      SeedFamily(m);
      m.ui.presses.push_back(sim::ScriptedPress{5000, IDD_INSTALLER, IDC_INSTALLER_CANCEL});
      break;
  }
  m.clock.SetTimeLimit(Plan(path).timeLimit);
}

inline InstallRequest MonitorRequest() {
  InstallRequest r;
  r.DriverName.assign(kModel);
  r.PrinterName.assign(kModel);
  r.PortName.assign(kPort);
  r.HardwareId.assign(kHardwareId);
  r.Options = kOptionLanguageMonitor;
  return r;
}

// ---- running ------------------------------------------------------------------------

struct Outcome {
  bool returned = false;      // the program (or InstallPrinter) returned by itself
  bool endedFromOutside = false;
  bool limitReached = false;
  std::string unexpected;     // an exception other than the end of the process
  int result = -1;            // exit code, or InstallPrinter's result
  std::uint64_t endedAt = 0;
  int liveThreads = 0;        // simulated threads alive when the run ended
};

// Runs the path on the current (prepared) machine and ends its process.
inline Outcome RunPath(PathId path) {
  sim::Machine& m = sim::Machine::Get();
  const PathPlan& plan = Plan(path);
  Outcome o;
  try {
    if (plan.commandLine != nullptr) {
      o.result = RunProgram(os::CurrentInstance(), plan.commandLine);
    } else {
      AppInstance = os::CurrentInstance();
      InstallDir.assign(kInstallDir);
      InfPath.assign(kInfPath);
      o.result = InstallPrinter(MonitorRequest(), InfPath.c_str());
    }
    o.returned = true;
  } catch (const sim::ProcessEnded&) {
    o.endedFromOutside = true;
  } catch (const std::exception& e) {
    o.unexpected = e.what();
  } catch (...) {
    o.unexpected = "an exception of unknown type";
  }
  o.endedAt = m.clock.Now();
  o.limitReached = m.clock.TimeLimitReached();
  o.liveThreads = m.clock.LiveThreads();
  m.clock.EndProcess();
  return o;
}

}  // namespace korv::test::sweep

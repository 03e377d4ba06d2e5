// The sweeps' machines in korvsim's scenario format, and their run paths. Each
// also holds another maker's printer (driver, files, monitor, queue, package), an
// unsupported USB printer and a user's documents, which must come through untouched.
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>
#include <vector>

#include "app/entry_point.h"
#include "common/globals.h"
#include "install/install_printer.h"
#include "install/install_request.h"
#include "platform/sim/machine.h"
#include "sim_fixture.h"
#include "tools/korvsim/scenario.h"

namespace korv::test::sweep {

using Json = nlohmann::json;

inline constexpr char16_t kInstallDir[] = u"C:\\Korvane\\";
inline constexpr char16_t kProgram[] = u"C:\\Korvane\\korvsetup.exe";
inline constexpr char16_t kUninstallerCopy[] = u"C:\\Korvane\\unins000.exe";
inline constexpr char16_t kInfPath[] = u"C:\\Korvane\\korvv6.inf";
inline constexpr char16_t kTempFolder[] = u"C:\\Users\\Shop\\AppData\\Local\\Temp\\";
inline constexpr char16_t kSystemFolder[] = u"C:\\Windows\\system32";
inline constexpr char16_t kDriverDir[] = u"C:\\Windows\\system32\\spool\\DRIVERS\\x64";
inline constexpr char16_t kModel[] = u"Korvane KV-T58";  // driver and queue name
inline constexpr char16_t kHardwareId[] = u"usbprint\\korvanekv-t582b3d";
inline constexpr char16_t kPort[] = u"USB001";
inline constexpr char16_t kStoredInf[] =
    u"C:\\Windows\\System32\\DriverStore\\FileRepository\\korvv6.inf_amd64_5d1f3c2b7e9a4f10\\korvv6.inf";

// "@D" is the spooler's driver folder, "@S" the driver store's; Expand()
// writes them out.
inline const char kForeign[] = R"({"machine": {"installerFolders": ["C:\\Korvane\\"],
  "files": [{"path": "@D\\contoso6.dll", "content": "contoso driver"}, {"path": "@D\\contoso6ui.dll", "content": "cfg"},
    {"path": "C:\\Windows\\system32\\contosomon.dll", "content": "contoso monitor"},
    {"path": "C:\\Users\\Shop\\Documents\\Receipts\\april.txt", "content": "receipts of April"}],
  "usbPrinters": [{"vid": "04f9", "pid": "0042", "serial": "C9", "description": "ContosoLaser 5", "portNumber": 2}],
  "infVersions": [{"path": "@S\\contoso.inf_amd64_0a1b\\contoso.inf", "driverVer": "01/02/2025,5.1.0.0"}],
  "spooler": {"ports": ["LPT1:"],
    "monitors": [{"pName": "Contoso Status Monitor", "pEnvironment": "Windows x64", "pDLLName": "contosomon.dll"}],
    "drivers": [{"pName": "Contoso Laser", "pEnvironment": "Windows x64", "pMonitorName": "Contoso Status Monitor",
      "pDriverPath": "@D\\contoso6.dll", "pConfigFile": "@D\\contoso6ui.dll",
      "pszInfPath": "@S\\contoso.inf_amd64_0a1b\\contoso.inf"}],
    "queues": [{"pPrinterName": "Contoso Front Desk", "pPortName": "LPT1:", "pDriverName": "Contoso Laser", "jobs": 1}],
    "store": [{"sourceInf": "D:\\Contoso\\contoso.inf", "storedInf": "@S\\contoso.inf_amd64_0a1b\\contoso.inf"}]}}})";

// A complete installation of the family: package and its record, two
// drivers (one with the language monitor), two queues of the first (one
// with jobs, under the shop's own name), the monitor and the device node.
inline const char kFamily[] = R"({"machine": {"files": [{"path": "@D\\korvdrv6.dll", "content": "family file"},
    {"path": "@D\\korvdrv6ui.dll", "content": "family file"}, {"path": "@D\\korvmon.dll", "content": "family file"},
    {"path": "C:\\Windows\\system32\\korvmon.dll", "content": "family monitor"}],
  "infVersions": [{"path": "C:\\Korvane\\korvv6.inf", "driverVer": "04/07/2026,2026.4.7.6"}],
  "deviceNodes": [{"setupClass": "Printer", "friendlyName": "Korvane KV-T58", "hardwareId": "USBPRINT\\KORVANEKV-T582B3D"}],
  "spooler": {"ports": ["USB001", "USB002"],
    "monitors": [{"pName": "Language Monitor", "pEnvironment": "Windows x64", "pDLLName": "korvmon.dll"}],
    "drivers": [{"pName": "Korvane KV-T58", "pEnvironment": "Windows x64", "pMonitorName": "Language Monitor",
      "pDriverPath": "@D\\korvdrv6.dll", "pConfigFile": "@D\\korvdrv6ui.dll", "pDependentFiles": ["@D\\korvmon.dll"],
      "dwlDriverVersion": "2026.4.7.6", "pszProvider": "korvane", "pszInfPath": "@K"},
     {"pName": "Korvane KV-L40", "pEnvironment": "Windows x64", "dwlDriverVersion": "2026.4.7.6",
      "pDriverPath": "@D\\korvdrv6.dll", "pConfigFile": "@D\\korvdrv6ui.dll", "pszInfPath": "@K"}],
    "queues": [{"pPrinterName": "Korvane KV-T58", "pPortName": "USB001", "pDriverName": "Korvane KV-T58"},
      {"pPrinterName": "Shop counter", "pPortName": "USB002", "pDriverName": "Korvane KV-T58", "jobs": 2}],
    "store": [{"sourceInf": "C:\\Korvane\\korvv6.inf", "storedInf": "@K"}]}}})";

// The printer plugged in; with "pnp", Windows makes its queue once the
// package is bound to it.
inline const char kPrinterWithPnp[] = R"({"machine": {"usbPrinters": [{"serial": "K58", "description": "KorvaneKV-T58",
  "portNumber": 1, "pnp": {"queueName": "Korvane KV-T58", "driverName": "Korvane KV-T58"}}]}})";
inline const char kPrinter[] =
    R"({"machine": {"usbPrinters": [{"serial": "K58", "description": "KorvaneKV-T58", "portNumber": 1}]}})";
inline const char kPort1[] = R"({"machine": {"spooler": {"ports": ["USB001"]}}})";

// Parses a scenario part, writing out the folder marks.
inline Json Expand(std::string text) {
  const std::pair<const char*, const char*> marks[] = {
      {"@D", R"(C:\\Windows\\system32\\spool\\DRIVERS\\x64\\3)"},
      {"@S", R"(C:\\Windows\\System32\\DriverStore\\FileRepository)"},
      {"@K", R"(C:\\Windows\\System32\\DriverStore\\FileRepository\\korvv6.inf_amd64_5d1f3c2b7e9a4f10\\korvv6.inf)"}};
  for (const auto& [mark, with] : marks) {
    for (auto at = text.find(mark); at != std::string::npos; at = text.find(mark, at)) text.replace(at, 2, with);
  }
  return Json::parse(text);
}

// Objects merge field by field; lists are joined.
inline void Merge(Json& into, const Json& from) {
  if (into.is_object() && from.is_object()) {
    for (const auto& [key, value] : from.items()) Merge(into[key], value);
  } else if (into.is_array() && from.is_array()) {
    into.insert(into.end(), from.begin(), from.end());
  } else {
    into = from;
  }
}

inline Json Press(std::uint64_t at, int dialog, int control) {
  return {{"ui", {{"presses", {{{"at", at}, {"dialog", dialog}, {"control", control}}}}}}};
}

// Worst cases of the fixed loops, in virtual milliseconds.
namespace bound {
// Runtime deployment (3 copies, 2 pauses of 1000); spooler start (1000 polls 50 apart).
inline constexpr std::uint64_t kStart = 2000 + 50000 + 1000;
// An installation's spooler restart: stop and start polled 1000 x 50, 200 and 3000 between.
inline constexpr std::uint64_t kInstallRestart = 50000 + 200 + 3000 + 50000;
// One printer: Plug and Play wait (10 s, or a restart), the manual path (a
// restart, 5 registration and 5 queue checks), a restart for a missing port.
inline constexpr std::uint64_t kInstallPrinter = 10000 + 3 * kInstallRestart + 5000 + 5000;
// A removal's restart: stop polled 1000 x 10, 3 s, start polled 1000 x 50, 3 s.
inline constexpr std::uint64_t kCycle = 10000 + 3000 + 50000 + 3000;
// One "Remove" on the family machine: 300 after each of 2 queues; 10
// attempts per driver (2), each a restart and a pause, then 300; 5 package
// calls; the monitor file with the spooler stopped.
inline constexpr std::uint64_t kRemoval =
    2 * 300 + 2 * (10 * (kCycle + 1000) + 300) + 5 * 1000 + (10000 + 5 * 1000 + 50000);
}  // namespace bound

// "Remove" at once and again after the longest removal (a second press
// retries what is left), "Close" after that; the installer window closed
// after the longest installation of one printer.
inline constexpr std::uint64_t kSecondRemove = bound::kStart + 5000 + bound::kRemoval + 1000;
inline constexpr std::uint64_t kUninstallClose = kSecondRemove + bound::kRemoval + 1000;
inline constexpr std::uint64_t kInstallerClose = bound::kStart + 5000 + bound::kInstallPrinter;

enum class PathId { SilentDriverStore, SilentManual, MonitorManual, MonitorPnpOtherPort, WindowWizard,
                    WindowExistingQueue, UninstallWindow, Relaunch, HandOff };

struct PathPlan {
  PathId id;
  const char* name;
  const char16_t* commandLine;  // null: InstallPrinter is called directly
  std::uint64_t endsBy;         // a run that ends by itself has ended by then
  bool searchMayRunOn;          // a silent search without a supported printer has no end
  std::vector<Json> machine;    // merged onto kForeign
};

inline const std::vector<PathPlan>& PathPlans() {
  using namespace bound;
  constexpr std::uint64_t kSilentEnd = kStart + 5000 + kInstallPrinter;
  // A silent run that a fault turned into the window's is closed once the
  // installation had all its time.
  static const std::vector<PathPlan> plans = {
      // The USB port is listed only after a restart.
      {PathId::SilentDriverStore, "SilentDriverStore", u"/silence", kSilentEnd, true,
       {Json::parse(kPrinterWithPnp), Json::parse(R"({"machine": {"spooler": {"portsAfterCycle": ["USB001"]}}})"),
        Press(kSilentEnd, 106, 2)}},
      // An older configuration module held by the spooler: its replacement is scheduled.
      {PathId::SilentManual, "SilentManual", u"/silence", kSilentEnd, true,
       {Json::parse(kPrinter), Json::parse(kPort1), Press(kSilentEnd, 106, 2), Json::parse(R"({"machine": {"files":
        [{"path": "C:\\Windows\\system32\\spool\\DRIVERS\\x64\\korvdrv6ui.dll", "content": "older", "locked": true}]}})")}},
      {PathId::MonitorManual, "MonitorManual", nullptr, kInstallPrinter, false, {Json::parse(kPort1)}},
      {PathId::MonitorPnpOtherPort, "MonitorPnpOtherPort", nullptr, kInstallPrinter, false,
       {Json::parse(R"({"machine": {"spooler": {"ports": ["USB001", "USB002"], "pnp": [{"hardwareId":
        "usbprint\\korvanekv-t582b3d", "queueName": "Korvane KV-T58", "portName": "USB002",
        "driverName": "Korvane KV-T58", "delayMs": 2000}]}}})")}},
      // A press due before the window opens is made as it opens.
      {PathId::WindowWizard, "WindowWizard", u"", kStart + 4000, false, {Press(1500, 106, 3), Press(4000, 106, 2)}},
      // Windows made a queue for the printer with its generic driver.
      {PathId::WindowExistingQueue, "WindowExistingQueue", u"", kInstallerClose + 10000, false,
       {Json::parse(kPrinterWithPnp), Json::parse(kPort1), Press(kInstallerClose + 10000, 106, 2),
        Expand(R"({"machine": {"spooler": {"drivers": [{"pName": "Generic / Text Only", "pEnvironment": "Windows x64",
         "pDriverPath": "@D\\unidrv.dll"}], "queues": [{"pPrinterName": "Korvane KV-T58", "pPortName": "USB001",
         "pDriverName": "Generic / Text Only"}]}}})")}},
      {PathId::UninstallWindow, "UninstallWindow", u"-u \"C:\\Korvane\\", kUninstallClose, false,
       {Expand(kFamily), Press(5000, 105, 1), Press(kSecondRemove, 105, 1), Press(kUninstallClose, 105, 2)}},
      {PathId::Relaunch, "Relaunch", u"", kStart, false,
       {Expand(kFamily), Json::parse(R"({"machine": {"modulePath": "C:\\Korvane\\unins000.exe"}})")}},
      // Should the family not be seen, the installer window is closed at 5 s.
      {PathId::HandOff, "HandOff", u"", kStart + 5000, false, {Expand(kFamily), Press(5000, 106, 2)}},
  };
  return plans;
}

inline const PathPlan& Plan(PathId id) { return PathPlans().at(static_cast<std::size_t>(id)); }

// Sets the current machine up for a path, with `more` merged in.
inline void Prepare(PathId path, const std::vector<Json>& more = {}) {
  Json scenario = Expand(kForeign);
  for (const Json& part : Plan(path).machine) Merge(scenario, part);
  for (const Json& part : more) Merge(scenario, part);
  sim::Machine& m = sim::Machine::Get();
  korvsim::ApplyScenario(scenario.dump(), m);
  // As on Windows, a package with an installed driver cannot be deleted.
  m.spooler.packageInUseWhileDriverInstalled = true;
  m.clock.SetTimeLimit(Plan(path).endsBy + 60000);
}

// The per-printer installation of a language-monitor model, as the
// program's worker starts it.
inline int InstallMonitorModel() {
  AppInstance = os::CurrentInstance();
  InstallDir.assign(kInstallDir);
  InfPath.assign(kInfPath);
  InstallRequest r;
  r.DriverName.assign(kModel);
  r.PrinterName.assign(kModel);
  r.PortName.assign(kPort);
  r.HardwareId.assign(kHardwareId);
  r.Options = kOptionLanguageMonitor;
  return InstallPrinter(r, InfPath.c_str());
}

struct Outcome {
  bool returned = false;  // the program (or InstallPrinter) returned by itself
  bool endedFromOutside = false;
  std::string unexpected;  // an exception other than the end of the process
  int result = -1;         // exit code, or InstallPrinter's result
  std::uint64_t endedAt = 0;
  int liveThreads = 0;  // simulated threads alive when the run ended
};

// Runs the path on the current (prepared) machine and ends its process.
inline Outcome RunPath(PathId path) {
  sim::Machine& m = sim::Machine::Get();
  const PathPlan& plan = Plan(path);
  Outcome o;
  try {
    o.result = plan.commandLine != nullptr ? RunProgram(os::CurrentInstance(), plan.commandLine) : InstallMonitorModel();
    o.returned = true;
  } catch (const sim::ProcessEnded&) {
    o.endedFromOutside = true;
  } catch (const std::exception& e) {
    o.unexpected = e.what();
  }
  o.endedAt = m.clock.Now();
  o.liveThreads = m.clock.LiveThreads();
  m.clock.EndProcess();
  return o;
}

}  // namespace korv::test::sweep

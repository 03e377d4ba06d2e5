// What every run of the fault sweep must leave true, whatever failed: each
// check returns the broken promises as readable lines, empty when all hold.
#pragma once

#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "common/resource_ids.h"
#include "sweep_world.h"

namespace korv::test::sweep {

// ---- the fault of one run ------------------------------------------------------------

// Errors that claim an object is already gone make the program count it as
// removed while it is still there (the world lies to it); the record checks
// of that kind are waived for them, nothing else is.
enum Waiver : unsigned {
  kNoWaiver = 0,
  kSaysQueueGone = 1,   // OpenPrinterW with ERROR_INVALID_PRINTER_NAME
  kSaysDriverGone = 2,  // DeletePrinterDriverExW with ERROR_UNKNOWN_PRINTER_DRIVER
};

struct FaultChoice {
  Dword error = 0;
  HResult hresult = 0;  // for the operations that return an HRESULT
  const char* label = "";
  unsigned waivers = kNoWaiver;
};

struct SweepCase {
  PathId path;
  std::string operation;
  FaultChoice fault;
  bool firstCallOnly = false;

  std::string Name() const {
    if (operation.empty()) return Plan(path).name;
    return std::string(Plan(path).name) + "_" + operation + "_" + fault.label + (firstCallOnly ? "_first" : "_every");
  }
  sim::FaultRule Rule() const { return sim::FaultRule{fault.error, fault.hresult, firstCallOnly ? 1 : 0, 0}; }
};

inline void PrintTo(const SweepCase& c, std::ostream* os) { *os << c.Name(); }

// The errors each operation is failed with: those the program gives a
// meaning of its own, and one that stands for any other failure.
inline std::vector<FaultChoice> ChoicesFor(const std::string& op) {
  constexpr Dword kRpcUnavailable = 1722;
  constexpr HResult kEFail = static_cast<HResult>(0x80004005u);
  if (op == "CreateMutexW") return {{183, 0, "e183"}, {5, 0, "e5"}};
  if (op == "OpenPrinterW") return {{err::InvalidPrinterName, 0, "e1801", kSaysQueueGone}, {kRpcUnavailable, 0, "e1722"}};
  if (op == "DeletePrinterDriverExW") {
    return {{err::UnknownPrinterDriver, 0, "e1797", kSaysDriverGone},
            {err::PrinterDriverInUse, 0, "e3001"},
            {kRpcUnavailable, 0, "e1722"}};
  }
  if (op == "AddMonitorW") return {{err::PrintMonitorAlreadyInstalled, 0, "e3006"}, {kRpcUnavailable, 0, "e1722"}};
  if (op == "DeletePrinterDriverPackageW") {
    return {{0, hr::InfInUseByDevices, "hInfInUse"}, {0, kEFail, "hEFail"}};
  }
  if (op == "UploadPrinterDriverPackageW") return {{0, kEFail, "hEFail"}};
  if (op == "DeleteFileW") return {{err::FileNotFound, 0, "e2"}, {err::AccessDenied, 0, "e5"}};
  if (op == "RegEnumKeyW") return {{err::NoMoreItems, 0, "e259"}};
  if (op == "SetupDiEnumDeviceInterfaces") return {{err::NoMoreItems, 0, "e259"}};
  if (op == "LocalAlloc") return {{err::NotEnoughMemory, 0, "e8"}};
  if (op == "CreateThread") return {{err::NotEnoughMemory, 0, "e8"}};
  if (op == "CreateProcessW" || op == "FileExists") return {{err::FileNotFound, 0, "e2"}};
  if (op == "MultiByteToWideChar" || op == "WideCharToMultiByte") return {{err::InsufficientBuffer, 0, "e122"}};
  if (op == "CM_Locate_DevNodeW" || op == "CM_Reenumerate_DevNode") return {{0x13, 0, "crFailure"}};
  if (op == "UpdateDriverForPlugAndPlayDevicesW") return {{0xE000020Bu, 0, "eNoSuchDevinst"}};
  if (op == "SetupDiClassGuidsFromNameW") return {{0xE0000209u, 0, "eInvalidClass"}};
  if (op == "SetupQueryInfVersionW") return {{err::FileNotFound, 0, "e2"}};
  if (op == "SHFileOperationW") return {{1223, 0, "e1223"}};  // the user cancelled the shell's confirmation
  if (op == "CommandLineToArgvW" || op == "MessageBoxW") return {{err::NotEnoughMemory, 0, "e8"}};
  if (op == "LoadStringW" || op == "LoadIconW" || op == "DialogBoxParamW") return {{1814, 0, "e1814"}};
  if (op == "SetWindowTextW" || op == "ShowWindow" || op == "EnableWindow" || op == "TreeInsertItem") {
    return {{1400, 0, "e1400"}};
  }
  if (op == "PostMessageW") return {{1816, 0, "e1816"}};  // ERROR_NOT_ENOUGH_QUOTA
  static const std::set<std::string> spooler = {
      "EnumPrinterDriversW", "AddPrinterDriverW", "GetPrinterDriverDirectoryW", "DeleteMonitorW", "EnumPortsW",
      "GetPrinterW",         "SetPrinterW",       "AddPrinterW",                "DeletePrinter",  "EnumPrintersW"};
  if (spooler.count(op) != 0) return {{kRpcUnavailable, 0, "e1722"}};
  return {{err::AccessDenied, 0, "e5"}};
}

// ---- what the machine held before the run ------------------------------------------------

struct Snapshot {
  std::map<Text, sim::SimFile, sim::NoCaseLess> files;
  std::vector<sim::SimQueue> queues;
  std::vector<sim::SimDriver> drivers;
  std::vector<os::MonitorInfo2> monitors;
  std::vector<sim::DriverStorePackage> store;
  std::vector<sim::DeviceNode> nodes;
  std::vector<std::pair<Text, std::vector<std::uint8_t>>> packageKeys;  // subkey, DriverStorePath bytes
  Dword spoolerState = 0;
};

inline std::vector<std::pair<Text, std::vector<std::uint8_t>>> PackageKeys(sim::Machine& m) {
  std::vector<std::pair<Text, std::vector<std::uint8_t>>> keys;
  if (sim::RegKey* packages = m.registry.Find(kPackagesKey)) {
    for (const auto& [name, key] : packages->subkeys) {
      auto v = key.values.find(u"DriverStorePath");
      keys.emplace_back(name, v != key.values.end() ? v->second.data : std::vector<std::uint8_t>());
    }
  }
  return keys;
}

inline Snapshot Take(sim::Machine& m) {
  Snapshot s;
  s.files = m.kernel.files;
  s.queues = m.spooler.queues;
  s.drivers = m.spooler.drivers;
  s.monitors = m.spooler.monitors;
  s.store = m.spooler.store;
  s.nodes = m.devices.nodes;
  s.packageKeys = PackageKeys(m);
  s.spoolerState = m.services.services.at(u"Spooler").state;
  return s;
}

// ---- what belongs to the family ----------------------------------------------------------

inline bool Contains(std::u16string_view text, std::u16string_view part) {
  return text.find(part) != std::u16string_view::npos;
}

inline Text LastComponent(const Text& path) {
  const auto at = path.find_last_of(u"\\/");
  return at == Text::npos ? path : path.substr(at + 1);
}

inline bool StartsWithNoCase(std::u16string_view text, std::u16string_view prefix) {
  return text.size() >= prefix.size() && sim::EqualNoCase(text.substr(0, prefix.size()), prefix);
}

// The family's files are named "korv..." (korvdrv6.dll, korvmon.dll,
// korvv6.inf, korvsetup.exe).
inline bool IsFamilyFile(const Text& path) { return StartsWithNoCase(LastComponent(path), u"korv"); }
// The relaunch's copy of the program: "uniXXXX.tmp" in the temporary folder.
inline bool IsTempCopy(const Text& path) {
  const Text name = LastComponent(path);
  return StartsWithNoCase(path, kTempFolder) && StartsWithNoCase(name, u"uni") && name.size() > 4 &&
         sim::EqualNoCase(name.substr(name.size() - 4), u".tmp");
}

// A path that names one file whatever the current drive and folder are.
inline bool IsAbsolute(std::u16string_view path) {
  return path.size() >= 3 && ((path[0] >= u'A' && path[0] <= u'Z') || (path[0] >= u'a' && path[0] <= u'z')) &&
         path[1] == u':' && path[2] == u'\\';
}

// The installer folder, as the shell is given it: with or without its
// trailing backslash.
inline bool IsInstallerFolderName(std::u16string_view path) {
  const std::u16string_view dir(kInstallDir);
  return sim::EqualNoCase(path, dir) || sim::EqualNoCase(path, dir.substr(0, dir.size() - 1));
}

inline bool IsFamilyDriver(const os::DriverInfo8& d) { return Contains(d.pDriverPath, u"korvdrv6.dll"); }
inline bool IsFamilyDriverName(std::u16string_view name) { return name == kModel || name == kSecondDriver; }
inline bool IsFamilyQueueName(std::u16string_view name) { return name == kModel || name == kCounterQueue; }
inline bool IsFamilyPackagePath(std::u16string_view path) { return Contains(path, u"korvv6.inf"); }

inline Text MultiStringFirst(const std::vector<std::uint8_t>& bytes) {
  Text all(reinterpret_cast<const char16_t*>(bytes.data()), bytes.size() / 2);
  return all.substr(0, all.find(u'\0'));
}

// ---- looking at the machine afterwards ----------------------------------------------------

inline const sim::SimQueue* FindQueue(sim::Machine& m, std::u16string_view name) {
  for (const auto& q : m.spooler.queues) {
    if (q.info.pPrinterName == name) return &q;
  }
  return nullptr;
}

// DeletePrinter on a queue with jobs leaves it marked until the jobs are
// done: it is on its way out.
inline bool PendingDeletion(const sim::SimQueue& q) { return (q.info.Status & 0x4u) != 0; }

inline const os::DriverInfo8* FindDriver(sim::Machine& m, std::u16string_view name) {
  for (const auto& d : m.spooler.drivers) {
    if (d.info.pName == name) return &d.info;
  }
  return nullptr;
}

inline bool PackageInStore(sim::Machine& m, std::u16string_view storedInf) {
  for (const auto& p : m.spooler.store) {
    if (sim::EqualNoCase(p.storedInf, storedInf)) return true;
  }
  for (const auto& [name, bytes] : PackageKeys(m)) {
    if (sim::EqualNoCase(MultiStringFirst(bytes), storedInf)) return true;
  }
  return false;
}

inline std::string English(std::uint16_t id) { return U8(res::LoadText(0x0409, id)); }

// Text 103 as the worker formats it for the family's printer.
inline std::string InstalledText() {
  char16_t text[256] = {};
  wsprintfW(text, 256, res::LoadText(0x0409, IDS_PRINTER_INSTALLED), kModel, kPort);
  return U8(text);
}

// ---- the checks ----------------------------------------------------------------------------

class Checker {
 public:
  Checker(const SweepCase& c, const Snapshot& before, const Outcome& outcome)
      : c_(c), before_(before), o_(outcome), m_(sim::Machine::Get()) {}

  std::vector<std::string> broken;

  // Whether the injected fault hit at least one call of `op`.
  bool Failed(const std::string& op) const { return c_.operation == op && m_.CallCount(op) >= 1; }

  void Expect(bool holds, const std::string& what) {
    if (!holds) broken.push_back(what);
  }

  void RunEnded() {
    const PathPlan& plan = Plan(c_.path);
    Expect(o_.unexpected.empty(), "an exception other than the end of the process: " + o_.unexpected);
    if (o_.returned) {
      Expect(o_.endedAt <= plan.endsBy, "ended at " + std::to_string(o_.endedAt) + " ms, later than its loops allow (" +
                                            std::to_string(plan.endsBy) + " ms)");
      if (plan.commandLine != nullptr) Expect(o_.result == 0, "exit code " + std::to_string(o_.result));
    }
    if (o_.endedFromOutside) {
      if (!plan.searchMayRunOn) {
        Expect(false, "still running at the time limit (" + std::to_string(o_.endedAt) + " ms): " + LastCalls());
      } else {
        Expect(InSearchLoop(), "at the time limit not in the search for printers: " + LastCalls());
        Expect(o_.liveThreads == 1, "at the time limit " + std::to_string(o_.liveThreads) + " threads were alive");
      }
    }
  }

  // Nothing that is not the family's was deleted, moved, purged or changed.
  void ForeignObjectsIntact() {
    const bool recycled =
        std::any_of(m_.shell.recycled.begin(), m_.shell.recycled.end(), [](const Text& f) { return IsInstallerFolderName(f); });
    for (const auto& [path, file] : before_.files) {
      const auto now = m_.kernel.files.find(path);
      const bool same = now != m_.kernel.files.end() && now->second.content == file.content;
      if (same || IsFamilyFile(path)) continue;
      if (recycled && StartsWithNoCase(path, kInstallDir)) continue;
      Expect(false, "file " + U8(path) + (now == m_.kernel.files.end() ? " deleted" : " changed"));
    }
    for (const Text& folder : m_.shell.recycled) {
      Expect(IsInstallerFolderName(folder), "recycled " + U8(folder));
    }
    for (const auto& q : before_.queues) {
      if (IsFamilyQueueName(q.info.pPrinterName)) continue;
      const sim::SimQueue* now = FindQueue(m_, q.info.pPrinterName);
      Expect(now != nullptr && now->info.pPortName == q.info.pPortName && now->info.pDriverName == q.info.pDriverName &&
                 now->info.cJobs == q.info.cJobs && !PendingDeletion(*now),
             "queue " + U8(q.info.pPrinterName) + " deleted or changed");
    }
    for (const auto& d : before_.drivers) {
      if (IsFamilyDriver(d.info)) continue;
      const os::DriverInfo8* now = FindDriver(m_, d.info.pName);
      Expect(now != nullptr && now->pDriverPath == d.info.pDriverPath && now->pConfigFile == d.info.pConfigFile &&
                 now->pMonitorName == d.info.pMonitorName && now->pszInfPath == d.info.pszInfPath,
             "driver " + U8(d.info.pName) + " deleted or changed");
    }
    for (const auto& mon : before_.monitors) {
      if (mon.pName == kMonitor) continue;
      const bool there = std::any_of(m_.spooler.monitors.begin(), m_.spooler.monitors.end(),
                                     [&](const os::MonitorInfo2& x) { return x.pName == mon.pName; });
      Expect(there, "monitor " + U8(mon.pName) + " deleted");
    }
    for (const auto& p : before_.store) {
      if (IsFamilyPackagePath(p.storedInf)) continue;
      const bool there = std::any_of(m_.spooler.store.begin(), m_.spooler.store.end(), [&](const auto& x) {
        return x.storedInf == p.storedInf;
      });
      Expect(there, "package " + U8(p.storedInf) + " deleted from the driver store");
    }
    const auto keys = PackageKeys(m_);
    for (const auto& [name, bytes] : before_.packageKeys) {
      if (IsFamilyPackagePath(MultiStringFirst(bytes))) continue;
      const bool there = std::any_of(keys.begin(), keys.end(), [&](const auto& k) {
        return k.first == name && k.second == bytes;
      });
      Expect(there, "package record " + U8(name) + " deleted or changed");
    }
    for (std::size_t i = 0; i < before_.nodes.size() && i < m_.devices.nodes.size(); ++i) {
      const sim::DeviceNode& node = before_.nodes[i];
      if (node.removed || IsFamilyQueueName(node.friendlyName)) continue;
      Expect(!m_.devices.nodes[i].removed, "device " + U8(node.friendlyName) + " removed");
    }
    for (const auto& rename : m_.kernel.pendingRenames) {
      // The relaunched copy schedules its own deletion (no target).
      if (rename.target.empty() && IsTempCopy(rename.source)) continue;
      Expect(IsAbsolute(rename.target) && IsFamilyFile(rename.target),
             "replacement of " + U8(rename.target) + " scheduled");
    }
    const Dword spooler = m_.services.services.at(u"Spooler").state;
    if (before_.spoolerState == os::SERVICE_RUNNING && !Failed("StartServiceW")) {
      Expect(spooler == os::SERVICE_RUNNING, "the spooler left in state " + std::to_string(spooler));
    }
  }

  // Every call that changes or deletes something names the family's object,
  // whole; every child command line reads back as the arguments meant.
  void CallsNameOnlyFamilyObjects() {
    for (const auto& call : m_.calls) {
      const std::string& op = call.operation;
      const Text& d = call.detail;
      const std::string where = op + "(" + U8(d) + ")";
      if (op == "DeleteFileW") {
        Expect(IsAbsolute(d) && IsFamilyFile(d), where);
      } else if (op == "CopyFileW" || op == "MoveFileExW") {
        const auto arrow = d.find(u" -> ");
        const Text source = d.substr(0, arrow);
        const Text target = arrow == Text::npos ? Text() : d.substr(arrow + 4);
        const bool runtime = sim::EqualNoCase(target, Text(kSystemFolder) + u"\\vcomp140.dll");
        const bool tempCopy = op == "CopyFileW" && StartsWithNoCase(target, kTempFolder) &&
                              sim::EqualNoCase(source, kUninstallerCopy);
        Expect(IsAbsolute(source) && IsAbsolute(target) && (IsFamilyFile(target) || runtime || tempCopy), where);
      } else if (op == "SHFileOperationW") {
        Expect(IsInstallerFolderName(d), where);
      } else if (op == "DeletePrinterDriverPackageW") {
        Expect(sim::EqualNoCase(d, kStoredInf), where);
      } else if (op == "UploadPrinterDriverPackageW") {
        Expect(d == kInfPath, where);
      } else if (op == "DeletePrinterDriverExW" || op == "AddPrinterDriverW") {
        Expect(IsFamilyDriverName(d), where);
      } else if (op == "DeleteMonitorW" || op == "AddMonitorW") {
        Expect(d == kMonitor, where);
      } else if (op == "DeletePrinter" || op == "SetPrinterW" || op == "AddPrinterW" ||
                 op == "SetupDiRemoveDevice") {
        Expect(IsFamilyQueueName(d), where);
      } else if (op == "CreateProcessW") {
        ChildLine(d);
      }
    }
  }

  void HandlesClosed() {
    for (const auto& [value, handle] : m_.openHandles) {
      Expect(false, "handle left open after the process ended: kind " + std::to_string(static_cast<int>(handle.kind)) +
                        " " + U8(handle.name));
    }
  }

  // In the installer window "Done" and text 103 say the printer is
  // installed: its queue must be there, on its port. Two outcomes the
  // installation prescribes are told apart by their evidence: a queue whose
  // details cannot be read counts as on the port, and the manual path
  // reports success after a complete staging and driver registration even
  // when the queue could not be added (its trace line says so), without
  // looking at the queue again.
  void SuccessMeansInstalled(bool claimed, const std::string& claim) {
    if (!claimed) return;
    const sim::SimQueue* queue = FindQueue(m_, kModel);
    if (queue != nullptr && (queue->info.pPortName == kPort || Failed("GetPrinterW"))) return;
    const bool addFailedAfterRegistration =
        FindDriver(m_, kModel) != nullptr && Traced("AddPrinter " + U8(kModel) + " failed, errcode:");
    if (addFailedAfterRegistration) return;
    Expect(false, claim + " but the queue is " +
                      (queue == nullptr ? std::string("missing") : "on " + U8(queue->info.pPortName)));
  }

  void InstallerWindowTruthful(bool printerPlugged) {
    for (const auto& dialog : m_.ui.dialogs) {
      if (dialog.templateId != IDD_INSTALLER) continue;
      const bool done = U8(dialog.controls.at(IDC_INSTALLER_CANCEL).text) == English(IDS_DONE);
      const bool installed = U8(dialog.controls.at(IDC_LOG).text).find(InstalledText()) != std::string::npos;
      if (!printerPlugged) {
        Expect(!done && !installed, "the window reports an installation without a supported printer");
      } else {
        SuccessMeansInstalled(done, "\"Done\" shown");
        SuccessMeansInstalled(installed, "text 103 shown");
      }
    }
  }

  void InstallResultTruthful() {
    if (o_.returned) SuccessMeansInstalled(o_.result != 0, "InstallPrinter returned " + std::to_string(o_.result));
  }

  // The uninstall window: its final message and the folder's deletion only
  // after everything of the family is gone, and records that say what is.
  void UninstallTruthful() {
    const bool finalMessage = std::any_of(m_.ui.messageBoxes.begin(), m_.ui.messageBoxes.end(), [](const auto& b) {
      return U8(b.text) == English(IDS_UNINSTALLED);
    });
    std::vector<std::string> left;
    for (const auto& q : m_.spooler.queues) {
      if (IsFamilyQueueName(q.info.pPrinterName)) left.push_back("queue " + U8(q.info.pPrinterName));
    }
    for (const auto& d : m_.spooler.drivers) {
      if (IsFamilyDriver(d.info)) left.push_back("driver " + U8(d.info.pName));
    }
    if (PackageInStore(m_, kStoredInf)) left.push_back("package " + U8(kPackageFolder));
    std::string leftText;
    for (const auto& l : left) leftText += " " + l;
    const bool recycled = !m_.shell.recycled.empty();
    const bool monitorFileGone = m_.kernel.files.count(Text(kSystemFolder) + u"\\korvmon.dll") == 0;
    Expect(!finalMessage || left.empty(), "\"The driver is uninstalled.\" shown, still there:" + leftText);
    Expect(!recycled || left.empty(), "the installer folder recycled, still there:" + leftText);
    Expect(!monitorFileGone || left.empty(), "korvmon.dll deleted from the system folder, still there:" + leftText);
  }

  void RecordsTruthful() {
    const bool queuesLieWaived = (c_.fault.waivers & kSaysQueueGone) != 0 && Failed(c_.operation);
    const bool driversLieWaived = (c_.fault.waivers & kSaysDriverGone) != 0 && Failed(c_.operation);
    const std::string failedPrefix = "Failed. Error:";
    std::set<Text> listedQueues, listedDrivers, listedPackages;
    for (const PackageRecord* p = InstalledPackages; p != nullptr; p = p->Next) {
      int driversLeft = 0;
      for (const DriverRecord* d = p->Drivers; d != nullptr; d = d->Next) {
        int queuesLeft = 0;
        for (const QueueRecord* q = d->Queues; q != nullptr; q = q->Next) {
          if (q->Printer == nullptr) continue;
          const Text& name = q->Printer->pPrinterName;
          const sim::SimQueue* now = FindQueue(m_, name);
          const bool gone = now == nullptr || PendingDeletion(*now);
          if (q->Removed != 0) {
            Expect(gone || queuesLieWaived, "queue " + U8(name) + " recorded as removed but still there");
            if (queuesLieWaived) listedQueues.insert(name);
          } else {
            ++queuesLeft;
            listedQueues.insert(name);
            if (U8(q->Status.view()).rfind(failedPrefix, 0) == 0) {
              Expect(now != nullptr, "queue " + U8(name) + " recorded as failed but gone");
            }
          }
        }
        Expect(d->QueueCount == queuesLeft, "driver record counts " + std::to_string(d->QueueCount) +
                                                " queues left, lists " + std::to_string(queuesLeft));
        if (d->Details == nullptr) continue;
        const Text& name = d->Details->pName;
        const bool there = FindDriver(m_, name) != nullptr;
        if (d->Removed != 0) {
          Expect(!there || driversLieWaived, "driver " + U8(name) + " recorded as removed but still there");
          if (driversLieWaived) listedDrivers.insert(name);
        } else {
          ++driversLeft;
          listedDrivers.insert(name);
          if (U8(d->Status.view()).rfind(failedPrefix, 0) == 0) {
            Expect(there, "driver " + U8(name) + " recorded as failed but gone");
          }
        }
      }
      Expect(p->DriverCount == driversLeft, "package record counts " + std::to_string(p->DriverCount) +
                                                " drivers left, lists " + std::to_string(driversLeft));
      if (p->DriverStorePath.empty()) continue;
      const bool there = PackageInStore(m_, p->DriverStorePath.view());
      if (p->Removed != 0) {
        Expect(!there, "package " + U8(p->DriverStorePath.view()) + " recorded as removed but still there");
      } else {
        listedPackages.insert(Text(p->DriverStorePath.view()));
        if (U8(p->Status.view()).rfind(failedPrefix, 0) == 0) {
          Expect(there, "package " + U8(p->DriverStorePath.view()) + " recorded as failed but gone");
        }
      }
    }

    // No record lost: what is still installed is listed, unless the
    // collection that would have found it failed (or never ran).
    const bool allocFailed = Failed("LocalAlloc");
    const bool driversCollected = m_.CallCount("EnumPrinterDriversW") > 0 && !Failed("EnumPrinterDriversW") && !allocFailed;
    const bool queuesCollected = driversCollected && m_.CallCount("EnumPrintersW") > 0 && !Failed("EnumPrintersW");
    const bool packagesCollected = m_.CallCount("RegOpenKeyExW") > 0 && !Failed("RegOpenKeyExW") &&
                                   !Failed("RegEnumKeyW") && !Failed("RegGetValueW") && !allocFailed;
    for (const auto& d : m_.spooler.drivers) {
      if (driversCollected && IsFamilyDriver(d.info)) {
        Expect(listedDrivers.count(d.info.pName) != 0, "driver " + U8(d.info.pName) + " installed but not listed");
      }
    }
    for (const auto& q : m_.spooler.queues) {
      if (queuesCollected && IsFamilyQueueName(q.info.pPrinterName) && !PendingDeletion(q)) {
        Expect(listedQueues.count(q.info.pPrinterName) != 0,
               "queue " + U8(q.info.pPrinterName) + " installed but not listed");
      }
    }
    if (packagesCollected && PackageInStore(m_, kStoredInf)) {
      Expect(listedPackages.count(kStoredInf) != 0, "package " + U8(kPackageFolder) + " installed but not listed");
    }
  }

  // Every block the program took is released once its globals are reset.
  void AllocationsReleased() {
    Expect(m_.kernel.liveAllocations == 0,
           std::to_string(m_.kernel.liveAllocations) + " LocalAlloc blocks never released");
  }

  bool Traced(const std::string& prefix) const {
    for (const auto& line : m_.kernel.debugOutput) {
      if (U8(line).rfind(prefix, 0) == 0) return true;
    }
    return false;
  }

 private:
  void ChildLine(const Text& line) {
    const std::vector<Text> args = sim::SplitCommandLine(line);
    const std::string where = "child command line " + U8(line);
    if (!args.empty() && StartsWithNoCase(args[0], kTempFolder)) {
      Expect(args.size() == 3 && args[1] == u"-u" && args[2] == kInstallDir && StartsWithNoCase(args[0], kTempFolder),
             where);
      if (!args.empty()) {
        const auto copy = m_.kernel.files.find(args[0]);
        Expect(copy != m_.kernel.files.end() && copy->second.content == "korvsetup program",
               where + ": the program started is not a copy of the installer");
      }
    } else if (!args.empty() && args[0] == u"rundll32.exe") {
      Expect(args == std::vector<Text>{u"rundll32.exe", u"printui.dll", u"PrintUIEntry", u"/ii", u"/f", kInfPath}, where);
    } else {
      Expect(args == std::vector<Text>{kUninstallerCopy}, where);
    }
  }

  // The last calls before the time limit all belong to the search for
  // printers, and a search pass began among them.
  bool InSearchLoop() const {
    static const std::set<std::string> search = {
        "SetupDiGetClassDevsW", "SetupDiEnumDeviceInterfaces", "SetupDiGetDeviceInterfaceDetailW",
        "RegOpenKeyExW",        "RegQueryValueExW",            "LocalAlloc",
        "WideCharToMultiByte",  "MultiByteToWideChar",         "LoadStringW",
        "SetWindowTextW",       "ShowWindow",                  "PostMessageW",
        "CM_Locate_DevNodeW",   "CM_Reenumerate_DevNode"};
    const std::uint64_t from = o_.endedAt > 3000 ? o_.endedAt - 3000 : 0;
    bool passBegan = false;
    for (const auto& call : m_.calls) {
      if (call.at < from) continue;
      if (search.count(call.operation) == 0) return false;
      passBegan = passBegan || call.operation == "SetupDiGetClassDevsW";
    }
    return passBegan;
  }

  std::string LastCalls() const {
    std::string out;
    const std::size_t n = m_.calls.size();
    for (std::size_t i = n > 6 ? n - 6 : 0; i < n; ++i) {
      out += m_.calls[i].operation + "@" + std::to_string(m_.calls[i].at) + " ";
    }
    return out;
  }

  const SweepCase& c_;
  const Snapshot& before_;
  const Outcome& o_;
  sim::Machine& m_;
};

}  // namespace korv::test::sweep

// What the machine holds, as readable facts, and the promises every run of
// the fault sweep must keep whatever failed; each check adds the broken ones.
#pragma once

#include <algorithm>
#include <cctype>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/res/resource_tables.h"
#include "common/resource_ids.h"
#include "common/strsafe.h"
#include "platform/services.h"
#include "platform/sim/nocase.h"
#include "platform/sim/sim_fixtures.h"
#include "platform/sim/sim_shell.h"
#include "sweep_machine.h"
#include "uninstall/inventory.h"

namespace korv::test::sweep {

// The relaunch's copy of the program: "uniXXXX.tmp" in the temporary folder.
inline bool IsTempCopy(std::u16string_view path) {
  const Text prefix = Text(kTempFolder) + u"uni";
  return path.size() > prefix.size() + 4 && sim::EqualNoCase(path.substr(0, prefix.size()), prefix) &&
         sim::EqualNoCase(path.substr(path.size() - 4), u".tmp");
}

// The family's objects: named "korv...", the shop's own queue name, the language monitor.
inline bool IsFamily(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  for (const char* mark : {"korv", "shop counter", "language monitor"}) {
    if (text.find(mark) != std::string::npos) return true;
  }
  return false;
}

inline const sim::SimQueue* FindQueue(sim::Machine& m, std::u16string_view name) {
  for (const auto& q : m.spooler.queues) {
    if (q.info.pPrinterName == name) return &q;
  }
  return nullptr;
}

// DeletePrinter on a queue with jobs marks it; it goes once they are done.
inline bool PendingDeletion(const sim::SimQueue& q) { return (q.info.Status & 0x4u) != 0; }

inline bool DriverThere(sim::Machine& m, std::u16string_view name) {
  return std::any_of(m.spooler.drivers.begin(), m.spooler.drivers.end(), [&](auto& d) { return d.info.pName == name; });
}

inline bool PackageInStore(sim::Machine& m, std::u16string_view storedInf) {
  return std::any_of(m.spooler.store.begin(), m.spooler.store.end(),
                     [&](auto& p) { return sim::EqualNoCase(p.storedInf, storedInf); });
}

// Everything a run can change that lasts, one line each. Temporary copies
// are left out: their names count up from run to run.
inline std::set<std::string> Facts(sim::Machine& m) {
  std::set<std::string> facts;
  for (const auto& q : m.spooler.queues) {
    facts.insert("queue " + U8(q.info.pPrinterName) + " on " + U8(q.info.pPortName) + " with " + U8(q.info.pDriverName) +
                 " jobs " + std::to_string(q.info.cJobs) + (PendingDeletion(q) ? " (being deleted)" : ""));
  }
  for (const auto& d : m.spooler.drivers) {
    facts.insert("driver " + U8(d.info.pName) + " monitor " + U8(d.info.pMonitorName) + " files " +
                 U8(d.info.pDriverPath) + " " + U8(d.info.pConfigFile) + " from " + U8(d.info.pszInfPath));
  }
  for (const auto& mon : m.spooler.monitors) facts.insert("monitor " + U8(mon.pName) + " " + U8(mon.pDLLName));
  for (const auto& p : m.spooler.store) facts.insert("driver store " + U8(p.storedInf));
  if (sim::RegKey* packages = m.registry.Find(
          u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\PackageInstallation\\Windows x64\\DriverPackages")) {
    for (const auto& [name, key] : packages->subkeys) {
      const auto v = key.values.find(u"DriverStorePath");
      Text path;
      if (v != key.values.end()) path.assign(reinterpret_cast<const char16_t*>(v->second.data.data()), v->second.data.size() / 2);
      facts.insert("package record " + U8(name) + " = " + U8(path.substr(0, path.find(u'\0'))));
    }
  }
  for (const auto& [path, file] : m.kernel.files) facts.insert(IsTempCopy(path) ? "" : "file " + U8(path) + " = " + file.content);
  for (const auto& folder : m.kernel.folders) facts.insert("folder " + U8(folder));
  for (const auto& r : m.kernel.pendingRenames) facts.insert(IsTempCopy(r.source) ? "" : "replacement " + U8(r.source) + " -> " + U8(r.target));
  for (const auto& [name, s] : m.services.services) facts.insert("service " + U8(name) + " state " + std::to_string(s.state));
  for (const auto& node : m.devices.nodes) facts.insert(node.removed ? "" : "device " + U8(node.setupClass) + " " + U8(node.friendlyName));
  for (const auto& [name, holders] : m.kernel.mutexes) facts.insert("mutex " + U8(name) + " held");
  facts.erase("");
  return facts;
}

// Nothing not the family's was deleted, moved or changed (the spooler's
// state is judged on its own).
inline std::vector<std::string> ForeignLost(const std::set<std::string>& before, sim::Machine& m) {
  const std::set<std::string> now = Facts(m);
  std::vector<std::string> lost;
  for (const auto& f : before) {
    if (!IsFamily(f) && f.rfind("service ", 0) != 0 && now.count(f) == 0) lost.push_back("another maker's lost: " + f);
  }
  return lost;
}

inline std::string English(std::uint16_t id) { return U8(res::LoadText(0x0409, id)); }

// Errors claiming an object is already gone make the program count it
// removed while it is there (the world lies); only those record checks are waived.
enum Waiver : unsigned { kNoWaiver = 0, kSaysQueueGone = 1, kSaysDriverGone = 2 };

struct FaultChoice {
  Dword error = 0;
  HResult hresult = 0;  // for the operations that return an HRESULT
  const char* label = "";
  unsigned waivers = kNoWaiver;
};

// The errors each operation fails with: those the program gives a meaning
// of its own, and one standing for any other failure.
inline std::vector<FaultChoice> ChoicesFor(const std::string& op) {
  const FaultChoice e2{err::FileNotFound, 0, "e2"}, e8{err::NotEnoughMemory, 0, "e8"}, rpc{1722, 0, "e1722"},
      e259{err::NoMoreItems, 0, "e259"}, e122{err::InsufficientBuffer, 0, "e122"}, cr{0x13, 0, "crFailure"},
      hFail{0, static_cast<HResult>(0x80004005u), "hEFail"}, e5{err::AccessDenied, 0, "e5"}, res{1814, 0, "e1814"},
      win{1400, 0, "e1400"};
  static const std::map<std::string, std::vector<FaultChoice>> table = {
      {"CreateMutexW", {{183, 0, "e183"}, e5}}, {"OpenPrinterW", {{err::InvalidPrinterName, 0, "e1801", kSaysQueueGone}, rpc}},
      {"DeletePrinterDriverExW", {{err::UnknownPrinterDriver, 0, "e1797", kSaysDriverGone}, {err::PrinterDriverInUse, 0, "e3001"}, rpc}},
      {"AddMonitorW", {{err::PrintMonitorAlreadyInstalled, 0, "e3006"}, rpc}}, {"UploadPrinterDriverPackageW", {hFail}},
      {"DeletePrinterDriverPackageW", {{0, hr::InfInUseByDevices, "hInfInUse"}, hFail}}, {"DeleteFileW", {e2, e5}},
      {"RegEnumKeyW", {e259}}, {"SetupDiEnumDeviceInterfaces", {e259}}, {"LocalAlloc", {e8}}, {"CreateThread", {e8}},
      {"CreateProcessW", {e2}}, {"FileExists", {e2}}, {"SetupQueryInfVersionW", {e2}}, {"MultiByteToWideChar", {e122}},
      {"WideCharToMultiByte", {e122}}, {"CM_Locate_DevNodeW", {cr}}, {"CM_Reenumerate_DevNode", {cr}},
      {"UpdateDriverForPlugAndPlayDevicesW", {{0xE000020Bu, 0, "eNoSuchDevinst"}}}, {"CommandLineToArgvW", {e8}},
      {"SetupDiClassGuidsFromNameW", {{0xE0000209u, 0, "eInvalidClass"}}}, {"MessageBoxW", {e8}},
      {"SHFileOperationW", {{1223, 0, "e1223"}}},  // the user cancelled the shell's confirmation
      {"PostMessageW", {{1816, 0, "e1816"}}},      // no quota
      {"LoadStringW", {res}}, {"LoadIconW", {res}}, {"DialogBoxParamW", {res}}, {"SetWindowTextW", {win}},
      {"ShowWindow", {win}}, {"EnableWindow", {win}}, {"TreeInsertItem", {win}},
  };
  static const std::set<std::string> spooler = {"EnumPrinterDriversW", "AddPrinterDriverW", "GetPrinterDriverDirectoryW",
      "DeleteMonitorW", "EnumPortsW", "GetPrinterW", "SetPrinterW", "AddPrinterW", "DeletePrinter", "EnumPrintersW"};
  if (auto it = table.find(op); it != table.end()) return it->second;
  return {spooler.count(op) != 0 ? rpc : e5};
}

class Checker {
 public:
  Checker(const std::string& operation, unsigned waivers, const Outcome& outcome)
      : op_(operation), waivers_(waivers), o_(outcome), m_(sim::Machine::Get()) {}

  std::vector<std::string> broken;

  // Whether the injected fault hit at least one call of `op`.
  bool Failed(const std::string& op) const { return op_ == op && m_.CallCount(op) >= 1; }

  void Expect(bool holds, const std::string& what) {
    if (!holds) broken.push_back(what);
  }

  void RunEnded(const PathPlan& plan) {
    Expect(o_.unexpected.empty(), "an exception other than the end of the process: " + o_.unexpected);
    if (o_.returned) {
      Expect(o_.endedAt <= plan.endsBy, "ended at " + std::to_string(o_.endedAt) + " ms, later than its loops allow");
      if (plan.commandLine != nullptr) Expect(o_.result == 0, "exit code " + std::to_string(o_.result));
    }
    if (o_.endedFromOutside) {
      Expect(plan.searchMayRunOn && InSearchLoop(), "at the time limit not in the search for printers");
      Expect(o_.liveThreads == 1, "at the time limit " + std::to_string(o_.liveThreads) + " threads were alive");
    }
    const Dword spooler = m_.services.services.at(u"Spooler").state;
    Expect(spooler == os::SERVICE_RUNNING || Failed("StartServiceW"), "the spooler left in state " + std::to_string(spooler));
    for (const auto& [value, handle] : m_.openHandles) Expect(false, "handle left open: " + U8(handle.name));
  }

  // Every call that changes or deletes something names a family object,
  // whole; every child command line reads back as the arguments meant.
  void CallsNameOnlyFamilyObjects() {
    static const std::set<std::string> changing = {
        "DeleteFileW", "CopyFileW", "MoveFileExW", "SHFileOperationW", "DeletePrinterDriverPackageW",
        "UploadPrinterDriverPackageW", "DeletePrinterDriverExW", "AddPrinterDriverW", "DeleteMonitorW",
        "AddMonitorW", "DeletePrinter", "SetPrinterW", "AddPrinterW", "SetupDiRemoveDevice"};
    for (const auto& call : m_.calls) {
      const std::string where = call.operation + "(" + U8(call.detail) + ")";
      if (call.operation == "CreateProcessW") ChildLine(call.detail, where);
      if (changing.count(call.operation) == 0) continue;
      const auto arrow = call.detail.find(u" -> ");
      // A replacement scheduled without a target deletes its source.
      Text object = arrow == Text::npos ? call.detail : call.detail.substr(arrow + 4);
      if (object.empty()) object = call.detail.substr(0, arrow);
      const bool runtime = sim::EqualNoCase(object, Text(kSystemFolder) + u"\\vcomp140.dll");
      const bool file = call.operation.find("File") != std::string::npos;
      const bool whole = call.detail.find(u":\\") == 1 && object.find(u":\\") == 1;
      Expect((IsFamily(U8(object)) || runtime || IsTempCopy(object)) && (!file || whole), where);
    }
  }

  // "Done", text 103 and InstallPrinter's result claim the queue is there,
  // on its port (or unreadable). The manual path reports success after a
  // full staging and registration even when AddPrinter failed, and traces it.
  void SuccessMeansInstalled(bool claimed, const std::string& claim) {
    if (!claimed) return;
    const sim::SimQueue* queue = FindQueue(m_, kModel);
    if (queue != nullptr && (queue->info.pPortName == kPort || Failed("GetPrinterW"))) return;
    const bool traced = std::any_of(m_.kernel.debugOutput.begin(), m_.kernel.debugOutput.end(), [](const Text& line) {
      return U8(line).rfind("AddPrinter Korvane KV-T58 failed, errcode:", 0) == 0;
    });
    if (DriverThere(m_, kModel) && traced) return;
    Expect(false, claim + " but the queue is " + (queue == nullptr ? "missing" : "on " + U8(queue->info.pPortName)));
  }

  void InstallerWindowTruthful(bool printerPlugged) {
    char16_t installed[256] = {};
    wsprintfW(installed, 256, res::LoadText(0x0409, IDS_PRINTER_INSTALLED), kModel, kPort);
    for (const auto& dialog : m_.ui.dialogs) {
      if (dialog.templateId != IDD_INSTALLER) continue;
      const bool done = U8(dialog.controls.at(IDC_INSTALLER_CANCEL).text) == English(IDS_DONE);
      const bool said = dialog.controls.at(IDC_LOG).text.find(installed) != Text::npos;
      Expect(printerPlugged || (!done && !said), "the window reports an installation without a supported printer");
      SuccessMeansInstalled(done, "\"Done\" shown");
      SuccessMeansInstalled(said, "text 103 shown");
    }
  }

  void InstallResultTruthful() {
    if (o_.returned) SuccessMeansInstalled(o_.result != 0, "InstallPrinter returned " + std::to_string(o_.result));
  }

  // The final message, the folder's recycling and the monitor file's
  // deletion only once everything of the family is gone.
  void UninstallTruthful() {
    std::string left;
    for (const auto& q : m_.spooler.queues) {
      if (IsFamily(U8(q.info.pPrinterName))) left += " queue " + U8(q.info.pPrinterName);
    }
    for (const auto& d : m_.spooler.drivers) {
      if (IsFamily(U8(d.info.pDriverPath))) left += " driver " + U8(d.info.pName);
    }
    if (PackageInStore(m_, kStoredInf)) left += " the package";
    if (left.empty()) return;
    Expect(std::none_of(m_.ui.messageBoxes.begin(), m_.ui.messageBoxes.end(),
                        [](const auto& b) { return U8(b.text) == English(IDS_UNINSTALLED); }),
           "\"The driver is uninstalled.\" shown, still there:" + left);
    Expect(m_.shell.recycled.empty(), "the installer folder recycled, still there:" + left);
    Expect(m_.kernel.files.count(Text(kSystemFolder) + u"\\korvmon.dll") == 1,
           "korvmon.dll deleted from the system folder, still there:" + left);
  }

  // The inventory's records say what is there: removed only when gone,
  // failed only when there, counts that match, nothing installed left out
  // (unless the collection that would find it failed).
  void RecordsTruthful() {
    const bool queuesLie = (waivers_ & kSaysQueueGone) != 0 && Failed(op_);
    const bool driversLie = (waivers_ & kSaysDriverGone) != 0 && Failed(op_);
    std::set<Text> listed;
    // One record against the machine; true when it still counts as installed.
    auto record = [&](const std::string& what, Dword removed, const auto& status, bool there, bool gone, bool lies) {
      Expect(!removed || gone || lies, what + " recorded as removed but still there");
      Expect(U8(status.view()).rfind("Failed. Error:", 0) != 0 || there, what + " recorded as failed but gone");
      return !removed || lies;
    };
    for (const PackageRecord* p = InstalledPackages; p != nullptr; p = p->Next) {
      int driversLeft = 0;
      for (const DriverRecord* d = p->Drivers; d != nullptr; d = d->Next) {
        int queuesLeft = 0;
        for (const QueueRecord* q = d->Queues; q != nullptr; q = q->Next) {
          if (q->Printer == nullptr) continue;
          const Text& name = q->Printer->pPrinterName;
          const sim::SimQueue* now = FindQueue(m_, name);
          const bool gone = now == nullptr || PendingDeletion(*now);
          if (record("queue " + U8(name), q->Removed, q->Status, now != nullptr, gone, queuesLie)) listed.insert(name);
          queuesLeft += q->Removed ? 0 : 1;
        }
        Expect(d->QueueCount == queuesLeft, "driver record counts " + std::to_string(d->QueueCount) + " queues left");
        if (d->Details == nullptr) continue;
        const Text& name = d->Details->pName;
        const bool there = DriverThere(m_, name);
        if (record("driver " + U8(name), d->Removed, d->Status, there, !there, driversLie)) listed.insert(name);
        driversLeft += d->Removed ? 0 : 1;
      }
      Expect(p->DriverCount == driversLeft, "package record counts " + std::to_string(p->DriverCount) + " drivers left");
      const Text path(p->DriverStorePath.view());
      const bool there = !path.empty() && PackageInStore(m_, path);
      if (!path.empty() && record("package", p->Removed, p->Status, there, !there, false)) listed.insert(path);
    }
    const bool alloc = Failed("LocalAlloc");
    const bool drivers = m_.CallCount("EnumPrinterDriversW") > 0 && !Failed("EnumPrinterDriversW") && !alloc;
    const bool queues = drivers && m_.CallCount("EnumPrintersW") > 0 && !Failed("EnumPrintersW");
    const bool packages = m_.CallCount("RegOpenKeyExW") > 0 && !Failed("RegOpenKeyExW") && !Failed("RegEnumKeyW") &&
                          !Failed("RegGetValueW") && !alloc;
    for (const auto& d : m_.spooler.drivers) {
      Expect(!drivers || !IsFamily(U8(d.info.pDriverPath)) || listed.count(d.info.pName) != 0,
             "driver " + U8(d.info.pName) + " installed but not listed");
    }
    for (const auto& q : m_.spooler.queues) {
      Expect(!queues || !IsFamily(U8(q.info.pPrinterName)) || PendingDeletion(q) || listed.count(q.info.pPrinterName),
             "queue " + U8(q.info.pPrinterName) + " installed but not listed");
    }
    Expect(!packages || !PackageInStore(m_, kStoredInf) || listed.count(kStoredInf) != 0,
           "the package installed but not listed");
  }

 private:
  void ChildLine(const Text& line, const std::string& where) {
    const std::vector<Text> args = sim::SplitCommandLine(line);
    if (!args.empty() && IsTempCopy(args[0])) {
      Expect(args.size() == 3 && args[1] == u"-u" && args[2] == kInstallDir, where);
      const auto copy = m_.kernel.files.find(args[0]);
      Expect(copy != m_.kernel.files.end() && copy->second.content == korvsim::kProgramContent,
             where + ": the program started is not a copy of the installer");
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
        "SetupDiGetClassDevsW", "SetupDiEnumDeviceInterfaces", "SetupDiGetDeviceInterfaceDetailW", "RegOpenKeyExW",
        "RegQueryValueExW", "LocalAlloc", "WideCharToMultiByte", "MultiByteToWideChar", "LoadStringW",
        "SetWindowTextW", "ShowWindow", "PostMessageW", "CM_Locate_DevNodeW", "CM_Reenumerate_DevNode"};
    bool passBegan = false;
    for (const auto& call : m_.calls) {
      if (call.at + 3000 < o_.endedAt) continue;
      if (search.count(call.operation) == 0) return false;
      passBegan = passBegan || call.operation == "SetupDiGetClassDevsW";
    }
    return passBegan;
  }

  std::string op_;
  unsigned waivers_;
  const Outcome& o_;
  sim::Machine& m_;
};

}  // namespace korv::test::sweep

// The print spooler on the simulated machine.
//
// It behaves like the Windows spooler where the program can tell: it answers
// nothing while the Spooler service is not running (RPC_S_SERVER_UNAVAILABLE),
// names are found without regard to letter case, a driver is accepted only
// when its files are in the driver directory and its monitor is installed,
// a queue only on a known driver and port, and a driver in use cannot be
// deleted until the spooler has been restarted.
#include <algorithm>
#include <cstring>

#include "platform/kernel.h"
#include "platform/services.h"
#include "platform/sim/machine.h"
#include "platform/sim/spooler_model.h"
#include "platform/spooler.h"

namespace korv::sim {

namespace {

constexpr Dword kSpoolerUnavailable = 1722;  // RPC_S_SERVER_UNAVAILABLE
constexpr Dword kUnknownPrintMonitor = 3000;
constexpr Dword kUnknownPrintProcessor = 1798;
constexpr Dword kModNotFound = 126;
constexpr Dword kStatusPaused = 0x1;
constexpr Dword kStatusPendingDeletion = 0x4;

// The spooler's environment name for the machine's processor, as the
// package-installation records are kept under it.
Text EnvironmentName(std::uint16_t nativeArch) {
  switch (nativeArch) {
    case arch::Intel: return u"Windows NT x86";
    case arch::Arm: return u"Windows ARM";
    case arch::Arm64: return u"Windows ARM64";
    default: return u"Windows x64";
  }
}

Text LastComponent(const Text& path) {
  auto pos = path.find_last_of(u"\\/");
  return pos == Text::npos ? path : path.substr(pos + 1);
}

Text ParentFolderName(const Text& path) {
  auto pos = path.find_last_of(u"\\/");
  if (pos == Text::npos) return Text();
  return LastComponent(path.substr(0, pos));
}

}  // namespace

void SyncSpoolerWithService(Machine& m) {
  auto it = m.services.services.find(u"Spooler");
  if (it == m.services.services.end()) return;
  const SimService& service = it->second;
  if (service.state != os::SERVICE_RUNNING || service.startRequests <= m.spooler.startsApplied) return;
  m.spooler.startsApplied = service.startRequests;
  // A fresh spooler process: nothing holds a driver any more, and the port
  // monitors report the ports they know now.
  for (auto& driver : m.spooler.drivers) driver.inUseUntilCycle = false;
  for (const auto& port : m.spooler.portsAfterCycle) {
    bool listed = std::any_of(m.spooler.ports.begin(), m.spooler.ports.end(),
                              [&](const Text& p) { return EqualNoCase(p, port); });
    if (!listed) m.spooler.ports.push_back(port);
  }
  m.spooler.portsAfterCycle.clear();
}

bool SpoolerRunning(Machine& m) {
  SyncSpoolerWithService(m);
  auto it = m.services.services.find(u"Spooler");
  return it != m.services.services.end() && it->second.state == os::SERVICE_RUNNING;
}

SimDriver* FindDriver(Machine& m, std::u16string_view name) {
  for (auto& d : m.spooler.drivers) {
    if (EqualNoCase(d.info.pName, name)) return &d;
  }
  return nullptr;
}

SimQueue* FindQueue(Machine& m, std::u16string_view name) {
  for (auto& q : m.spooler.queues) {
    if (EqualNoCase(q.info.pPrinterName, name)) return &q;
  }
  return nullptr;
}

const Text* FindPort(Machine& m, std::u16string_view name) {
  for (const auto& p : m.spooler.ports) {
    if (EqualNoCase(p, name)) return &p;
  }
  return nullptr;
}

// Adds a queue the way the spooler does on a successful AddPrinterW: with
// the port's own spelling, the driver's name as written (letter case
// included: the spooler finds the driver without regard to case but keeps
// the name it was given), no jobs, and a software device node of the
// "PrintQueue" class named after it.
SimQueue& CreateQueue(Machine& m, os::PrinterInfo2 info) {
  info.pServerName.clear();
  info.Status = 0;
  info.cJobs = 0;
  info.native.clear();
  if (const Text* port = FindPort(m, info.pPortName)) info.pPortName = *port;
  m.devices.nodes.push_back(DeviceNode{u"PrintQueue", info.pPrinterName,
                                       u"PRINTENUM\\LocalPrintQueue", false});
  m.spooler.queues.push_back(SimQueue{std::move(info)});
  return m.spooler.queues.back();
}

void RemoveQueue(Machine& m, const Text& name) {
  auto& queues = m.spooler.queues;
  queues.erase(std::remove_if(queues.begin(), queues.end(),
                              [&](const SimQueue& q) { return EqualNoCase(q.info.pPrinterName, name); }),
               queues.end());
  for (auto& node : m.devices.nodes) {
    if (!node.removed && node.setupClass == u"PrintQueue" && node.friendlyName == name) node.removed = true;
  }
}

namespace {

// The driver directory holds the files of a driver being added; the spooler
// copies them into its version folder ("3") and reports them there.
Text InstallDriverFile(Machine& m, const Text& file, bool* missing) {
  if (file.empty()) return file;
  auto& files = m.kernel.files;
  if (file.find_first_of(u"\\/") != Text::npos) {
    if (files.count(file) == 0) *missing = true;
    return file;
  }
  const Text source = m.spooler.driverDirectory + u"\\" + file;
  const Text target = m.spooler.driverDirectory + u"\\3\\" + file;
  auto from = files.find(source);
  if (from == files.end()) {
    *missing = true;
    return target;
  }
  auto to = files.find(target);
  if (to == files.end()) {
    files[target] = SimFile{from->second.content, false};
  } else if (!to->second.locked) {
    to->second.content = from->second.content;
  }
  return target;
}

}  // namespace

// Records an uploaded package where the spooler keeps them, so that the
// uninstaller's inventory finds it in the registry.
void RecordPackage(Machine& m, const Text& sourceInf, const Text& storedInf) {
  auto& store = m.spooler.store;
  store.erase(std::remove_if(store.begin(), store.end(),
                             [&](const DriverStorePackage& p) { return EqualNoCase(p.storedInf, storedInf); }),
              store.end());
  store.push_back(DriverStorePackage{sourceInf, storedInf});
  const Text key = u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\PackageInstallation\\" +
                   EnvironmentName(m.kernel.nativeArch) + u"\\DriverPackages\\" + ParentFolderName(storedInf);
  m.registry.Create(key).values[u"DriverStorePath"] = RegistryState::MultiString({storedInf});
  auto& versions = m.devices.infVersions;
  for (std::size_t i = 0; i < versions.size(); ++i) {
    if (EqualNoCase(versions[i].first, sourceInf)) {
      Text driverVer = versions[i].second;
      versions.emplace_back(storedInf, driverVer);
      break;
    }
  }
}

void ForgetPackage(Machine& m, const Text& inf) {
  auto& store = m.spooler.store;
  store.erase(std::remove_if(store.begin(), store.end(),
                             [&](const DriverStorePackage& p) {
                               return EqualNoCase(p.storedInf, inf) || EqualNoCase(p.sourceInf, inf);
                             }),
              store.end());
  const Text packages = u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\PackageInstallation\\" +
                        EnvironmentName(m.kernel.nativeArch) + u"\\DriverPackages";
  if (RegKey* key = m.registry.Find(packages)) {
    for (auto it = key->subkeys.begin(); it != key->subkeys.end();) {
      auto value = it->second.values.find(u"DriverStorePath");
      bool match = false;
      if (value != it->second.values.end() && value->second.data.size() >= 2) {
        Text stored(reinterpret_cast<const char16_t*>(value->second.data.data()), value->second.data.size() / 2);
        stored = stored.substr(0, stored.find(u'\0'));
        match = EqualNoCase(stored, inf);
      }
      it = match ? key->subkeys.erase(it) : std::next(it);
    }
  }
}

}  // namespace korv::sim

namespace korv::os {

using sim::Machine;

namespace {

Machine& M() { return Machine::Get(); }

void Fail(Dword error) { sim::ThreadLastError() = error; }

bool Unavailable() {
  if (sim::SpoolerRunning(M())) return false;
  Fail(sim::kSpoolerUnavailable);
  return true;
}

HResult InjectedResult(const sim::FaultRule& rule) {
  return rule.hresult != 0 ? rule.hresult : hr::FromWin32(rule.error != 0 ? rule.error : err::AccessDenied);
}

sim::SimQueue* QueueOf(const Handle& printer) {
  const auto* open = M().Lookup(printer);
  if (open == nullptr || open->kind != HandleKind::Printer) return nullptr;
  return sim::FindQueue(M(), open->name);
}

bool UsesMonitorThroughQueue(const Text& monitor) {
  for (const auto& q : M().spooler.queues) {
    const sim::SimDriver* d = sim::FindDriver(M(), q.info.pDriverName);
    if (d != nullptr && sim::EqualNoCase(d->info.pMonitorName, monitor)) return true;
  }
  return false;
}

}  // namespace

bool EnumPrinterDriversW(std::vector<DriverInfo8>* drivers) {
  if (M().Enter("EnumPrinterDriversW") || Unavailable()) return false;
  drivers->clear();
  for (const auto& d : M().spooler.drivers) drivers->push_back(d.info);
  SetLastError(err::Success);
  return true;
}

bool AddPrinterDriverW(const DriverInfo8& driver) {
  if (M().Enter("AddPrinterDriverW", driver.pName) || Unavailable()) return false;
  auto& spooler = M().spooler;
  if (driver.pName.empty() || driver.pDriverPath.empty()) {
    Fail(err::InvalidParameter);
    return false;
  }
  if (!driver.pMonitorName.empty() &&
      std::none_of(spooler.monitors.begin(), spooler.monitors.end(),
                   [&](const MonitorInfo2& mon) { return sim::EqualNoCase(mon.pName, driver.pMonitorName); })) {
    Fail(sim::kUnknownPrintMonitor);
    return false;
  }
  DriverInfo8 stored = driver;
  bool missing = false;
  stored.pDriverPath = sim::InstallDriverFile(M(), driver.pDriverPath, &missing);
  stored.pDataFile = sim::InstallDriverFile(M(), driver.pDataFile, &missing);
  stored.pConfigFile = sim::InstallDriverFile(M(), driver.pConfigFile, &missing);
  stored.pHelpFile = sim::InstallDriverFile(M(), driver.pHelpFile, &missing);
  for (auto& file : stored.pDependentFiles) file = sim::InstallDriverFile(M(), file, &missing);
  if (missing) {
    Fail(err::FileNotFound);
    return false;
  }
  if (stored.pEnvironment.empty()) stored.pEnvironment = sim::EnvironmentName(M().kernel.nativeArch);
  SetLastError(err::Success);
  if (std::any_of(spooler.acceptedNeverListed.begin(), spooler.acceptedNeverListed.end(),
                  [&](const Text& n) { return sim::EqualNoCase(n, driver.pName); })) {
    return true;
  }
  if (sim::SimDriver* existing = sim::FindDriver(M(), driver.pName)) {
    stored.pName = existing->info.pName;  // an update keeps the registered name
    existing->info = std::move(stored);
  } else {
    spooler.drivers.push_back(sim::SimDriver{std::move(stored)});
  }
  return true;
}

bool DeletePrinterDriverExW(const char16_t* name, Dword deleteFlag, Dword versionFlag) {
  (void)versionFlag;
  Text n = name != nullptr ? Text(name) : Text();
  if (M().Enter("DeletePrinterDriverExW", n) || Unavailable()) return false;
  auto& spooler = M().spooler;
  sim::SimDriver* driver = sim::FindDriver(M(), n);
  if (driver == nullptr) {
    Fail(err::UnknownPrinterDriver);
    return false;
  }
  bool usedByQueue = std::any_of(spooler.queues.begin(), spooler.queues.end(), [&](const sim::SimQueue& q) {
    return sim::EqualNoCase(q.info.pDriverName, driver->info.pName);
  });
  if (usedByQueue || driver->inUseUntilCycle) {
    Fail(err::PrinterDriverInUse);
    return false;
  }
  DriverInfo8 gone = driver->info;
  spooler.drivers.erase(spooler.drivers.begin() + (driver - spooler.drivers.data()));
  if ((deleteFlag & (DPD_DELETE_UNUSED_FILES | 0x4 /* DPD_DELETE_ALL_FILES */)) != 0) {
    std::vector<Text> files{gone.pDriverPath, gone.pDataFile, gone.pConfigFile, gone.pHelpFile};
    files.insert(files.end(), gone.pDependentFiles.begin(), gone.pDependentFiles.end());
    for (const auto& file : files) {
      if (file.empty()) continue;
      bool shared = false;
      for (const auto& other : spooler.drivers) {
        const DriverInfo8& o = other.info;
        std::vector<Text> theirs{o.pDriverPath, o.pDataFile, o.pConfigFile, o.pHelpFile};
        theirs.insert(theirs.end(), o.pDependentFiles.begin(), o.pDependentFiles.end());
        shared = shared || std::any_of(theirs.begin(), theirs.end(),
                                       [&](const Text& t) { return sim::EqualNoCase(t, file); });
      }
      auto it = M().kernel.files.find(file);
      if (!shared && it != M().kernel.files.end() && !it->second.locked) M().kernel.files.erase(it);
    }
  }
  SetLastError(err::Success);
  return true;
}

bool GetPrinterDriverDirectoryW(char16_t* buffer, Dword capacity) {
  if (M().Enter("GetPrinterDriverDirectoryW") || Unavailable()) return false;
  const Text& dir = M().spooler.driverDirectory;
  if (buffer == nullptr || dir.size() + 1 > capacity) {
    Fail(err::InsufficientBuffer);
    return false;
  }
  std::memcpy(buffer, dir.c_str(), (dir.size() + 1) * sizeof(char16_t));
  SetLastError(err::Success);
  return true;
}

bool AddMonitorW(const MonitorInfo2& monitor) {
  if (M().Enter("AddMonitorW", monitor.pName) || Unavailable()) return false;
  auto& monitors = M().spooler.monitors;
  if (std::any_of(monitors.begin(), monitors.end(),
                  [&](const MonitorInfo2& m) { return sim::EqualNoCase(m.pName, monitor.pName); })) {
    Fail(err::PrintMonitorAlreadyInstalled);
    return false;
  }
  // The spooler loads the monitor from the system folder at once.
  if (monitor.pDLLName.empty() || M().kernel.files.count(M().kernel.systemFolder + u"\\" + monitor.pDLLName) == 0) {
    Fail(sim::kModNotFound);
    return false;
  }
  monitors.push_back(monitor);
  SetLastError(err::Success);
  return true;
}

bool DeleteMonitorW(const char16_t* name) {
  Text n = name != nullptr ? Text(name) : Text();
  if (M().Enter("DeleteMonitorW", n) || Unavailable()) return false;
  auto& monitors = M().spooler.monitors;
  auto it = std::find_if(monitors.begin(), monitors.end(),
                         [&](const MonitorInfo2& m) { return sim::EqualNoCase(m.pName, n); });
  if (it == monitors.end()) {
    Fail(sim::kUnknownPrintMonitor);
    return false;
  }
  // A language monitor sits on the port of every queue whose driver names it.
  if (UsesMonitorThroughQueue(it->pName)) {
    Fail(err::PrintMonitorInUse);
    return false;
  }
  monitors.erase(it);
  SetLastError(err::Success);
  return true;
}

bool EnumPortsW(std::vector<Text>* portNames) {
  if (M().Enter("EnumPortsW") || Unavailable()) return false;
  *portNames = M().spooler.ports;
  SetLastError(err::Success);
  return true;
}

bool OpenPrinterW(const char16_t* name, Dword access, Handle* printer) {
  (void)access;
  Text n = name != nullptr ? Text(name) : Text();
  *printer = Handle();
  if (M().Enter("OpenPrinterW", n) || Unavailable()) return false;
  sim::SimQueue* queue = n.empty() ? nullptr : sim::FindQueue(M(), n);
  if (queue == nullptr) {
    Fail(err::InvalidPrinterName);
    return false;
  }
  *printer = M().MakeHandle(HandleKind::Printer, queue->info.pPrinterName);
  SetLastError(err::Success);
  return true;
}

bool GetPrinterW(const Handle& printer, PrinterInfo2* info) {
  if (M().Enter("GetPrinterW") || Unavailable()) return false;
  sim::SimQueue* queue = QueueOf(printer);
  if (queue == nullptr) {
    Fail(err::InvalidHandle);
    return false;
  }
  *info = queue->info;
  SetLastError(err::Success);
  return true;
}

bool SetPrinterW(const Handle& printer, const PrinterInfo2* info, Dword command) {
  const auto* open = M().Lookup(printer);
  if (M().Enter("SetPrinterW", open != nullptr ? open->name : Text()) || Unavailable()) return false;
  sim::SimQueue* queue = QueueOf(printer);
  if (queue == nullptr) {
    Fail(err::InvalidHandle);
    return false;
  }
  if (info == nullptr && command == 0) {
    Fail(err::InvalidParameter);
    return false;
  }
  if (info != nullptr) {
    const Text* port = sim::FindPort(M(), info->pPortName);
    if (port == nullptr) {
      Fail(err::UnknownPort);
      return false;
    }
    const sim::SimDriver* driver = sim::FindDriver(M(), info->pDriverName);
    if (driver == nullptr) {
      Fail(err::UnknownPrinterDriver);
      return false;
    }
    if (info->pPrinterName.empty()) {
      Fail(err::InvalidPrinterName);
      return false;
    }
    const sim::SimQueue* other = sim::FindQueue(M(), info->pPrinterName);
    if (other != nullptr && other != queue) {
      Fail(err::PrinterAlreadyExists);
      return false;
    }
    const Text oldName = queue->info.pPrinterName;
    PrinterInfo2& q = queue->info;
    q.pPrinterName = info->pPrinterName;
    q.pShareName = info->pShareName;
    q.pPortName = *port;
    q.pDriverName = info->pDriverName;
    q.pComment = info->pComment;
    q.pLocation = info->pLocation;
    q.pSepFile = info->pSepFile;
    q.pPrintProcessor = info->pPrintProcessor;
    q.pDatatype = info->pDatatype;
    q.pParameters = info->pParameters;
    q.Attributes = info->Attributes;
    q.Priority = info->Priority;
    q.DefaultPriority = info->DefaultPriority;
    q.StartTime = info->StartTime;
    q.UntilTime = info->UntilTime;
    if (oldName != q.pPrinterName) {
      for (auto& [value, handle] : M().openHandles) {
        if (handle.kind == HandleKind::Printer && handle.name == oldName) handle.name = q.pPrinterName;
      }
      for (auto& node : M().devices.nodes) {
        if (!node.removed && node.setupClass == u"PrintQueue" && node.friendlyName == oldName) {
          node.friendlyName = q.pPrinterName;
        }
      }
    }
  }
  switch (command) {
    case 0:
      break;
    case 1:  // PRINTER_CONTROL_PAUSE
      queue->info.Status |= sim::kStatusPaused;
      break;
    case 2:  // PRINTER_CONTROL_RESUME
      queue->info.Status &= ~sim::kStatusPaused;
      break;
    case PRINTER_CONTROL_PURGE:
      queue->info.cJobs = 0;
      // A queue waiting for its jobs to finish before it goes, goes now.
      if ((queue->info.Status & sim::kStatusPendingDeletion) != 0) {
        sim::RemoveQueue(M(), Text(queue->info.pPrinterName));
      }
      break;
    default:
      Fail(err::InvalidParameter);
      return false;
  }
  SetLastError(err::Success);
  return true;
}

Handle AddPrinterW(const PrinterInfo2& info) {
  if (M().Enter("AddPrinterW", info.pPrinterName) || Unavailable()) return Handle();
  if (info.pPrinterName.empty()) {
    Fail(err::InvalidPrinterName);
    return Handle();
  }
  if (sim::FindQueue(M(), info.pPrinterName) != nullptr) {
    Fail(err::PrinterAlreadyExists);
    return Handle();
  }
  if (sim::FindDriver(M(), info.pDriverName) == nullptr) {
    Fail(err::UnknownPrinterDriver);
    return Handle();
  }
  if (sim::FindPort(M(), info.pPortName) == nullptr && !M().spooler.acceptsUnknownPorts) {
    Fail(err::UnknownPort);
    return Handle();
  }
  if (!sim::EqualNoCase(info.pPrintProcessor, u"winprint")) {
    Fail(sim::kUnknownPrintProcessor);
    return Handle();
  }
  sim::SimQueue& queue = sim::CreateQueue(M(), info);
  SetLastError(err::Success);
  return M().MakeHandle(HandleKind::Printer, queue.info.pPrinterName);
}

bool DeletePrinter(const Handle& printer) {
  const auto* open = M().Lookup(printer);
  if (M().Enter("DeletePrinter", open != nullptr ? open->name : Text()) || Unavailable()) return false;
  sim::SimQueue* queue = QueueOf(printer);
  if (queue == nullptr) {
    Fail(err::InvalidHandle);
    return false;
  }
  if (queue->undeletable) {
    Fail(queue->deleteError);
    return false;
  }
  if (queue->info.cJobs > 0) {
    // Windows lets the jobs finish first: the queue stays, marked, until
    // they are gone (or purged).
    queue->info.Status |= sim::kStatusPendingDeletion;
  } else {
    sim::RemoveQueue(M(), Text(queue->info.pPrinterName));
  }
  SetLastError(err::Success);
  return true;
}

bool EnumPrintersW(Dword flags, std::vector<PrinterInfo2>* printers) {
  if (M().Enter("EnumPrintersW") || Unavailable()) return false;
  printers->clear();
  if ((flags & PRINTER_ENUM_LOCAL) != 0) {
    for (const auto& q : M().spooler.queues) printers->push_back(q.info);
  }
  SetLastError(err::Success);
  return true;
}

HResult UploadPrinterDriverPackageW(const char16_t* infPath, Dword flags, char16_t* destination,
                                    Dword* capacity) {
  (void)flags;
  Text inf = infPath != nullptr ? Text(infPath) : Text();
  sim::FaultRule rule;
  if (M().Enter("UploadPrinterDriverPackageW", inf, &rule)) return InjectedResult(rule);
  if (!sim::SpoolerRunning(M())) return hr::FromWin32(sim::kSpoolerUnavailable);
  if (M().kernel.files.count(inf) == 0) return hr::FromWin32(err::FileNotFound);
  auto& spooler = M().spooler;
  const HResult result = spooler.uploadResult;
  if (result < 0) return result;
  const Text& stored = spooler.uploadDestination;
  if (destination == nullptr || capacity == nullptr || *capacity < stored.size() + 1) {
    if (capacity != nullptr) *capacity = static_cast<Dword>(stored.size() + 1);
    return hr::FromWin32(err::InsufficientBuffer);
  }
  std::memcpy(destination, stored.c_str(), (stored.size() + 1) * sizeof(char16_t));
  *capacity = static_cast<Dword>(stored.size() + 1);
  sim::RecordPackage(M(), inf, stored);
  return result;
}

HResult DeletePrinterDriverPackageW(const char16_t* infPath) {
  Text inf = infPath != nullptr ? Text(infPath) : Text();
  sim::FaultRule rule;
  if (M().Enter("DeletePrinterDriverPackageW", inf, &rule)) return InjectedResult(rule);
  if (!sim::SpoolerRunning(M())) return hr::FromWin32(sim::kSpoolerUnavailable);
  if (M().spooler.packageInUseWhileDriverInstalled) {
    constexpr Dword kPackageInUse = 3015;  // ERROR_PRINTER_DRIVER_PACKAGE_IN_USE
    for (const auto& driver : M().spooler.drivers) {
      if (sim::EqualNoCase(driver.info.pszInfPath, inf)) return hr::FromWin32(kPackageInUse);
    }
  }
  auto& results = M().spooler.packageDeleteResults;
  HResult result = hr::Ok;
  if (!results.empty()) {
    result = results.front();
    results.pop_front();
  }
  if (result >= 0) sim::ForgetPackage(M(), inf);
  return result;
}

}  // namespace korv::os

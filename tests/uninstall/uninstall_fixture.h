// A simulated machine with pieces of the driver family installed: package
// records in the registry with their INF in the driver store, printer drivers
// in the spooler, queues with their device nodes.
#pragma once

#include <string>
#include <vector>

#include "common/globals.h"
#include "platform/sim/machine.h"
#include "platform/sim/sim_fixtures.h"
#include "platform/ui.h"
#include "sim_fixture.h"
#include "uninstall/inventory.h"

namespace korv::test {

inline constexpr char16_t kPackagesKeyX64[] =
    u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\PackageInstallation\\Windows x64\\DriverPackages";
inline constexpr char16_t kStore[] = u"C:\\Windows\\System32\\DriverStore\\FileRepository\\";
inline constexpr char16_t kDriverFile[] = u"C:\\Windows\\system32\\spool\\DRIVERS\\x64\\3\\korvdrv6.dll";

// The four 16-bit parts of a driver version in one number.
inline std::uint64_t Version(std::uint16_t a, std::uint16_t b, std::uint16_t c, std::uint16_t d) {
  return (std::uint64_t{a} << 48) | (std::uint64_t{b} << 32) | (std::uint64_t{c} << 16) | d;
}

class UninstallTest : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    AppInstance = os::CurrentInstance();
    sim::SetUpWindowsFolders(M());
  }

  // A package-installation record of the spooler for `environment`, naming
  // `storedInf` (written as REG_MULTI_SZ, as the spooler does), and its INF's
  // "DriverVer" when given.
  void AddPackage(const Text& subkey, const Text& storedInf, const Text& driverVer = Text(),
                  const Text& packagesKey = kPackagesKeyX64) {
    M().registry.Create(packagesKey + u"\\" + subkey).values[u"DriverStorePath"] =
        sim::RegistryState::MultiString({storedInf});
    if (!driverVer.empty()) M().devices.infVersions.emplace_back(storedInf, driverVer);
    M().spooler.store.push_back(sim::DriverStorePackage{u"C:\\Korvane\\korvv6.inf", storedInf});
  }

  static Text StoredInf(const Text& folder) { return Text(kStore) + folder + u"\\korvv6.inf"; }

  os::DriverInfo8& AddDriver(const Text& name, const Text& infPath = Text(), const Text& monitor = Text(),
                             const Text& driverPath = kDriverFile,
                             std::uint64_t version = Version(2026, 4, 7, 6)) {
    os::DriverInfo8 d;
    d.cVersion = 3;
    d.pName = name;
    d.pEnvironment = u"Windows x64";
    d.pDriverPath = driverPath;
    d.pMonitorName = monitor;
    d.dwlDriverVersion = version;
    d.pszMfgName = u"Korvane";
    d.pszInfPath = infPath;
    M().spooler.drivers.push_back(sim::SimDriver{d});
    return M().spooler.drivers.back().info;
  }

  void AddMonitor(const Text& name) {
    M().spooler.monitors.push_back(os::MonitorInfo2{name, u"Windows x64", u"korvmon.dll"});
  }

  // A queue and the software device the spooler makes for it.
  sim::SimQueue& AddQueue(const Text& name, const Text& driver, const Text& port = u"USB001") {
    os::PrinterInfo2 p;
    p.pPrinterName = name;
    p.pPortName = port;
    p.pDriverName = driver;
    p.pPrintProcessor = u"winprint";
    M().spooler.queues.push_back(sim::SimQueue{p});
    M().devices.nodes.push_back(sim::DeviceNode{u"PrintQueue", name, u"PRINTENUM\\LocalPrintQueue", false});
    return M().spooler.queues.back();
  }

  // The three collection steps, as the inventory thread runs them.
  void CollectAll() {
    CollectDriverPackages();
    CollectPrinterDrivers();
    CollectPrinters();
  }

  static std::vector<const PackageRecord*> Packages() {
    std::vector<const PackageRecord*> all;
    for (const PackageRecord* p = InstalledPackages; p != nullptr; p = p->Next) all.push_back(p);
    return all;
  }
  static std::vector<const DriverRecord*> Drivers(const PackageRecord* p) {
    std::vector<const DriverRecord*> all;
    for (const DriverRecord* d = p->Drivers; d != nullptr; d = d->Next) all.push_back(d);
    return all;
  }
  static std::vector<const QueueRecord*> Queues(const DriverRecord* d) {
    std::vector<const QueueRecord*> all;
    for (const QueueRecord* q = d->Queues; q != nullptr; q = q->Next) all.push_back(q);
    return all;
  }
  static std::vector<std::string> DriverNames(const PackageRecord* p) {
    std::vector<std::string> names;
    for (const DriverRecord* d : Drivers(p)) names.push_back(d->Details != nullptr ? U8(d->Details->pName) : "-");
    return names;
  }
  static std::vector<std::string> QueueNames(const DriverRecord* d) {
    std::vector<std::string> names;
    for (const QueueRecord* q : Queues(d)) names.push_back(U8(q->Printer->pPrinterName));
    return names;
  }

  // Virtual times of the calls of one operation, in order.
  std::vector<std::uint64_t> CallTimes(const std::string& operation) {
    std::vector<std::uint64_t> at;
    for (const auto& c : M().calls) {
      if (c.operation == operation) at.push_back(c.at);
    }
    return at;
  }
  // Details of the calls of one operation, in order.
  std::vector<std::string> CallDetails(const std::string& operation) {
    std::vector<std::string> details;
    for (const auto& c : M().calls) {
      if (c.operation == operation) details.push_back(U8(c.detail));
    }
    return details;
  }
};

}  // namespace korv::test

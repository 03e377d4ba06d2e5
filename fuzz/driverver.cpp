// Fuzz target: reading the driver packages of the family, above all each
// package INF's "DriverVer" into its 50-unit field, and the uninstall tree
// built from them.
//
// Each input builds a machine with up to four package-installation records
// (their "DriverStorePath" a well-formed REG_MULTI_SZ of a path of any
// units and length, or now and then a value of any type and bytes), the
// "DriverVer" text the device-installation services report for each INF
// (any units, any length, possibly none), and a few drivers and queues of
// the family. Then the inventory is collected and the tree built.
//
// Every record must name a package whole, with its last component as the
// package name (cut to 49 units) and DriverVer as reported, or empty; never
// a cut path or version.
// Every tree line must fit its 1024-unit buffer, and resetting the
// inventory must give back every block it took.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "common/globals.h"
#include "fuzz_support.h"
#include "platform/registry.h"
#include "platform/sim/machine.h"
#include "platform/sim/nocase.h"
#include "platform/spooler.h"
#include "platform/ui.h"
#include "uninstall/component_tree.h"
#include "uninstall/inventory.h"

namespace korv::fuzz {
namespace {

constexpr char16_t kPackagesKey[] =
    u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\PackageInstallation\\Windows x64\\DriverPackages";
constexpr char16_t kStore[] = u"C:\\Windows\\System32\\DriverStore\\FileRepository\\";

struct Package {
  Text subkey;
  Text path;
};

Text PackagePath(FuzzedDataProvider& in) {
  Text path;
  switch (in.ConsumeIntegralInRange<int>(0, 4)) {
    case 0:
      path = CompactUnitsFrom(in.ConsumeRandomLengthString(64));
      break;
    case 1:
      // Long: around the 1023 units the buffer holds.
      path = kStore + Text(in.ConsumeIntegralInRange<std::size_t>(900, 1100), u'k') + u"\\korvv6.inf";
      break;
    default:
      path = kStore + CompactUnitsFrom(in.ConsumeRandomLengthString(80)) + u"\\korvv6.inf";
      break;
  }
  std::erase(path, u'\0');
  return path;
}

Text VersionText(FuzzedDataProvider& in) {
  if (in.ConsumeIntegralInRange<int>(0, 3) == 0) {
    // Around the field's 49 units.
    const std::size_t length = in.ConsumeIntegralInRange<std::size_t>(47, 52);
    Text version = u"04/07/2026,";
    while (version.size() < length) version += static_cast<char16_t>(u'0' + version.size() % 10);
    return version.substr(0, length);
  }
  return UnitsFrom(in.ConsumeRandomLengthString(140));
}

void Run(FuzzedDataProvider& in) {
  sim::Machine& machine = sim::Machine::Get();
  AppInstance = os::CurrentInstance();
  InstallDir.assign(u"C:\\Korvane\\");

  std::vector<Package> packages;
  const int count = in.ConsumeIntegralInRange<int>(0, 4);
  for (int i = 0; i < count && in.remaining_bytes() > 0; ++i) {
    Package p;
    p.subkey = u"korvv6.inf_amd64_" + Text(1, static_cast<char16_t>(u'a' + i));
    p.path = PackagePath(in);
    sim::RegKey& key = machine.registry.Create(Text(kPackagesKey) + u"\\" + p.subkey);
    if (in.ConsumeIntegralInRange<int>(0, 7) == 0) {
      sim::RegValue raw;
      raw.type = in.ConsumeBool() ? os::REG_MULTI_SZ : in.ConsumeIntegral<Dword>();
      raw.data = in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange<std::size_t>(0, 200));
      key.values[u"DriverStorePath"] = raw;
    } else {
      key.values[u"DriverStorePath"] = sim::RegistryState::MultiString({p.path});
    }
    if (in.ConsumeIntegralInRange<int>(0, 5) != 0) machine.devices.infVersions.emplace_back(p.path, VersionText(in));
    packages.push_back(p);
  }

  // Drivers of the family, some naming a package's INF, and queues on them.
  std::vector<Text> driverNames;
  for (int i = in.ConsumeIntegralInRange<int>(0, 3); i > 0 && in.remaining_bytes() > 0; --i) {
    os::DriverInfo8 d;
    d.cVersion = 3;
    d.pName = CompactUnitsFrom(in.ConsumeRandomLengthString(40));
    d.pEnvironment = u"Windows x64";
    d.pDriverPath = u"C:\\Windows\\system32\\spool\\DRIVERS\\x64\\3\\korvdrv6.dll";
    d.pszMfgName = CompactUnitsFrom(in.ConsumeRandomLengthString(20));
    d.dwlDriverVersion = in.ConsumeIntegral<std::uint64_t>();
    if (!packages.empty() && in.ConsumeBool()) {
      d.pszInfPath = packages[in.ConsumeIntegralInRange<std::size_t>(0, packages.size() - 1)].path;
    }
    driverNames.push_back(d.pName);
    machine.spooler.drivers.push_back(sim::SimDriver{d});
  }
  for (int i = in.ConsumeIntegralInRange<int>(0, 3); i > 0 && !driverNames.empty() && in.remaining_bytes() > 0; --i) {
    os::PrinterInfo2 q;
    q.pPrinterName = CompactUnitsFrom(in.ConsumeRandomLengthString(40));
    q.pPortName = u"USB001";
    q.pDriverName = driverNames[in.ConsumeIntegralInRange<std::size_t>(0, driverNames.size() - 1)];
    machine.spooler.queues.push_back(sim::SimQueue{q});
  }

  const std::uint64_t liveBefore = machine.kernel.liveAllocations;
  CollectDriverPackages();

  // The package records, before the drivers add records of their own;
  // listed newest first, so the last key comes first.
  std::vector<const PackageRecord*> records;
  for (const PackageRecord* r = InstalledPackages; r != nullptr; r = r->Next) records.push_back(r);
  for (const PackageRecord* r : records) {
    KORV_FUZZ_CHECK(r->DriverVer.size() < 50 && r->PackageName.size() < 50 && r->DriverStorePath.size() < 1024,
                    "a field without its terminator");
    KORV_FUZZ_CHECK(r->DriverStorePath.view().find(u"korvv6.inf") != std::u16string_view::npos,
                    "package '%s' does not name the INF", Show(r->DriverStorePath.view()).c_str());
  }

  // Each record names a package path whole, its last component (cut to
  // the name's field) as the name, and a DriverVer reported for it whole,
  // or none: a cut path or version would name something else.
  for (const PackageRecord* r : records) {
    const Text path(r->DriverStorePath.view());
    KORV_FUZZ_CHECK(std::any_of(packages.begin(), packages.end(), [&](const Package& p) { return p.path == path; }),
                    "path '%s' is no package's", Show(path).c_str());
    KORV_FUZZ_CHECK(path.substr(path.rfind(u'\\') + 1, 49) == r->PackageName.view(), "name '%s' of '%s'",
                    Show(r->PackageName.view()).c_str(), Show(path).c_str());
    const auto& versions = machine.devices.infVersions;
    KORV_FUZZ_CHECK(r->DriverVer.empty() || std::any_of(versions.begin(), versions.end(), [&](const auto& v) {
                      return sim::EqualNoCase(v.first, path) && v.second.substr(0, v.second.find(u'\0')) == r->DriverVer.view();
                    }), "DriverVer '%s' was not reported for '%s'", Show(r->DriverVer.view()).c_str(), Show(path).c_str());
  }

  CollectPrinterDrivers();
  CollectPrinters();
  const std::vector<TreeLine> tree = BuildComponentTree(InstalledPackages);
  KORV_FUZZ_CHECK(!tree.empty(), "an empty tree");
  std::vector<const TreeLine*> pending;
  for (const TreeLine& line : tree) pending.push_back(&line);
  while (!pending.empty()) {
    const TreeLine* line = pending.back();
    pending.pop_back();
    KORV_FUZZ_CHECK(line->text.size() < 1024, "a tree line of %zu units", line->text.size());
    for (const TreeLine& child : line->children) pending.push_back(&child);
  }

  ResetInventory();
  KORV_FUZZ_CHECK(machine.kernel.liveAllocations == liveBefore, "%lld inventory blocks not given back",
                  static_cast<long long>(machine.kernel.liveAllocations - liveBefore));
}

}  // namespace
}  // namespace korv::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace korv;
  FuzzedDataProvider in(data, size);
  fuzz::Run(in);
  fuzz::EndInput();
  return 0;
}

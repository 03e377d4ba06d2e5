// Fuzz target: driver packages with any store paths and DriverVer texts (fixed fields, never cut), and the tree.
#include "fuzz_support.h"
#include "platform/registry.h"
#include "platform/sim/nocase.h"
#include "platform/spooler.h"
#include "uninstall/component_tree.h"
#include "uninstall/inventory.h"

namespace korv::fuzz {

constexpr char16_t kStore[] = u"C:\\Windows\\System32\\DriverStore\\FileRepository\\";

Text PackagePath(FuzzedDataProvider& in) {
  const int kind = in.ConsumeIntegralInRange<int>(0, 4);
  return kind == 0 ? TextFrom(in, 64)
         : kind == 1 ? kStore + Text(in.ConsumeIntegralInRange<std::size_t>(900, 1100), u'k') + u"\\korvv6.inf"  // about the 1023 units held
                     : kStore + TextFrom(in, 80) + u"\\korvv6.inf";
}

Text VersionText(FuzzedDataProvider& in) {
  if (in.ConsumeIntegralInRange<int>(0, 3) != 0) return UnitsFrom(in.ConsumeRandomLengthString(140));
  Text version = u"04/07/2026,";  // about the field's 49 units
  for (std::size_t length = in.ConsumeIntegralInRange<std::size_t>(47, 52); version.size() < length;) version += static_cast<char16_t>(u'0' + version.size() % 10);
  return version;
}

std::size_t Longest(const std::vector<TreeLine>& lines) {
  std::size_t n = 0;
  for (const TreeLine& line : lines) n = std::max({n, line.text.size(), Longest(line.children)});
  return n;
}

void Run(FuzzedDataProvider& in) {
  sim::Machine& machine = sim::Machine::Get();
  AppInstance = os::CurrentInstance();
  InstallDir.assign(u"C:\\Korvane\\");
  std::vector<Text> paths, driverNames;
  for (int i = in.ConsumeIntegralInRange<int>(0, 4); i > 0 && in.remaining_bytes() > 0; --i) {
    paths.push_back(PackagePath(in));
    sim::RegKey& key = machine.registry.Create(u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\PackageInstallation\\"
                                               u"Windows x64\\DriverPackages\\korvv6.inf_amd64_" + Text(1, static_cast<char16_t>(u'a' + i)));
    sim::RegValue& value = key.values[u"DriverStorePath"] = sim::RegistryState::MultiString({paths.back()});
    if (in.ConsumeIntegralInRange<int>(0, 7) == 0) {
      value.type = in.ConsumeBool() ? os::REG_MULTI_SZ : in.ConsumeIntegral<Dword>();
      value.data = in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange<std::size_t>(0, 200));
    }
    if (in.ConsumeIntegralInRange<int>(0, 5) != 0) machine.devices.infVersions.emplace_back(paths.back(), VersionText(in));
  }
  for (int i = in.ConsumeIntegralInRange<int>(0, 3); i > 0 && in.remaining_bytes() > 0; --i) {
    os::DriverInfo8 d{.cVersion = 3, .pName = CompactUnitsFrom(in.ConsumeRandomLengthString(40)), .pEnvironment = u"Windows x64",
                      .pDriverPath = u"C:\\Windows\\system32\\spool\\DRIVERS\\x64\\3\\korvdrv6.dll",
                      .dwlDriverVersion = in.ConsumeIntegral<std::uint64_t>(), .pszMfgName = CompactUnitsFrom(in.ConsumeRandomLengthString(20))};
    if (!paths.empty() && in.ConsumeBool()) d.pszInfPath = paths[in.ConsumeIntegralInRange<std::size_t>(0, paths.size() - 1)];
    driverNames.push_back(d.pName);
    machine.spooler.drivers.push_back(sim::SimDriver{d});
  }
  for (int i = in.ConsumeIntegralInRange<int>(0, 3); i > 0 && !driverNames.empty() && in.remaining_bytes() > 0; --i) {
    machine.spooler.queues.push_back(sim::SimQueue{{.pPrinterName = CompactUnitsFrom(in.ConsumeRandomLengthString(40)), .pPortName = u"USB001",
        .pDriverName = driverNames[in.ConsumeIntegralInRange<std::size_t>(0, driverNames.size() - 1)]}});
  }
  const std::uint64_t liveBefore = machine.kernel.liveAllocations;
  CollectDriverPackages();
  for (const PackageRecord* r = InstalledPackages; r != nullptr; r = r->Next) {
    const Text path(r->DriverStorePath.view());
    KORV_FUZZ_CHECK(r->DriverVer.size() < 50 && r->PackageName.size() < 50 && path.size() < 1024 &&
                        std::ranges::find(paths, path) != paths.end() && path.find(u"korvv6.inf") != Text::npos &&
                        path.substr(path.rfind(u'\\') + 1, 49) == r->PackageName.view(),
                    "record '%s' named '%s'", Show(path).c_str(), Show(r->PackageName.view()).c_str());
    const auto reported = [&](const auto& v) {
      return sim::EqualNoCase(v.first, path) && v.second.substr(0, v.second.find(u'\0')) == r->DriverVer.view();
    };
    KORV_FUZZ_CHECK(r->DriverVer.empty() || std::ranges::any_of(machine.devices.infVersions, reported),
                    "DriverVer '%s' was not reported for '%s'", Show(r->DriverVer.view()).c_str(), Show(path).c_str());
  }
  CollectPrinterDrivers();
  CollectPrinters();
  const std::vector<TreeLine> tree = BuildComponentTree(InstalledPackages);
  KORV_FUZZ_CHECK(!tree.empty() && Longest(tree) < 1024, "%zu lines, the longest of %zu units", tree.size(), Longest(tree));
  ResetInventory();
  KORV_FUZZ_CHECK(machine.kernel.liveAllocations == liveBefore, "inventory blocks not given back");
}

}  // namespace korv::fuzz

KORV_FUZZ_TARGET(korv::fuzz::Run)

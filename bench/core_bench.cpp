// Benchmarks of the core on the simulated machine: a discovery pass with
// matching, the model lookup, a trace line, and the uninstall inventory with
// its tree. Boundary calls go to the simulated machine, whose bookkeeping
// (the call log, the registry and spooler models) is part of every figure;
// the program's own work is what changes between the cases.
#include <benchmark/benchmark.h>

#include <cstddef>

#include "fresh_machine.h"
#include "common/trace.h"
#include "discovery/find_model.h"
#include "discovery/printer_device.h"
#include "discovery/usb_discovery.h"
#include "uninstall/component_tree.h"
#include "uninstall/inventory.h"

namespace korv::bench {
namespace {

// One search pass of the installation: enumerate the USB printers, then look
// each one up in the table.
void BM_DiscoveryPass(benchmark::State& state) {
  const int printers = static_cast<int>(state.range(0));
  Json scenario;
  for (int i = 0; i < printers; ++i) {
    scenario["machine"]["usbPrinters"].push_back(
        {{"serial", "B" + std::to_string(1000 + i)}, {"portNumber", i + 1},
         {"description", Utf8(DescriptionOfRow(static_cast<std::size_t>(i) % kSupportedModelCount))}});
  }
  sim::Machine& machine = FreshMachine(scenario);
  std::size_t iteration = 0;
  int found = 0;
  for (auto _ : state) {
    DiscoverUsbPrinters(&DeviceList);
    for (const PrinterDevice* d = DeviceList; d != nullptr; d = d->next) {
      if (FindModel(d->description) != nullptr) ++found;
    }
    TrimRecords(machine, ++iteration);
  }
  if (found != printers * static_cast<int>(iteration)) state.SkipWithError("a plugged printer was not identified");
  state.SetComplexityN(printers);
  state.counters["printers"] = printers;
  FreeDeviceList(&DeviceList);
}
BENCHMARK(BM_DiscoveryPass)->Arg(1)->Arg(8)->Arg(64)->Complexity();

// The last row whose description the lookup answers with that row (a later
// duplicate is answered by its first occurrence).
std::size_t LastReachableRow() {
  for (std::size_t row = kSupportedModelCount; row-- > 0;) {
    if (FindModel(DescriptionOfRow(row).c_str()) == &SupportedModels[row]) return row;
  }
  return 0;
}

void LookUp(benchmark::State& state, const Text& description, const ModelEntry* expected) {
  sim::Machine& machine = sim::Machine::Get();
  std::size_t iteration = 0;
  for (auto _ : state) {
    const ModelEntry* row = FindModel(description.c_str());
    benchmark::DoNotOptimize(row);
    if (row != expected) {
      state.SkipWithError("the lookup gave another row");
      break;
    }
    TrimRecords(machine, ++iteration);
  }
}

void BM_FindModel_FirstRow(benchmark::State& state) {
  FreshMachine();
  LookUp(state, DescriptionOfRow(0), &SupportedModels[0]);
}
BENCHMARK(BM_FindModel_FirstRow);

void BM_FindModel_LastRow(benchmark::State& state) {
  FreshMachine();
  const std::size_t row = LastReachableRow();
  state.counters["row"] = static_cast<double>(row);
  LookUp(state, DescriptionOfRow(row), &SupportedModels[row]);
}
BENCHMARK(BM_FindModel_LastRow);

void BM_FindModel_Missing(benchmark::State& state) {
  FreshMachine();
  LookUp(state, u"OtherMakeLP-2844", nullptr);
}
BENCHMARK(BM_FindModel_Missing);

void BM_TraceLine(benchmark::State& state) {
  sim::Machine& machine = FreshMachine();
  std::size_t iteration = 0;
  for (auto _ : state) {
    trace("Installing printer model: %ws, name: %ws, port: %ws", u"Korvane KV-T80", u"Korvane KV-T80", u"USB001");
    TrimRecords(machine, ++iteration);
  }
}
BENCHMARK(BM_TraceLine);

// One package of the family in the driver store, `count` drivers of the
// family installed from it and a queue on each: what the uninstall window's
// inventory collects.
Json Family(int count) {
  const std::string stored = "C:\\Windows\\System32\\DriverStore\\FileRepository\\korvv6.inf_amd64_5f0c\\korvv6.inf";
  const std::string dir = "C:\\Windows\\system32\\spool\\DRIVERS\\x64\\3\\";
  Json j;
  j["machine"]["spooler"]["store"] = {{{"storedInf", stored}}};
  j["machine"]["infVersions"] = {{{"path", stored}, {"driverVer", "04/07/2026,2026.4.7.6"}}};
  for (int i = 0; i < count; ++i) {
    const std::string name = "Korvane KV-T" + std::to_string(i);
    j["machine"]["spooler"]["drivers"].push_back(
        {{"pName", name}, {"pEnvironment", "Windows x64"}, {"pDriverPath", dir + "korvdrv6.dll"},
         {"pConfigFile", dir + "korvdrv6ui.dll"}, {"pDataFile", dir + "korvdrv6.dat"}, {"pszMfgName", "Korvane"},
         {"pMonitorName", "Language Monitor"}, {"pszInfPath", stored}, {"dwlDriverVersion", "2026.4.7.6"}});
    j["machine"]["spooler"]["queues"].push_back(
        {{"pPrinterName", name}, {"pPortName", "USB" + std::to_string(100 + i)}, {"pDriverName", name}});
  }
  return j;
}

// The uninstall window's inventory thread: packages, drivers, queues. The
// inventory is freed between iterations, outside the timing.
void BM_CollectInventory(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  sim::Machine& machine = FreshMachine(Family(count));
  for (auto _ : state) {
    CollectDriverPackages();
    CollectPrinterDrivers();
    CollectPrinters();
    state.PauseTiming();
    const bool complete = InstalledPackages != nullptr && InstalledPackages->DriverCount == count &&
                          InstalledPackages->Drivers != nullptr && InstalledPackages->Drivers->QueueCount == 1;
    ResetInventory();
    machine.calls.clear();
    state.ResumeTiming();
    if (!complete) {
      state.SkipWithError("the inventory missed a driver or a queue");
      break;
    }
  }
  state.SetComplexityN(count);
  state.counters["drivers"] = count;
}
BENCHMARK(BM_CollectInventory)->Arg(1)->Arg(100)->Arg(1000)->Complexity()->Unit(benchmark::kMicrosecond);

void BM_BuildComponentTree(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  sim::Machine& machine = FreshMachine(Family(count));
  CollectDriverPackages();
  CollectPrinterDrivers();
  CollectPrinters();
  std::size_t iteration = 0;
  std::size_t lines = 0;
  for (auto _ : state) {
    const std::vector<TreeLine> tree = BuildComponentTree(InstalledPackages);
    lines = tree.size() + (tree.size() > 1 ? tree[1].children.size() : 0);
    TrimRecords(machine, ++iteration);
  }
  // The folder line, the package line and one line per driver.
  if (lines != static_cast<std::size_t>(count) + 2) state.SkipWithError("the tree misses drivers");
  state.SetComplexityN(count);
  state.counters["drivers"] = count;
  ResetInventory();
}
BENCHMARK(BM_BuildComponentTree)->Arg(1)->Arg(100)->Arg(1000)->Complexity()->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace korv::bench

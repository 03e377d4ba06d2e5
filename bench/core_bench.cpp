// Benchmarks of the core on the simulated machine; README's Speed section quotes them.
#include <benchmark/benchmark.h>

#include <nlohmann/json.hpp>

#include "app/entry_point.h"
#include "app/res/resource_tables.h"
#include "common/globals.h"
#include "common/trace.h"
#include "discovery/find_model.h"
#include "discovery/model_table.h"
#include "discovery/usb_discovery.h"
#include "install/autoinstall_worker.h"
#include "platform/sim/machine.h"
#include "platform/sim/program_resources.h"
#include "platform/sim/scheduler.h"
#include "tools/korvsim/scenario.h"
#include "uninstall/component_tree.h"
#include "uninstall/inventory.h"

namespace korv::bench {
namespace {

using Json = nlohmann::json;

sim::Machine& FreshMachine(const Json& scenario = Json::object()) {
  sim::Machine& machine = sim::Machine::Reset();
  sim::UseProgramResources(res::AsProgramResources());
  ResetGlobals();
  korvsim::ApplyScenario(scenario.dump(), machine);
  AppInstance = os::CurrentInstance();
  InstallDir.assign(u"C:\\Korvane\\");
  return machine;
}

// Logging stays in the figures, but the logs must not grow without end.
void TrimRecords(sim::Machine& machine, std::size_t iteration) {
  if (iteration % 64 == 0) machine.calls.clear(), machine.kernel.debugOutput.clear();
}

Text DescriptionOfRow(std::size_t row) { return Text(SupportedModels[row].manufacturer) + SupportedModels[row].model; }

void BM_DiscoveryPass(benchmark::State& state) {
  const int printers = static_cast<int>(state.range(0));
  Json scenario;
  for (int i = 0; i < printers; ++i) {
    const Text d = DescriptionOfRow(static_cast<std::size_t>(i) % kSupportedModelCount);
    scenario["machine"]["usbPrinters"].push_back({{"serial", "B" + std::to_string(1000 + i)}, {"portNumber", i + 1}, {"description", std::string(d.begin(), d.end())}});
  }
  sim::Machine& machine = FreshMachine(scenario);
  std::size_t iteration = 0, found = 0;
  for (auto _ : state) {
    DiscoverUsbPrinters(&DeviceList);
    for (const PrinterDevice* d = DeviceList; d != nullptr; d = d->next) found += FindModel(d->description) != nullptr;
    TrimRecords(machine, ++iteration);
  }
  if (found != static_cast<std::size_t>(printers) * iteration) state.SkipWithError("a plugged printer was not identified");
  state.SetComplexityN(printers);
  FreeDeviceList(&DeviceList);
}
BENCHMARK(BM_DiscoveryPass)->Arg(1)->Arg(8)->Arg(64)->Complexity();

// Arg: 0 the first row, 1 the last row the lookup reaches (not a later duplicate), 2 a name no row has.
void BM_FindModel(benchmark::State& state) {
  sim::Machine& machine = FreshMachine();
  std::size_t row = state.range(0) == 0 ? 0 : kSupportedModelCount;
  while (state.range(0) == 1 && row-- > 0 && FindModel(DescriptionOfRow(row).c_str()) != &SupportedModels[row]) {}
  const Text description = state.range(0) == 2 ? Text(u"OtherMakeLP-2844") : DescriptionOfRow(row);
  const ModelEntry* expected = state.range(0) == 2 ? nullptr : &SupportedModels[row];
  state.counters["row"] = static_cast<double>(row);
  std::size_t iteration = 0;
  for (auto _ : state) {
    if (FindModel(description.c_str()) != expected) { state.SkipWithError("the lookup gave another row"); break; }
    TrimRecords(machine, ++iteration);
  }
}
BENCHMARK(BM_FindModel)->ArgName("first_last_missing")->Arg(0)->Arg(1)->Arg(2);

void BM_TraceLine(benchmark::State& state) {
  sim::Machine& machine = FreshMachine();
  std::size_t iteration = 0;
  for (auto _ : state) {
    trace("Installing printer model: %ws, name: %ws, port: %ws", u"Korvane KV-T80", u"Korvane KV-T80", u"USB001");
    TrimRecords(machine, ++iteration);
  }
}
BENCHMARK(BM_TraceLine);

// One package in the driver store, `count` drivers installed from it and a queue on each.
Json Family(int count) {
  const std::string stored = "C:\\Windows\\System32\\DriverStore\\FileRepository\\korvv6.inf_amd64_5f0c\\korvv6.inf";
  const std::string dir = "C:\\Windows\\system32\\spool\\DRIVERS\\x64\\3\\korvdrv6";
  Json j = {{"machine", {{"spooler", {{"store", {{{"storedInf", stored}}}}}}, {"infVersions", {{{"path", stored}, {"driverVer", "04/07/2026,2026.4.7.6"}}}}}}};
  for (int i = 0; i < count; ++i) {
    const std::string name = "Korvane KV-T" + std::to_string(i);
    j["machine"]["spooler"]["drivers"].push_back({{"pName", name}, {"pEnvironment", "Windows x64"}, {"pDriverPath", dir + ".dll"},
        {"pConfigFile", dir + "ui.dll"}, {"pDataFile", dir + ".dat"}, {"pszMfgName", "Korvane"}, {"pMonitorName", "Language Monitor"},
        {"pszInfPath", stored}, {"dwlDriverVersion", "2026.4.7.6"}});
    j["machine"]["spooler"]["queues"].push_back({{"pPrinterName", name}, {"pPortName", "USB" + std::to_string(100 + i)}, {"pDriverName", name}});
  }
  return j;
}

void CollectInventory() { CollectDriverPackages(), CollectPrinterDrivers(), CollectPrinters(); }

void BM_CollectInventory(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  sim::Machine& machine = FreshMachine(Family(count));
  for (auto _ : state) {
    CollectInventory();
    state.PauseTiming();
    const PackageRecord* p = InstalledPackages;
    const bool complete = p != nullptr && p->DriverCount == count && p->Drivers != nullptr && p->Drivers->QueueCount == 1;
    ResetInventory();
    machine.calls.clear();
    state.ResumeTiming();
    if (!complete) { state.SkipWithError("the inventory missed a driver or a queue"); break; }
  }
  state.SetComplexityN(count);
}
BENCHMARK(BM_CollectInventory)->Arg(1)->Arg(100)->Arg(1000)->Complexity()->Unit(benchmark::kMicrosecond);

void BM_BuildComponentTree(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  sim::Machine& machine = FreshMachine(Family(count));
  CollectInventory();
  std::size_t iteration = 0, lines = 0;
  for (auto _ : state) {
    const std::vector<TreeLine> tree = BuildComponentTree(InstalledPackages);
    lines = tree.size() + (tree.size() > 1 ? tree[1].children.size() : 0);  // folder, package, its drivers
    TrimRecords(machine, ++iteration);
  }
  if (lines != static_cast<std::size_t>(count) + 2) state.SkipWithError("the tree misses drivers");
  state.SetComplexityN(count);
  ResetInventory();
}
BENCHMARK(BM_BuildComponentTree)->Arg(1)->Arg(100)->Arg(1000)->Complexity()->Unit(benchmark::kMicrosecond);

// The idle search, one pass a second; modes: silent and nothing plugged, silent with another make's printer, the window with it.
constexpr std::uint64_t kPasses = 100, kPassMs = 1000;

void IdlePasses(benchmark::State& state) {
  const int mode = static_cast<int>(state.range(0));
  std::array<double, 4> perPass{};  // calls, allocations, live drift, handle drift
  for (auto _ : state) {
    state.PauseTiming();
    Json scenario = Json::object();
    if (mode != 0) scenario["machine"]["usbPrinters"] = {{{"vid", "0a5f"}, {"pid", "00d3"}, {"serial", "ZB01"}, {"description", "Zebra ZD421"}, {"portNumber", 1}}};
    if (mode == 2) scenario["machine"]["installerFolders"] = {"C:\\Korvane\\"}, scenario["machine"]["files"] = {{{"path", "C:\\Windows\\system32\\vcomp140.dll"}, {"content", "runtime"}}};
    sim::Machine& machine = FreshMachine(scenario);
    // Half-way through each pause, when the pass before is over.
    std::vector<std::array<double, 4>> at;
    for (std::uint64_t pass = 0; pass <= kPasses; ++pass) {
      machine.clock.At(pass * kPassMs + kPassMs / 2, [&] {
        at.push_back({double(machine.calls.size()), double(machine.kernel.allocations),
                      double(machine.kernel.liveAllocations), double(machine.openHandles.size())});
      });
    }
    machine.clock.SetTimeLimit(kPasses * kPassMs + kPassMs / 2);  // ends the endless search
    state.ResumeTiming();
    SilentInstallView silent;
    try { if (mode == 2) RunProgram(os::CurrentInstance(), u""); else AutoInstall(silent); } catch (const sim::ProcessEnded&) {}
    state.PauseTiming();
    if (at.size() != kPasses + 1) { state.SkipWithError("the worker did not make one pass a second"); break; }
    for (std::size_t i = 0; i < 4; ++i) perPass[i] = (at.back()[i] - at.front()[i]) / (i < 2 ? kPasses : 1);
    machine.clock.EndProcess();
    state.ResumeTiming();
  }
  state.counters["time_per_pass"] =
      benchmark::Counter(kPasses, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  const char* names[] = {"calls_per_pass", "allocs_per_pass", "live_drift", "handle_drift"};
  for (std::size_t i = 0; i < 4; ++i) state.counters[names[i]] = perPass[i];
}
BENCHMARK(IdlePasses)->ArgName("mode")->Arg(0)->Arg(1)->Arg(2)->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace korv::bench

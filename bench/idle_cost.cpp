// The installer's idle cost: while no supported printer is connected, the
// installation worker searches once a second, for as long as the window
// stays open. Each benchmark iteration runs the real program on a fresh
// machine for a number of passes, and reports per pass: the time, the
// boundary calls and the memory blocks (LocalAlloc) it takes; and, over the
// passes, how much the live blocks and open handles moved (both must stay
// at 0). Cases: the silent search with nothing plugged in, the same with a
// printer of another make plugged in, and the installer window with that
// printer (the worker then also drives the window's controls).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "fresh_machine.h"
#include "app/entry_point.h"
#include "install/autoinstall_worker.h"
#include "platform/sim/scheduler.h"

namespace korv::bench {
namespace {

constexpr int kPasses = 100;
constexpr std::uint64_t kPassMs = 1000;

struct Snapshot {
  std::size_t calls;
  std::uint64_t allocations;
  std::uint64_t live;
  std::size_t handles;
};

Snapshot Take(const sim::Machine& machine) {
  return {machine.calls.size(), machine.kernel.allocations, machine.kernel.liveAllocations,
          machine.openHandles.size()};
}

// An unsupported printer (another make's) stays plugged in, as on a shop's
// counter: discovery finds it and the lookup turns it away every pass.
enum Mode { kSilentNothingPlugged, kSilentOtherPrinter, kWindowOtherPrinter };

void IdlePasses(benchmark::State& state) {
  const Mode mode = static_cast<Mode>(state.range(0));
  const bool otherPrinter = mode != kSilentNothingPlugged;
  double calls = 0;
  double allocations = 0;
  double liveDrift = 0;
  double handleDrift = 0;
  for (auto _ : state) {
    state.PauseTiming();
    Json scenario = Json::object();
    if (otherPrinter) {
      scenario["machine"]["usbPrinters"] = Json::parse(
          R"([{"vid": "0a5f", "pid": "00d3", "serial": "ZB01", "description": "Zebra ZD421", "portNumber": 1}])");
    }
    if (mode == kWindowOtherPrinter) {
      scenario["machine"]["installerFolders"] = {"C:\\Korvane\\"};
      scenario["machine"]["files"] = {{{"path", "C:\\Windows\\system32\\vcomp140.dll"}, {"content", "runtime"}}};
    }
    sim::Machine& machine = FreshMachine(scenario);
    // Taken half-way through each pause, when the pass before is over.
    std::vector<Snapshot> snapshots;
    snapshots.reserve(kPasses + 1);
    for (int pass = 0; pass <= kPasses; ++pass) {
      machine.clock.At(pass * kPassMs + kPassMs / 2, [&] { snapshots.push_back(Take(machine)); });
    }
    machine.clock.SetTimeLimit(kPasses * kPassMs + kPassMs / 2);
    state.ResumeTiming();
    try {
      if (mode == kWindowOtherPrinter) {
        RunProgram(os::CurrentInstance(), u"");
      } else {
        SilentInstallView silent;
        AutoInstall(silent);
      }
    } catch (const sim::ProcessEnded&) {
      // The time limit ends the endless search.
    }
    state.PauseTiming();
    if (snapshots.size() != kPasses + 1) {
      state.SkipWithError("the worker did not make one pass a second");
      break;
    }
    const Snapshot& first = snapshots.front();
    const Snapshot& last = snapshots.back();
    calls = static_cast<double>(last.calls - first.calls) / kPasses;
    allocations = static_cast<double>(last.allocations - first.allocations) / kPasses;
    liveDrift = static_cast<double>(last.live) - static_cast<double>(first.live);
    handleDrift = static_cast<double>(last.handles) - static_cast<double>(first.handles);
    machine.clock.EndProcess();
    state.ResumeTiming();
  }
  state.counters["time_per_pass"] =
      benchmark::Counter(kPasses, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  state.counters["calls_per_pass"] = calls;
  state.counters["allocs_per_pass"] = allocations;
  state.counters["live_drift"] = liveDrift;
  state.counters["handle_drift"] = handleDrift;
}
BENCHMARK(IdlePasses)
    ->ArgName("mode")
    ->Arg(kSilentNothingPlugged)
    ->Arg(kSilentOtherPrinter)
    ->Arg(kWindowOtherPrinter)
    // The window's worker runs on a thread of its own, which the CPU time of
    // the benchmark's thread would leave out.
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace korv::bench

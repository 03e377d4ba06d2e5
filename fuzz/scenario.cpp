// Fuzz target: korvsim's scenario files: read (or a ScenarioError naming the
// fault, never another exception), run briefly, reported and dumped.
#include <sstream>

#include "fuzz_support.h"
#include "tools/korvsim/report.h"
#include "tools/korvsim/run.h"
#include "tools/korvsim/scenario.h"
#include "tools/korvsim/state_json.h"

namespace korv::fuzz {
namespace {

void Run(FuzzedDataProvider& in) {
  korvsim::Scenario scenario;
  try {
    scenario = korvsim::ApplyScenario(in.ConsumeRemainingBytesAsString(), sim::Machine::Get());
  } catch (const korvsim::ScenarioError& e) {
    KORV_FUZZ_CHECK(e.what()[0] != 0, "a scenario error without a message");
    return;
  } catch (const std::exception& e) {
    KORV_FUZZ_CHECK(false, "reading the scenario threw something other than a ScenarioError: %s", e.what());
  }
  // A window nobody closes searches once a (virtual) second until the limit.
  scenario.timeLimitMs = std::min<std::uint64_t>(scenario.timeLimitMs, 15000);
  try {
    const korvsim::FileList filesBefore = korvsim::FilesOf(sim::Machine::Get());
    const auto processes = korvsim::RunScenario(scenario, korvsim::RunOptions{.follow = scenario.followChildren, .maxProcesses = 3});
    std::ostringstream report;
    korvsim::PrintReport(report, "fuzz.json", scenario, processes, sim::Machine::Get(), filesBefore, korvsim::ReportOptions{true});
    KORV_FUZZ_CHECK(!report.str().empty() && !korvsim::MachineStateJson(sim::Machine::Get()).dump(2).empty(), "no report or state");
  } catch (const std::exception& e) {
    KORV_FUZZ_CHECK(false, "running a scenario that was read threw: %s", e.what());
  }
}

}  // namespace
}  // namespace korv::fuzz

KORV_FUZZ_TARGET(korv::fuzz::Run)

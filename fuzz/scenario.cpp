// Fuzz target: scenario files read (or a ScenarioError with a message; other exceptions crash), run, reported, dumped.
#include <sstream>

#include "fuzz_support.h"
#include "tools/korvsim/report.h"
#include "tools/korvsim/run.h"
#include "tools/korvsim/scenario.h"
#include "tools/korvsim/state_json.h"

namespace korv::fuzz {

void Run(FuzzedDataProvider& in) {
  korvsim::Scenario scenario;
  try {
    scenario = korvsim::ApplyScenario(in.ConsumeRemainingBytesAsString(), sim::Machine::Get());
  } catch (const korvsim::ScenarioError& e) {
    KORV_FUZZ_CHECK(e.what()[0] != 0, "a scenario error without a message");
    return;
  }
  // A window nobody closes searches once a (virtual) second until the limit.
  scenario.timeLimitMs = std::min<std::uint64_t>(scenario.timeLimitMs, 15000);
  const korvsim::FileList filesBefore = korvsim::FilesOf(sim::Machine::Get());
  const auto processes = korvsim::RunScenario(scenario, korvsim::RunOptions{.follow = scenario.followChildren, .maxProcesses = 3});
  std::ostringstream report;
  korvsim::PrintReport(report, "fuzz.json", scenario, processes, sim::Machine::Get(), filesBefore, korvsim::ReportOptions{true});
  // Every text of the final state must make valid JSON output (dump throws otherwise).
  KORV_FUZZ_CHECK(!report.str().empty() && !korvsim::MachineStateJson(sim::Machine::Get()).dump(2).empty(), "no report or state");
}

}  // namespace korv::fuzz

KORV_FUZZ_TARGET(korv::fuzz::Run)

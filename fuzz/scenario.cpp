// Fuzz target: korvsim's scenario files.
//
// The input is the text of a scenario file. Reading it must either set up
// the machine or refuse it with a ScenarioError that names what is wrong;
// any other exception (a JSON library error leaking out, a standard library
// error from a number or a conversion) would reach the user as a crash or a
// message that names no field, and is a finding. A scenario that reads is
// also run, with its time limit kept short (time is virtual, but a window
// nobody closes searches once a virtual second); its report is printed and
// the final machine state written out as korvsim's --state does.
#include <cstdint>
#include <exception>
#include <sstream>
#include <string>

#include "common/globals.h"
#include "fuzz_support.h"
#include "platform/sim/machine.h"
#include "tools/korvsim/report.h"
#include "tools/korvsim/run.h"
#include "tools/korvsim/scenario.h"
#include "tools/korvsim/state_json.h"

namespace korv::fuzz {
namespace {

constexpr std::uint64_t kLongestRunMs = 15000;

void Run(const std::string& text) {
  sim::Machine& machine = sim::Machine::Get();
  korvsim::Scenario scenario;
  try {
    scenario = korvsim::ApplyScenario(text, machine);
  } catch (const korvsim::ScenarioError& e) {
    KORV_FUZZ_CHECK(e.what()[0] != 0, "a scenario error without a message");
    return;
  } catch (const std::exception& e) {
    KORV_FUZZ_CHECK(false, "reading the scenario threw something other than a ScenarioError: %s", e.what());
  }

  if (scenario.timeLimitMs > kLongestRunMs) scenario.timeLimitMs = kLongestRunMs;
  korvsim::RunOptions options;
  options.follow = scenario.followChildren;
  options.maxProcesses = 3;
  try {
    const korvsim::FileList filesBefore = korvsim::FilesOf(machine);
    const auto processes = korvsim::RunScenario(scenario, options);
    const sim::Machine& last = sim::Machine::Get();
    std::ostringstream report;
    korvsim::PrintReport(report, "fuzz.json", scenario, processes, last, filesBefore, korvsim::ReportOptions{true});
    KORV_FUZZ_CHECK(!report.str().empty(), "an empty report");
    // Every text of the final state must make valid JSON output.
    const std::string state = korvsim::MachineStateJson(last).dump(2);
    KORV_FUZZ_CHECK(!state.empty(), "an empty machine state");
  } catch (const std::exception& e) {
    KORV_FUZZ_CHECK(false, "running a scenario that was read threw: %s", e.what());
  }
}

}  // namespace
}  // namespace korv::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace korv;
  fuzz::Run(std::string(reinterpret_cast<const char*>(data), size));
  fuzz::EndInput();
  return 0;
}

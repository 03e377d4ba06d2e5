// korvsim: runs korvsetup's real entry point on a simulated Windows machine
// described by a scenario file, and reports what the program did and what a
// person would have seen. See FORMAT.md.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "common/text_util.h"
#include "platform/sim/machine.h"
#include "tools/korvsim/report.h"
#include "tools/korvsim/run.h"
#include "tools/korvsim/scenario.h"
#include "tools/korvsim/state_json.h"

namespace {

constexpr const char* kUsage =
    "usage: korvsim [options] SCENARIO.json\n"
    "  --command-line TEXT  the program's command line instead of the scenario's\n"
    "  --follow             also run the copies of the program it starts (relaunch, hand-off)\n"
    "  --time-limit MS      end the run from outside at this virtual time\n"
    "  --state FILE         write the final machine state as JSON to FILE (- for standard output)\n"
    "  --calls              also list every call the program made to the system\n"
    "  --kill-at N          end the first process right before its N-th boundary call, as Windows\n"
    "                       ends a process: no clean-up code of the program takes effect\n"
    "  --restart TEXT       after the kill (and the copies it started, with --follow), start the\n"
    "                       program again with TEXT as its command line\n";

int Usage(const std::string& problem) {
  std::cerr << "korvsim: " << problem << "\n" << kUsage;
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace korv;
  std::string scenarioPath;
  std::string statePath;
  std::string commandLine;
  bool haveCommandLine = false;
  std::string timeLimit;
  korvsim::RunOptions runOptions;
  korvsim::ReportOptions reportOptions;

  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](const char* name) -> std::string {
      if (i + 1 >= argc) throw std::runtime_error(std::string(name) + " needs a value");
      return argv[++i];
    };
    try {
      if (arg == "--help" || arg == "-h") {
        std::cout << kUsage;
        return 0;
      } else if (arg == "--command-line") {
        commandLine = value("--command-line");
        haveCommandLine = true;
      } else if (arg == "--state") {
        statePath = value("--state");
      } else if (arg == "--time-limit") {
        timeLimit = value("--time-limit");
      } else if (arg == "--follow") {
        runOptions.follow = true;
      } else if (arg == "--kill-at") {
        const korvsim::Json n = value("--kill-at");
        const std::uint64_t call = korvsim::Field(n, "--kill-at").Unsigned();
        if (call == 0 || call > 1000000000) return Usage("--kill-at needs a call number from 1");
        runOptions.killAt = static_cast<int>(call);
      } else if (arg == "--restart") {
        runOptions.restart = true;
        runOptions.restartCommandLine = Utf8ToUtf16(value("--restart"));
      } else if (arg == "--calls") {
        reportOptions.calls = true;
      } else if (!arg.empty() && arg[0] == '-' && arg != "-") {
        return Usage("unknown option " + arg);
      } else if (scenarioPath.empty()) {
        scenarioPath = arg;
      } else {
        return Usage("one scenario file at a time");
      }
    } catch (const std::exception& e) {
      return Usage(e.what());
    }
  }
  if (scenarioPath.empty()) return Usage("no scenario file given");

  std::ifstream in(scenarioPath, std::ios::binary);
  if (!in) {
    std::cerr << "korvsim: " << scenarioPath << ": cannot be read\n";
    return 2;
  }
  std::stringstream text;
  text << in.rdbuf();
  const std::string name = std::filesystem::path(scenarioPath).filename().string();

  sim::Machine& machine = sim::Machine::Reset();
  korvsim::Scenario scenario;
  try {
    scenario = korvsim::ApplyScenario(text.str(), machine);
    if (!timeLimit.empty()) {
      const korvsim::Json limit = timeLimit;
      scenario.timeLimitMs = korvsim::Field(limit, "--time-limit").Unsigned();
    }
  } catch (const korvsim::ScenarioError& e) {
    std::cerr << "korvsim: " << name << ": " << e.what() << "\n";
    return 2;
  }
  if (haveCommandLine) scenario.commandLine = Utf8ToUtf16(commandLine);
  runOptions.follow = runOptions.follow || scenario.followChildren;
  if (runOptions.killAt == 0) runOptions.killAt = scenario.killAt;
  if (!runOptions.restart && scenario.restart) {
    runOptions.restart = true;
    runOptions.restartCommandLine = scenario.restartCommandLine;
  }

  const korvsim::FileList filesBefore = korvsim::FilesOf(machine);
  const auto processes = korvsim::RunScenario(scenario, runOptions);
  sim::Machine& last = sim::Machine::Get();
  korvsim::PrintReport(std::cout, name, scenario, processes, last, filesBefore, reportOptions);

  if (!statePath.empty()) {
    const std::string json = korvsim::MachineStateJson(last).dump(2) + "\n";
    if (statePath == "-") {
      std::cout << "\nmachine state:\n" << json;
    } else {
      std::ofstream state(statePath, std::ios::binary);
      state << json;
      if (!state) {
        std::cerr << "korvsim: " << statePath << ": cannot be written\n";
        return 1;
      }
    }
  }
  last.clock.EndProcess();
  return 0;
}

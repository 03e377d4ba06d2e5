// Running the program on a scenario's machine, process after process, and
// what each process left to report.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/sim/machine.h"
#include "tools/korvsim/scenario.h"

namespace korv::korvsim {

struct TimedText {
  std::uint64_t at = 0;
  Text text;
};

struct ProcessReport {
  int number = 1;
  Text modulePath;
  Text commandLine;            // as the entry point got it (no program name)
  std::uint64_t startedAt = 0;  // on the run's clock
  enum class End { Returned, TimeLimit, NothingLeft, Killed } end = End::Returned;
  int exitCode = 0;
  std::uint64_t endedAt = 0;  // on the run's clock
  std::uint64_t settledAt = 0;  // when the system's work it left under way was done (killed: later)
  std::vector<TimedText> debugLines;      // one per line of debugger output
  std::vector<TimedText> windowEvents;
  std::vector<sim::StartedProcess> started;  // times on the run's clock
  std::vector<TimedText> calls;           // every boundary call, "Operation detail"
};

struct RunOptions {
  bool follow = false;      // also run started copies of the program
  int maxProcesses = 8;     // a chain of copies that never ends is cut here
  int killAt = 0;           // end the first process right before this boundary call (0: never)
  bool restart = false;     // after a kill, start the program again (from the first process's executable)
  Text restartCommandLine;  // with this command line
};

// Runs the program, with its resources, with the scenario's command line on
// the machine set up from it (the current sim::Machine), then, when following, every started
// child whose executable is a copy of the program, each on a machine that
// carries the state the previous process left. The machine of the last
// process stays current for the final state.
std::vector<ProcessReport> RunScenario(const Scenario& scenario, const RunOptions& options);

}  // namespace korv::korvsim

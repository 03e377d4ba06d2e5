// korvsim's printed report.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "platform/sim/machine.h"
#include "tools/korvsim/run.h"

namespace korv::korvsim {

struct ReportOptions {
  bool calls = false;  // also list every boundary call
};

// Prints, for each process: its command line, the debugger output lines,
// the window events, the processes it started and how it ended; then the
// spooler, devices and files the run leaves (what was installed or removed).
void PrintReport(std::ostream& out, const std::string& scenarioName, const Scenario& scenario,
                 const std::vector<ProcessReport>& processes, const sim::Machine& finalMachine,
                 const ReportOptions& options);

}  // namespace korv::korvsim

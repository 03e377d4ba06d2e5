// korvsim's printed report.
#pragma once

#include <map>
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
// `filesBefore` is the machine's file list before the run (paths and
// contents), against which the files the run added, changed and removed are
// listed.
using FileList = std::map<Text, std::string, sim::NoCaseLess>;
FileList FilesOf(const sim::Machine& machine);
void PrintReport(std::ostream& out, const std::string& scenarioName, const Scenario& scenario,
                 const std::vector<ProcessReport>& processes, const sim::Machine& finalMachine,
                 const FileList& filesBefore, const ReportOptions& options);

}  // namespace korv::korvsim

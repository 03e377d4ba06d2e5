#include "tools/korvsim/run.h"

#include <algorithm>

#include "app/entry_point.h"
#include "app/res/resource_tables.h"
#include "common/globals.h"
#include "common/text_util.h"
#include "platform/sim/program_resources.h"
#include "platform/sim/sim_processes.h"
#include "platform/sim/sim_shell.h"
#include "platform/ui.h"

namespace korv::korvsim {

namespace {

using sim::Machine;

bool IsProgramCopy(const Machine& m, const Text& executable) {
  auto it = m.kernel.files.find(executable);
  return it != m.kernel.files.end() && it->second.content == kProgramContent;
}

// What a process that has ended leaves: the system closes the handles it
// still held, which lets go of its mutexes and of the files it held open.
void CloseHandlesOfEndedProcess(Machine& m) {
  for (const auto& [value, open] : m.openHandles) {
    if (open.kind == os::HandleKind::Kernel && open.name.rfind(u"mutex:", 0) == 0) {
      auto it = m.kernel.mutexes.find(open.name.substr(6));
      if (it != m.kernel.mutexes.end() && --it->second <= 0) m.kernel.mutexes.erase(it);
    }
    if (open.kind == os::HandleKind::Kernel && open.name.rfind(u"file:", 0) == 0) sim::ReleaseFile(m, open.name);
  }
  m.openHandles.clear();
}

// The debugger output as a viewer shows it: each OutputDebugStringW call
// on a line of its own (texts with line feeds on several). A call that is
// only a line end (the trace sends one after each line) ends the line
// before it and shows nothing of its own.
std::vector<TimedText> DebugLines(const Machine& m, std::uint64_t offset) {
  std::vector<TimedText> lines;
  const auto& output = m.kernel.debugOutput;
  const auto& at = m.kernel.debugOutputAt;
  for (std::size_t i = 0; i < output.size(); ++i) {
    const std::uint64_t when = offset + (i < at.size() ? at[i] : 0);
    Text text = output[i];
    if (text == u"\n" || text == u"\r\n") continue;
    while (!text.empty() && (text.back() == u'\n' || text.back() == u'\r')) text.pop_back();
    std::size_t start = 0;
    for (;;) {
      const auto end = text.find(u'\n', start);
      Text line = text.substr(start, end == Text::npos ? Text::npos : end - start);
      if (!line.empty() && line.back() == u'\r') line.pop_back();
      lines.push_back(TimedText{when, line});
      if (end == Text::npos) break;
      start = end + 1;
    }
  }
  return lines;
}

ProcessReport RunOne(const Scenario& scenario, int number, const Text& commandLine, std::uint64_t offset,
                     std::size_t processesBefore, int killAt) {
  Machine& m = Machine::Get();
  m.killAt = killAt;
  ResetGlobals();
  ArmFaults(scenario, m);
  const std::uint64_t limit = scenario.timeLimitMs > offset ? scenario.timeLimitMs - offset : 0;
  m.clock.SetTimeLimit(limit);

  ProcessReport report;
  report.number = number;
  report.modulePath = m.kernel.modulePath;
  report.commandLine = commandLine;
  report.startedAt = offset;
  try {
    report.exitCode = RunProgram(os::CurrentInstance(), commandLine.c_str());
    report.end = ProcessReport::End::Returned;
  } catch (const sim::ProcessEnded&) {
    report.end = m.clock.TimeLimitReached() ? ProcessReport::End::TimeLimit : ProcessReport::End::NothingLeft;
  }
  if (m.Killed()) report.end = ProcessReport::End::Killed;
  m.clock.EndProcess();
  CloseHandlesOfEndedProcess(m);
  report.endedAt = offset + m.clock.Now();
  // The system's own work under way (a service starting or stopping, Plug
  // and Play making a queue) goes on after a killed program.
  if (m.Killed()) m.clock.RunRemainingEvents();
  report.settledAt = offset + m.clock.Now();

  report.debugLines = DebugLines(m, offset);
  for (const auto& e : m.ui.events) report.windowEvents.push_back(TimedText{offset + e.at, e.what});
  for (std::size_t i = processesBefore; i < m.kernel.processes.size(); ++i) {
    sim::StartedProcess p = m.kernel.processes[i];
    p.startedAt += offset;
    report.started.push_back(p);
  }
  for (const auto& c : m.calls) {
    Text line = Utf8ToUtf16(c.operation);
    if (!c.detail.empty()) line += u" " + c.detail;
    report.calls.push_back(TimedText{offset + c.at, line});
  }
  return report;
}

// The next process runs on a machine that carries everything the one
// before left, with a clock of its own that starts when it starts; presses
// not yet made keep their times on the run's clock.
void CarryOver(const std::vector<std::uint64_t>& pressTimes, std::uint64_t startedAt, const Text& modulePath) {
  Machine& old = Machine::Get();
  sim::KernelState kernel = old.kernel;
  sim::RegistryState registry = old.registry;
  sim::ServicesState services = old.services;
  sim::SpoolerState spooler = old.spooler;
  sim::DevicesState devices = old.devices;
  sim::UiState ui = old.ui;
  sim::ShellState shell = old.shell;
  Machine& m = Machine::Reset();
  m.kernel = kernel;
  m.registry = registry;
  m.services = services;
  m.spooler = spooler;
  m.devices = devices;
  m.shell = shell;
  m.ui = ui;
  m.ui.dialogs.clear();
  m.ui.events.clear();
  m.ui.messageBoxes.clear();
  m.ui.foregroundRequests.clear();
  for (std::size_t i = 0; i < m.ui.presses.size() && i < pressTimes.size(); ++i) {
    m.ui.presses[i].at = pressTimes[i] > startedAt ? pressTimes[i] - startedAt : 0;
  }
  m.kernel.debugOutput.clear();
  m.kernel.debugOutputAt.clear();
  m.kernel.modulePath = modulePath;
  for (auto& p : m.kernel.processes) p.startedAt = 0;  // before this clock began
}

// Runs, in order, every copy of the program the last process started (and
// the copies those start), while the chain is not cut.
void FollowChildren(const Scenario& scenario, const RunOptions& options, const std::vector<std::uint64_t>& pressTimes,
                    std::vector<ProcessReport>& reports) {
  // Children to follow, in the order they were started.
  std::vector<sim::StartedProcess> pending;
  for (const auto& p : reports.back().started) {
    if (IsProgramCopy(Machine::Get(), p.executable)) pending.push_back(p);
  }
  while (!pending.empty() && static_cast<int>(reports.size()) < options.maxProcesses) {
    const sim::StartedProcess child = pending.front();
    pending.erase(pending.begin());
    if (child.startedAt >= scenario.timeLimitMs) break;
    CarryOver(pressTimes, child.startedAt, child.executable);
    const Text arguments = sim::ArgumentsAfterProgramName(child.commandLine);
    reports.push_back(RunOne(scenario, static_cast<int>(reports.size()) + 1, arguments, child.startedAt,
                             Machine::Get().kernel.processes.size(), 0));
    for (const auto& p : reports.back().started) {
      if (IsProgramCopy(Machine::Get(), p.executable)) pending.push_back(p);
    }
  }
}

}  // namespace

std::vector<ProcessReport> RunScenario(const Scenario& scenario, const RunOptions& options) {
  // The machine shows the program's own texts and dialogs.
  sim::UseProgramResources(res::AsProgramResources());
  std::vector<ProcessReport> reports;
  // Presses are timed on the run's clock; each process's clock starts at 0.
  std::vector<std::uint64_t> pressTimes;
  for (const auto& press : Machine::Get().ui.presses) pressTimes.push_back(press.at);
  const Text modulePath = Machine::Get().kernel.modulePath;
  reports.push_back(
      RunOne(scenario, 1, scenario.commandLine, 0, Machine::Get().kernel.processes.size(), options.killAt));
  const bool killed = reports.back().end == ProcessReport::End::Killed;
  if (options.follow) FollowChildren(scenario, options, pressTimes, reports);

  // The user starts the killed program again, once its chain has ended.
  if (killed && options.restart && static_cast<int>(reports.size()) < options.maxProcesses) {
    const std::uint64_t startedAt = std::max(reports.back().endedAt, reports.front().settledAt);
    CarryOver(pressTimes, startedAt, modulePath);
    reports.push_back(RunOne(scenario, static_cast<int>(reports.size()) + 1, options.restartCommandLine, startedAt,
                             Machine::Get().kernel.processes.size(), 0));
    if (options.follow) FollowChildren(scenario, options, pressTimes, reports);
  }
  return reports;
}

}  // namespace korv::korvsim

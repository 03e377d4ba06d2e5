#include "tools/korvsim/report.h"

#include <cstdio>

#include "common/text_util.h"

namespace korv::korvsim {

namespace {

std::string U8(const Text& text) { return Utf16ToUtf8(text); }

// One line of text as printed: control characters as escapes.
std::string Printable(const Text& text) {
  std::string out;
  for (char16_t c : text) {
    if (c == u'\r') {
      out += "\\r";
    } else if (c == u'\n') {
      out += "\\n";
    } else if (c == u'\t') {
      out += "\\t";
    } else if (c < 0x20) {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\x%02x", static_cast<unsigned>(c));
      out += esc;
    } else {
      out += Utf16ToUtf8(Text(1, c));
    }
  }
  return out;
}

std::string At(std::uint64_t ms) {
  char text[32];
  std::snprintf(text, sizeof text, "[%8llu ms]", static_cast<unsigned long long>(ms));
  return text;
}

void Section(std::ostream& out, const char* title, const std::vector<TimedText>& lines) {
  out << "  " << title << ":";
  if (lines.empty()) {
    out << " none\n";
    return;
  }
  out << "\n";
  for (const auto& l : lines) out << "    " << At(l.at) << " " << Printable(l.text) << "\n";
}

std::string Quote(const Text& text) { return "\"" + Printable(text) + "\""; }

void FileChanges(std::ostream& out, const FileList& before, const sim::Machine& m) {
  std::vector<std::string> added, changed, removed;
  for (const auto& [path, file] : m.kernel.files) {
    auto it = before.find(path);
    if (it == before.end()) {
      added.push_back(U8(path));
    } else if (it->second != file.content) {
      changed.push_back(U8(path));
    }
  }
  for (const auto& [path, content] : before) {
    if (m.kernel.files.count(path) == 0) removed.push_back(U8(path));
  }
  auto list = [&out](const char* title, const std::vector<std::string>& paths) {
    if (paths.empty()) return;
    out << "  files " << title << ":\n";
    for (const auto& p : paths) out << "    " << p << "\n";
  };
  list("added", added);
  list("changed", changed);
  list("removed", removed);
}

void SpoolerSummary(std::ostream& out, const sim::Machine& m) {
  out << "afterwards:\n";
  out << "  print queues:";
  if (m.spooler.queues.empty()) out << " none";
  out << "\n";
  for (const auto& q : m.spooler.queues) {
    out << "    " << Quote(q.info.pPrinterName) << " on " << U8(q.info.pPortName) << ", driver "
        << Quote(q.info.pDriverName) << "\n";
  }
  out << "  printer drivers:";
  if (m.spooler.drivers.empty()) out << " none";
  out << "\n";
  for (const auto& d : m.spooler.drivers) {
    out << "    " << Quote(d.info.pName);
    if (!d.info.pEnvironment.empty()) out << " (" << U8(d.info.pEnvironment) << ")";
    out << " " << U8(d.info.pDriverPath);
    if (!d.info.pMonitorName.empty()) out << ", monitor " << Quote(d.info.pMonitorName);
    out << "\n";
  }
  out << "  print monitors:";
  if (m.spooler.monitors.empty()) out << " none";
  out << "\n";
  for (const auto& mon : m.spooler.monitors) {
    out << "    " << Quote(mon.pName) << " " << U8(mon.pDLLName) << "\n";
  }
  out << "  driver store:";
  if (m.spooler.store.empty()) out << " none";
  out << "\n";
  for (const auto& p : m.spooler.store) out << "    " << U8(p.storedInf) << "\n";
  out << "  ports: ";
  for (std::size_t i = 0; i < m.spooler.ports.size(); ++i) out << (i ? ", " : "") << U8(m.spooler.ports[i]);
  out << "\n";
  for (const auto& [name, s] : m.services.services) {
    static const char* names[] = {"?", "stopped", "start pending", "stop pending", "running", "?", "?", "paused"};
    out << "  service " << U8(name) << ": " << (s.state < 8 ? names[s.state] : "?") << "\n";
  }
  if (!m.kernel.pendingRenames.empty()) {
    out << "  replaced at the next start of Windows:\n";
    for (const auto& r : m.kernel.pendingRenames) {
      out << "    " << U8(r.source) << " -> " << (r.target.empty() ? "(deleted)" : U8(r.target)) << "\n";
    }
  }
  if (!m.shell.recycled.empty()) {
    out << "  moved to the Recycle Bin:\n";
    for (const auto& r : m.shell.recycled) out << "    " << U8(r) << "\n";
  }
}

}  // namespace

FileList FilesOf(const sim::Machine& machine) {
  FileList files;
  for (const auto& [path, file] : machine.kernel.files) files[path] = file.content;
  return files;
}

void PrintReport(std::ostream& out, const std::string& scenarioName, const Scenario& scenario,
                 const std::vector<ProcessReport>& processes, const sim::Machine& finalMachine,
                 const FileList& filesBefore, const ReportOptions& options) {
  out << "korvsim: " << scenarioName << "\n";
  if (!scenario.description.empty()) out << "  " << scenario.description << "\n";
  for (const auto& p : processes) {
    out << "\nprocess " << p.number << ": " << U8(p.modulePath) << ", started at " << p.startedAt << " ms\n";
    out << "  command line: " << (p.commandLine.empty() ? std::string("(empty)") : Printable(p.commandLine))
        << "\n";
    Section(out, "debugger output", p.debugLines);
    Section(out, "window events", p.windowEvents);
    out << "  processes started:";
    if (p.started.empty()) out << " none";
    out << "\n";
    for (const auto& s : p.started) {
      out << "    " << At(s.startedAt) << " pid " << s.processId << ": " << U8(s.executable)
          << ", command line: " << Printable(s.commandLine) << "\n";
    }
    if (options.calls) Section(out, "boundary calls", p.calls);
    switch (p.end) {
      case ProcessReport::End::Returned:
        out << "  ended: exit code " << p.exitCode << " at " << p.endedAt << " ms\n";
        break;
      case ProcessReport::End::TimeLimit:
        out << "  ended from outside at the time limit, " << p.endedAt << " ms\n";
        break;
      case ProcessReport::End::NothingLeft:
        out << "  ended from outside at " << p.endedAt
            << " ms: it waits for something the scenario never makes happen\n";
        break;
    }
  }
  out << "\n";
  SpoolerSummary(out, finalMachine);
  FileChanges(out, filesBefore, finalMachine);
  bool first = true;
  for (const auto& p : finalMachine.ui.presses) {
    if (p.delivered) continue;
    if (first) out << "  presses never made (their dialog was not open):\n";
    first = false;
    out << "    " << p.dialogId << "/" << (p.closeBox ? std::string("close box") : std::to_string(p.controlId)) << "\n";
  }
}

}  // namespace korv::korvsim

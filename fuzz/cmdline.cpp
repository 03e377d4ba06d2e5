// Fuzz target: command-line splitting and run-mode selection.
//
// Three kinds of run, chosen by the first byte:
//
//  - a line of any units goes through CommandLineToArgvW (the simulated
//    shell) and ReadCommandLine: a folder only with -u and never too long
//    for its buffer; the program's arguments (ArgumentsAfterProgramName)
//    must be a tail of the line.
//  - arguments of any units are quoted the usual way for CommandLineToArgvW
//    and joined into a line; splitting it must give them back. This is the
//    contract every child command line relies on.
//  - the uninstaller copy's relaunch: the program, named unins000.exe, runs
//    from a folder (and with a temporary folder) of any permitted name.
//    The child it starts must receive, through the splitting, exactly that
//    folder after "-u", and its program name must be the temporary copy.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/entry_point.h"
#include "common/globals.h"
#include "fuzz_support.h"
#include "platform/shell.h"
#include "platform/sim/machine.h"
#include "platform/sim/scheduler.h"
#include "platform/sim/sim_fixtures.h"
#include "platform/sim/sim_shell.h"

namespace korv::fuzz {
namespace {

void RunLine(std::u16string line) {
  line = line.substr(0, line.find(u'\0'));
  std::vector<Text> tokens;
  const bool split = os::CommandLineToArgvW(line.c_str(), &tokens);
  KORV_FUZZ_CHECK(split, "CommandLineToArgvW refused '%s'", Show(line).c_str());
  KORV_FUZZ_CHECK(!tokens.empty(), "no tokens for '%s'", Show(line).c_str());

  // Splitting only ever drops units: quotes, escaping backslashes, blanks.
  if (!line.empty()) {
    std::size_t units = 0;
    for (const Text& t : tokens) units += t.size();
    KORV_FUZZ_CHECK(units <= line.size(), "%zu units out of a line of %zu", units, line.size());
  }

  const StartOptions options = ReadCommandLine(line.c_str());
  KORV_FUZZ_CHECK(options.uninstall || options.folder.empty(), "a folder without -u");
  KORV_FUZZ_CHECK(!options.uninstall || options.folder.size() < 260, "a folder of %zu units", options.folder.size());

  const Text arguments = sim::ArgumentsAfterProgramName(line);
  KORV_FUZZ_CHECK(arguments.size() <= line.size() &&
                      line.compare(line.size() - arguments.size(), arguments.size(), arguments) == 0,
                  "arguments '%s' are not a tail of '%s'", Show(arguments).c_str(), Show(line).c_str());
}

// The usual quoting for CommandLineToArgvW: quotes around an argument that
// is empty or holds a blank or a quote; a backslash run before a quote, or
// before the closing quote, doubled; every quote inside escaped.
Text Quote(const Text& arg) {
  if (!arg.empty() && arg.find_first_of(u" \t\"") == Text::npos) return arg;
  Text out = u"\"";
  std::size_t backslashes = 0;
  for (char16_t c : arg) {
    if (c == u'\\') {
      ++backslashes;
      out += c;
      continue;
    }
    if (c == u'"') {
      out.append(backslashes + 1, u'\\');
    }
    backslashes = 0;
    out += c;
  }
  out.append(backslashes, u'\\');
  out += u'"';
  return out;
}

void RunQuoted(FuzzedDataProvider& in) {
  // The program name is read without escapes: it cannot hold a quote.
  Text program = CompactUnitsFrom(in.ConsumeRandomLengthString(40));
  std::erase_if(program, [](char16_t c) { return c == u'"' || c == 0; });
  std::vector<Text> args;
  while (in.remaining_bytes() > 0 && args.size() < 8) {
    Text arg = CompactUnitsFrom(in.ConsumeRandomLengthString(60));
    std::erase(arg, u'\0');
    args.push_back(arg);
  }
  Text line = u"\"" + program + u"\"";
  for (const Text& a : args) line += u" " + Quote(a);

  const std::vector<Text> tokens = sim::SplitCommandLine(line);
  std::vector<Text> expected{program};
  expected.insert(expected.end(), args.begin(), args.end());
  KORV_FUZZ_CHECK(tokens == expected, "'%s' gave %zu tokens for %zu arguments", Show(line).c_str(),
                  tokens.size() - 1, args.size());

  // The program reads an uninstall folder quoted so whole, or refuses it
  // when it does not fit.
  const Text folder = program + u"\\";
  const StartOptions options = ReadCommandLine((u"-u " + Quote(folder)).c_str());
  KORV_FUZZ_CHECK(options.uninstall == (folder.size() < 260) && (!options.uninstall || options.folder == folder),
                  "folder '%s' read as '%s'", Show(folder).c_str(), Show(options.folder.view()).c_str());
}

// A path component of units Windows allows in file names (no control
// characters, no quote) and no separator.
Text PathComponent(FuzzedDataProvider& in, std::size_t maxBytes) {
  Text part = CompactUnitsFrom(in.ConsumeRandomLengthString(maxBytes));
  std::erase_if(part, [](char16_t c) { return c < 0x20 || c == u'"' || c == u'\\' || c == u'/'; });
  return part.empty() ? Text(u"x") : part;
}

void RunRelaunch(FuzzedDataProvider& in) {
  sim::Machine& machine = sim::Machine::Get();
  Text folder = u"C:\\";
  while (in.remaining_bytes() > 0 && folder.size() < 300 && in.ConsumeBool()) {
    folder += PathComponent(in, 80) + u"\\";
  }
  Text temp = u"C:\\";
  while (in.remaining_bytes() > 0 && temp.size() < 300 && in.ConsumeBool()) {
    temp += PathComponent(in, 80) + u"\\";
  }
  const Text modulePath = folder + u"unins000.exe";
  machine.kernel.modulePath = modulePath;
  machine.kernel.files[modulePath] = sim::SimFile{"program", false};
  machine.kernel.tempFolder = temp;
  machine.kernel.folders.insert(temp.substr(0, temp.size() - 1));
  sim::SetUpWindowsFolders(machine);
  // A program path too long for its buffer is no path: the program then
  // opens the installer window, which only the time limit ends.
  machine.clock.SetTimeLimit(5000);

  bool ended = true;
  try {
    RunProgram(os::CurrentInstance(), u"");
  } catch (const sim::ProcessEnded&) {
    ended = false;
  }

  const auto& started = machine.kernel.processes;
  if (modulePath.size() >= 260) {
    // No path: no folder to hand on, and nothing to relaunch from.
    KORV_FUZZ_CHECK(started.empty(), "relaunched with a module path of %zu units", modulePath.size());
    return;
  }
  KORV_FUZZ_CHECK(ended, "the relaunch from '%s' did not end", Show(modulePath).c_str());
  KORV_FUZZ_CHECK(InstallDir == folder, "InstallDir '%s' for program '%s'", Show(InstallDir.view()).c_str(),
                  Show(modulePath).c_str());
  // The temporary copy is <temp>uniXXXX.tmp; only a temporary folder too
  // long for it (or for its own 256-unit buffer) stops the relaunch.
  const bool tempFits = temp.size() + 11 < 260;
  KORV_FUZZ_CHECK(started.empty() != tempFits, "%zu processes started with temporary folder '%s'",
                  started.size(), Show(temp).c_str());
  if (started.empty()) return;
  KORV_FUZZ_CHECK(started.size() == 1, "%zu processes started", started.size());
  const Text& line = started[0].commandLine;
  const std::vector<Text> tokens = sim::SplitCommandLine(line);
  KORV_FUZZ_CHECK(tokens.size() == 3 && tokens[0].starts_with(temp) && tokens[1] == u"-u" &&
                      tokens[2] == folder,
                  "child line '%s' splits into %zu tokens", Show(line).c_str(), tokens.size());
  const StartOptions child = ReadCommandLine(sim::ArgumentsAfterProgramName(line).c_str());
  KORV_FUZZ_CHECK(child.uninstall && child.folder == folder, "the child gets folder '%s' for '%s'",
                  Show(child.folder.view()).c_str(), Show(folder).c_str());
}

}  // namespace
}  // namespace korv::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace korv;
  if (size == 0) return 0;
  FuzzedDataProvider in(data + 1, size - 1);
  switch (data[0] % 4) {
    case 0:
      fuzz::RunLine(fuzz::CompactUnitsFrom(in.ConsumeRemainingBytesAsString()));
      break;
    case 1:
      fuzz::RunLine(fuzz::UnitsFrom(in.ConsumeRemainingBytesAsString()));
      break;
    case 2:
      fuzz::RunQuoted(in);
      break;
    default:
      fuzz::RunRelaunch(in);
      break;
  }
  fuzz::EndInput();
  return 0;
}

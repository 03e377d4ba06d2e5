// Fuzz target: command lines of any units, quoted arguments split back whole, the uninstaller copy's relaunch.
#include "app/command_line.h"
#include "app/entry_point.h"
#include "fuzz_support.h"
#include "platform/shell.h"
#include "platform/sim/scheduler.h"
#include "platform/sim/sim_fixtures.h"
#include "platform/sim/sim_shell.h"

namespace korv::fuzz {

void RunLine(std::u16string line) {
  line = line.substr(0, line.find(u'\0'));
  std::vector<Text> tokens;
  KORV_FUZZ_CHECK(os::CommandLineToArgvW(line.c_str(), &tokens) && !tokens.empty(), "'%s' not split", Show(line).c_str());
  const StartOptions options = ReadCommandLine(line.c_str());
  KORV_FUZZ_CHECK(options.uninstall ? options.folder.size() < 260 : options.folder.empty(), "folder of %zu units", options.folder.size());
  const Text arguments = sim::ArgumentsAfterProgramName(line);
  KORV_FUZZ_CHECK(line.ends_with(arguments), "'%s' is not a tail of '%s'", Show(arguments).c_str(), Show(line).c_str());
}

// Quotes around an argument that is empty or holds a blank or a quote;
// backslashes before a quote or the closing quote doubled; quotes escaped.
Text Quote(const Text& arg) {
  if (!arg.empty() && arg.find_first_of(u" \t\"") == Text::npos) return arg;
  Text out = u"\"";
  std::size_t backslashes = 0;
  for (char16_t c : arg) {
    if (c == u'"') out.append(backslashes + 1, u'\\');
    backslashes = c == u'\\' ? backslashes + 1 : 0;
    out += c;
  }
  return out.append(backslashes, u'\\') + u"\"";
}

void RunQuoted(FuzzedDataProvider& in) {
  Text program = TextFrom(in, 40);
  std::erase(program, u'"');  // the program name is read without escapes
  std::vector<Text> args{program};
  Text line = u"\"" + program + u"\"";
  while (in.remaining_bytes() > 0 && args.size() < 9) {
    args.push_back(TextFrom(in, 60));
    line += u" " + Quote(args.back());
  }
  KORV_FUZZ_CHECK(sim::SplitCommandLine(line) == args, "'%s' split otherwise", Show(line).c_str());
  const Text folder = program + u"\\";
  const StartOptions options = ReadCommandLine((u"-u " + Quote(folder)).c_str());
  KORV_FUZZ_CHECK(options.uninstall == (folder.size() < 260) && (!options.uninstall || options.folder == folder),
                  "folder '%s' read as '%s'", Show(folder).c_str(), Show(options.folder.view()).c_str());
}

// C:\ and components of units allowed in file names.
Text Folder(FuzzedDataProvider& in) {
  Text folder = u"C:\\";
  while (in.remaining_bytes() > 0 && folder.size() < 300 && in.ConsumeBool()) {
    Text part = CompactUnitsFrom(in.ConsumeRandomLengthString(80));
    std::erase_if(part, [](char16_t c) { return c < 0x20 || c == u'"' || c == u'\\' || c == u'/'; });
    folder += (part.empty() ? Text(u"x") : part) + u"\\";
  }
  return folder;
}

void RunRelaunch(FuzzedDataProvider& in) {
  sim::Machine& machine = sim::Machine::Get();
  const Text folder = Folder(in), temp = Folder(in), modulePath = folder + u"unins000.exe";
  machine.kernel.modulePath = modulePath;
  machine.kernel.files[modulePath] = sim::SimFile{"program", false};
  machine.kernel.tempFolder = temp;
  machine.kernel.folders.insert(temp.substr(0, temp.size() - 1));
  sim::SetUpWindowsFolders(machine);
  machine.clock.SetTimeLimit(5000);  // a path too long is none: the window opens and waits
  bool ended = true;
  try {
    RunProgram(os::CurrentInstance(), u"");
  } catch (const sim::ProcessEnded&) { ended = false; }
  const auto& started = machine.kernel.processes;
  KORV_FUZZ_CHECK(modulePath.size() < 260 || started.empty(), "relaunched from a path of %zu units", modulePath.size());
  if (modulePath.size() >= 260) return;
  KORV_FUZZ_CHECK(ended && InstallDir == folder, "'%s' ended %d in '%s'", Show(modulePath).c_str(), ended, Show(InstallDir.view()).c_str());
  // The copy is <temp>uniXXXX.tmp: only a temporary folder too long for it stops the relaunch.
  KORV_FUZZ_CHECK(started.size() == (temp.size() + 11 < 260 ? 1u : 0u), "%zu processes from '%s'", started.size(), Show(temp).c_str());
  if (started.empty()) return;
  const Text& line = started[0].commandLine;
  const std::vector<Text> tokens = sim::SplitCommandLine(line);
  const StartOptions child = ReadCommandLine(sim::ArgumentsAfterProgramName(line).c_str());
  KORV_FUZZ_CHECK(tokens.size() == 3 && tokens[0].starts_with(temp) && tokens[1] == u"-u" && tokens[2] == folder &&
                      child.uninstall && child.folder == folder, "child line '%s'", Show(line).c_str());
}

void Run(FuzzedDataProvider& in) {
  const int choice = in.ConsumeIntegral<std::uint8_t>() % 4;  // the input's last byte
  if (choice < 2) RunLine(choice == 0 ? CompactUnitsFrom(in.ConsumeRemainingBytesAsString()) : UnitsFrom(in.ConsumeRemainingBytesAsString()));
  choice == 2 ? RunQuoted(in) : choice == 3 ? RunRelaunch(in) : void();
}

}  // namespace korv::fuzz

KORV_FUZZ_TARGET(korv::fuzz::Run)

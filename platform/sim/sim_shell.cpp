// Command-line splitting on the simulated machine, with the rules of the
// shell's CommandLineToArgvW. The relaunch of the uninstaller copy and the
// hand-off depend on exactly these rules, so they are followed to the letter:
//
// The first token is read as a program name, without any escapes:
//  - starting with a quote, it runs to the next quote (or the end of the
//    line); that closing quote is dropped and the next token may start right
//    after it, blank or not;
//  - otherwise it runs to the first blank (space or tab), quotes included;
//    that blank is dropped. A line that starts with a blank therefore gives
//    an empty first token.
// Blanks after it are skipped; the rest of the line is split into arguments:
//  - a blank outside a quoted part ends the argument; runs of blanks count
//    as one, and blanks at the end of the line start no argument;
//  - 2n backslashes followed by a quote give n backslashes, and the quote
//    opens or closes a quoted part; 2n+1 backslashes followed by a quote give
//    n backslashes and a literal quote; backslashes before anything else
//    stay as they are;
//  - a run of quotes (counting the quote that opened the part, if any):
//    every third quote of the run gives a literal quote; when the count
//    left over is 1 the part is open afterwards, else it is closed. So a
//    doubled quote inside a quoted part gives one literal quote and closes
//    the part (as the Microsoft C runtime did before 2008; its later
//    versions keep the part open, CommandLineToArgvW does not);
//  - a quoted part left open runs to the end of the line.
// An empty line gives one token: the path of the running executable.
//
// The program-name rule matters here because the program's entry point gets
// its command line without the program name, so its first option is read by
// that rule: an unquoted first option ends at the first blank, and a quoted
// one at the next quote, backslashes and all.
#include "platform/sim/sim_shell.h"

#include "platform/shell.h"
#include "platform/sim/machine.h"

namespace korv::sim {

namespace {

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

}  // namespace

std::vector<Text> SplitCommandLine(std::u16string_view line) {
  std::vector<Text> tokens;
  std::size_t i = 0;
  const std::size_t n = line.size();

  // The program name.
  Text first;
  if (n > 0 && line[0] == u'"') {
    for (i = 1; i < n && line[i] != u'"'; ++i) first += line[i];
    if (i < n) ++i;  // the closing quote
  } else {
    for (; i < n && !IsBlank(line[i]); ++i) first += line[i];
    if (i < n) ++i;  // the blank that ended it
  }
  tokens.push_back(first);
  while (i < n && IsBlank(line[i])) ++i;
  if (i == n) return tokens;

  Text arg;
  int quotes = 0;  // 1 while inside a quoted part
  std::size_t backslashes = 0;
  while (i < n) {
    const char16_t c = line[i];
    if (IsBlank(c) && quotes == 0) {
      tokens.push_back(arg);
      arg.clear();
      backslashes = 0;
      while (i < n && IsBlank(line[i])) ++i;
      if (i == n) return tokens;
      continue;
    }
    if (c == u'\\') {
      arg += c;
      ++backslashes;
      ++i;
      continue;
    }
    if (c == u'"') {
      if (backslashes % 2 == 0) {
        arg.resize(arg.size() - backslashes / 2);
        ++quotes;
      } else {
        arg.resize(arg.size() - backslashes / 2 - 1);
        arg += u'"';
      }
      backslashes = 0;
      ++i;
      for (; i < n && line[i] == u'"'; ++i) {
        if (++quotes == 3) {
          arg += u'"';
          quotes = 0;
        }
      }
      if (quotes == 2) quotes = 0;
      continue;
    }
    arg += c;
    backslashes = 0;
    ++i;
  }
  tokens.push_back(arg);
  return tokens;
}

Text ArgumentsAfterProgramName(std::u16string_view commandLine) {
  std::size_t i = 0;
  bool quoted = false;
  while (i < commandLine.size() && (commandLine[i] > u' ' || quoted)) {
    if (commandLine[i] == u'"') quoted = !quoted;
    ++i;
  }
  while (i < commandLine.size() && commandLine[i] <= u' ') ++i;
  return Text(commandLine.substr(i));
}

}  // namespace korv::sim

namespace korv::os {

bool CommandLineToArgvW(const char16_t* commandLine, std::vector<Text>* arguments) {
  Text line = commandLine != nullptr ? Text(commandLine) : Text();
  if (sim::Machine::Get().Enter("CommandLineToArgvW", line)) return false;
  if (commandLine == nullptr) {
    sim::ThreadLastError() = err::InvalidParameter;
    return false;
  }
  if (line.empty()) {
    const Text& module = sim::Machine::Get().kernel.modulePath;
    if (module.empty()) {
      sim::ThreadLastError() = err::FileNotFound;
      return false;
    }
    *arguments = {module};
    return true;
  }
  *arguments = sim::SplitCommandLine(line);
  return true;
}

}  // namespace korv::os

// Command-line splitting on the simulated machine, as CommandLineToArgvW
// does it, on the lines the entry point and its children meet: the program
// name rule for the first token, backslashes before quotes, runs of quotes,
// unterminated quotes, blanks; and what a started program's entry point
// receives of its command line.
#include <string>
#include <vector>

#include "platform/shell.h"
#include "platform/sim/sim_shell.h"
#include "sim_fixture.h"

namespace korv::test {
namespace {

class CommandLineSplitting : public SimTest {};

struct Line {
  const char16_t* line;
  std::vector<Text> tokens;
};

TEST_F(CommandLineSplitting, TrickyLines) {
  const Line lines[] = {
      // First token: a program name, no escapes.
      {u"C:\\dir\\\"x\" y", {u"C:\\dir\\\"x\"", u"y"}},
      {u"\"C:\\dir\\\" y", {u"C:\\dir\\", u"y"}},
      {u"\"C:\\a b\\\"-u", {u"C:\\a b\\", u"-u"}},
      {u"-u\t\"C:\\x\\", {u"-u", u"C:\\x\\"}},
      {u" -u x", {u"", u"-u", u"x"}},
      {u"\"", {u""}},
      // Backslashes before a quote: 2n give n and a delimiter, 2n+1 give n
      // and a literal quote; elsewhere they stay.
      {u"x \\\\\\\\\"a b\"", {u"x", u"\\\\a b"}},
      {u"x \\\\\\\\\\\"a b", {u"x", u"\\\\\"a", u"b"}},
      {u"x \\\\a\\\\", {u"x", u"\\\\a\\\\"}},
      {u"x \"C:\\Korvane\\\"", {u"x", u"C:\\Korvane\""}},
      {u"x \"C:\\Korvane\\\\\"", {u"x", u"C:\\Korvane\\"}},
      // Runs of quotes inside a quoted part: each third gives a literal
      // quote; 1 left over leaves the part open.
      {u"x \"a\"\"b c\"", {u"x", u"a\"b", u"c"}},
      {u"x \"a\"\"\"b c\"", {u"x", u"a\"b c"}},
      {u"x \"a\"\"\"\"b c", {u"x", u"a\"b", u"c"}},
      {u"x \"\"\"\"\"\" y", {u"x", u"\"\"", u"y"}},
      {u"x \"\"\"\"\"\"\" y", {u"x", u"\"\" y"}},
      // Unterminated quotes run to the end; blanks at the end start nothing.
      {u"x \"a  b", {u"x", u"a  b"}},
      {u"x a  \t ", {u"x", u"a"}},
      {u"x \"\"", {u"x", u""}},
  };
  for (const Line& l : lines) {
    std::vector<Text> tokens;
    ASSERT_TRUE(os::CommandLineToArgvW(l.line, &tokens)) << U8(l.line);
    EXPECT_EQ(tokens, l.tokens) << U8(l.line);
  }
}

TEST_F(CommandLineSplitting, EmptyLineGivesTheProgramPath) {
  M().kernel.modulePath = u"C:\\Korvane\\unins000.exe";
  std::vector<Text> tokens;
  ASSERT_TRUE(os::CommandLineToArgvW(u"", &tokens));
  EXPECT_EQ(tokens, (std::vector<Text>{u"C:\\Korvane\\unins000.exe"}));
  // A blank is not an empty line.
  ASSERT_TRUE(os::CommandLineToArgvW(u" ", &tokens));
  EXPECT_EQ(tokens, (std::vector<Text>{u""}));
}

TEST_F(CommandLineSplitting, StartedProgramReceivesTheLineWithoutItsName) {
  EXPECT_EQ(sim::ArgumentsAfterProgramName(u"\"C:\\a b\\t.tmp\" -u \"C:\\K\\"), u"-u \"C:\\K\\");
  EXPECT_EQ(sim::ArgumentsAfterProgramName(u"rundll32.exe printui.dll x"), u"printui.dll x");
  EXPECT_EQ(sim::ArgumentsAfterProgramName(u"a\"b c\"d  e"), u"e");
  EXPECT_EQ(sim::ArgumentsAfterProgramName(u"\"C:\\K\\unins000.exe\""), u"");
}

}  // namespace
}  // namespace korv::test

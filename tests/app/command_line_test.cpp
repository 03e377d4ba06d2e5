// The two command-line options as the program reads them from the line the
// system splits (CommandLineToArgvW's rules for quotes and backslashes).
#include "app/command_line.h"

#include "sim_fixture.h"

namespace korv::test {
namespace {

class CommandLine : public SimTest {};

std::string Read(const char16_t* line) {
  const StartOptions o = ReadCommandLine(line);
  return (o.uninstall ? "-u " + U8(o.folder.view()) : "") + (o.silent ? " /silence" : "");
}

TEST_F(CommandLine, OptionsAreReadFromTheSplitLine) {
  const std::pair<Text, std::string> cases[] = {
      {u"", ""}, {u"/silence", " /silence"}, {u"x /SiLeNcE y", " /silence"}, {u"-silence", ""},
      {u"/silence2", ""}, {u"-u C:\\Old", "-u C:\\Old"}, {u"-U C:\\Old\\", "-u C:\\Old\\"}, {u"/u C:\\Old", ""},
      {u"-u", ""}, {u"/silence -u", " /silence"}, {u"-u C:\\A -u C:\\B", "-u C:\\B"}, {u"-u -u C:\\B", "-u -u"},
      {u"-u C:\\A /silence", "-u C:\\A /silence"},
      // The relaunch's unterminated quote keeps the trailing backslash; a
      // closing quote after it would be a literal quote.
      {u"\"-u\" \"C:\\Program Files\\K\\", "-u C:\\Program Files\\K\\"},
      {u"-u \"C:\\K\\\"", "-u C:\\K\""}, {u"-u \"C:\\K\\\\\" /silence", "-u C:\\K\\ /silence"},
      {u"-u \"a\"\"b c\"", "-u a\"b"}, {u"-u \"a\"\"\"b c\"", "-u a\"b c"},
      // A folder of 260 units does not fit InstallDir: that -u is ignored.
      {u"-u C:\\a -u C:\\" + Text(257, u'd'), "-u C:\\a"}};
  for (const auto& [line, options] : cases) EXPECT_EQ(Read(line.c_str()), options) << U8(line);
  Given(R"({"machine":{"faults":[{"operation":"CommandLineToArgvW","error":8}]}})");
  EXPECT_EQ(Read(u"-u C:\\Old /silence"), "");
}

}  // namespace
}  // namespace korv::test

// The trace on the simulated debugger output channel: which lines reach it,
// each followed by its own "\n", and which are dropped whole.
#include "common/trace.h"

#include "common/strsafe.h"
#include "sim_fixture.h"

namespace korv::test {
namespace {

class Trace : public SimTest {};

TEST_F(Trace, LinesReachTheDebuggerWholeOrNotAtAll) {
  const std::string format255(255, 'f'), format256(256, 'f');
  const Text line765(765, u'x'), line767(767, u'x');
  // line: empty when nothing is written
  struct Case { const char* format; const char16_t* argument; int number; Text line; };
  const Case cases[] = {
      {"AddPrinter %ws failed, errcode:%d.", u"Korvane K80", 1801, u"AddPrinter Korvane K80 failed, errcode:1801."},
      {"Upload, %ws, code:%d.", u"", E_INVALIDARG, u"Upload, , code:-2147024809."},
      {"Caf\xE9 %ws%d", u"\u00FCber", 1, u"Caf\u00E9 \u00FCber1"},  // the format is in code page 1252
      {format255.c_str(), nullptr, 0, Text(255, u'f')}, {format256.c_str(), nullptr, 0, u""},
      {nullptr, nullptr, 0, u""},
      {"%ws!%d", line765.c_str(), 0, line765 + u"!0"},  {"%ws%d", line767.c_str(), 0, u""},
      {"Copy %q %ws", u"never", 0, u""},                {"ends with %", nullptr, 0, u""},
  };
  for (const Case& c : cases) {
    M().kernel.debugOutput.clear();
    c.argument != nullptr ? trace(c.format, c.argument, c.number) : trace(c.format);
    EXPECT_EQ(M().kernel.debugOutput, c.line.empty() ? std::vector<Text>{} : (std::vector<Text>{c.line, u"\n"}))
        << (c.format != nullptr ? std::string(c.format).substr(0, 20) : "null");
  }
  Given(R"({"machine":{"faults":[{"operation":"MultiByteToWideChar","error":87}]}})");
  trace("plain text");
  EXPECT_TRUE(M().kernel.debugOutput.empty());
}

}  // namespace
}  // namespace korv::test

// The trace on the simulated debugger output channel: which lines reach it,
// and that each is followed by its own "\n".
#include "common/trace.h"

#include <string>
#include <vector>

#include "common/strsafe.h"
#include "sim_fixture.h"

namespace korv {
namespace {

class TraceTest : public test::SimTest {
 protected:
  const std::vector<Text>& Output() { return M().kernel.debugOutput; }
};

TEST_F(TraceTest, EachLineIsFollowedByALineFeed) {
  trace("AddPrinter %ws failed, errcode:%d.", u"Korvane K80", 1801);
  trace("DoUploadDriverPackage, %ws, code:%d.", u"", E_INVALIDARG);
  EXPECT_EQ(Output(), (std::vector<Text>{u"AddPrinter Korvane K80 failed, errcode:1801.", u"\n",
                                         u"DoUploadDriverPackage, , code:-2147024809.", u"\n"}));
}

TEST_F(TraceTest, FormatLongerThan255IsDropped) {
  const std::string fits(255, 'f');
  trace(fits.c_str());
  EXPECT_EQ(Output(), (std::vector<Text>{Text(255, u'f'), u"\n"}));

  const std::string tooLong(256, 'f');
  trace(tooLong.c_str());
  trace(nullptr);
  EXPECT_EQ(Output().size(), 2u);
}

TEST_F(TraceTest, LineLongerThan767IsDroppedWhole) {
  const Text fits(766, u'x');
  trace("%ws!", fits.c_str());
  ASSERT_EQ(Output().size(), 2u);
  EXPECT_EQ(Output()[0], fits + u"!");

  const Text tooLong(767, u'x');
  trace("%ws!", tooLong.c_str());
  trace("%ws", (tooLong + tooLong).c_str());
  EXPECT_EQ(Output().size(), 2u);
}

TEST_F(TraceTest, BadFormatsAndConversionFailuresWriteNothing) {
  trace("Copy %q %ws", u"never");
  trace("ends with %");
  M().faults.Set("MultiByteToWideChar", sim::FaultRule{});
  trace("plain text");
  EXPECT_TRUE(Output().empty());
}

TEST_F(TraceTest, FormatIsReadInTheAnsiCodePage) {
  trace("Caf\xE9 %ws", u"\u00FCber");  // 0xE9 is e-acute in code page 1252
  ASSERT_FALSE(Output().empty());
  EXPECT_EQ(Output()[0], u"Caf\u00E9 \u00FCber");
}

}  // namespace
}  // namespace korv

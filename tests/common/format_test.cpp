// The directives of the formatting engine, where it cuts a text, and where
// it stops at a directive it does not know.
#include "common/format.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace korv {
namespace {

struct Formatted {
  std::u16string text;
  FormatStatus status;
};

// Formats into a room followed by a guard unit that must stay untouched.
Formatted Format(std::size_t room, const char16_t* format, ...) {
  std::u16string buffer(room + 1, u'#');
  va_list args;
  va_start(args, format);
  const FormatResult r = FormatText(buffer.data(), room, format, args);
  va_end(args);
  EXPECT_EQ(buffer[room], u'#') << "wrote past the room";
  return {buffer.substr(0, r.length), r.status};
}

constexpr auto kDone = FormatStatus::Complete, kCut = FormatStatus::Truncated, kBad = FormatStatus::BadFormat;

TEST(FormatText, DirectivesBoundsAndUnknownDirectives) {
  // number: the argument of a number directive; string: that of a string
  // directive (passed after the number).
  struct Case {
    std::size_t room;
    const char16_t* format;
    int number;
    const char16_t *string, *text;
    FormatStatus status;
  };
  const char16_t abc[3] = {u'a', u'b', u'c'};  // unterminated: read only within the precision
  const Case cases[] = {
      {64, u"%.3d", 1, nullptr, u"001", kDone}, {64, u"%.3d", 1234, nullptr, u"1234", kDone},
      {64, u"%.3d", -5, nullptr, u"-005", kDone}, {64, u"%04x", 0x5, nullptr, u"0005", kDone},
      {64, u"%04x", 0x12345, nullptr, u"12345", kDone}, {64, u"%X", 0xBE0F, nullptr, u"BE0F", kDone},
      {64, u"%x", -1, nullptr, u"ffffffff", kDone}, {64, u"%u", -1, nullptr, u"4294967295", kDone},
      {64, u"%d", INT_MIN, nullptr, u"-2147483648", kDone}, {64, u"%i", 0, nullptr, u"0", kDone},
      {64, u"%5d", -42, nullptr, u"  -42", kDone}, {64, u"%-5d|", 42, nullptr, u"42   |", kDone},
      {64, u"%05d", -42, nullptr, u"-0042", kDone}, {64, u"%-05d|", 4, nullptr, u"4    |", kDone},
      {64, u"%06.3d", 7, nullptr, u"   007", kDone}, {64, u"%.0d", 0, nullptr, u"", kDone},
      {64, u"%.d", 0, nullptr, u"", kDone}, {64, u"[%c]", u'K', nullptr, u"[K]", kDone},
      {64, u"%d<%ws>", 1, u"Korvane", u"1<Korvane>", kDone}, {64, u"%d<%s>", 1, u"K", u"1<K>", kDone},
      {64, u"%d<%ls>", 1, u"K", u"1<K>", kDone}, {64, u"%d<%.3ws>", 1, u"Korvane", u"1<Kor>", kDone},
      {64, u"%d<%9ws>", 1, u"Korvane", u"1<  Korvane>", kDone}, {64, u"%d<%-9ws>", 1, u"Kor", u"1<Kor      >", kDone},
      {64, u"%d<%ws>", 1, nullptr, u"1<(null)>", kDone}, {64, u"%d<%.3ws>", 1, nullptr, u"1<(nu>", kDone},
      {64, u"%d%%<%ws>", 100, u"", u"100%<>", kDone}, {64, u"%d[%.ws]", 7, u"abc", u"7[]", kDone},
      {64, u"%d%.3ws", 0, abc, u"0abc", kDone},
      // The room is filled exactly, or cut.
      {10, u"USB00%d", 12345, nullptr, u"USB0012345", kDone}, {10, u"USB00%d!", 12345, nullptr, u"USB0012345", kCut},
      {10, u"%.11d", 5, nullptr, u"0000000000", kCut}, {10, u"%-11d", 5, nullptr, u"5         ", kCut},
      {16, u"%2147483647d", 1, nullptr, u"                ", kCut}, {3, u"%d%ws", 1, u"abc", u"1ab", kCut},
      {0, u"x", 0, nullptr, u"", kCut},
      // Unknown: the text before stays, nothing after is read.
      {32, u"ab%q%ws", 0, nullptr, u"ab", kBad}, {32, u"ab%", 0, nullptr, u"ab", kBad},
      {32, u"ab%+d", 0, nullptr, u"ab", kBad}, {32, u"ab%hs", 0, nullptr, u"ab", kBad},
      {32, u"ab%lld", 0, nullptr, u"ab", kBad}, {32, u"ab%wd", 0, nullptr, u"ab", kBad},
      {32, u"ab%*d", 0, nullptr, u"ab", kBad}, {32, u"ab%S", 0, nullptr, u"ab", kBad},
      {32, u"ab%5%", 0, nullptr, u"ab", kBad}, {32, u"ab%2147483648d", 0, nullptr, u"ab", kBad},
      {32, u"ab%.2147483648ws", 0, nullptr, u"ab", kBad}, {32, u"ab%f", 0, nullptr, u"ab", kBad},
      {32, nullptr, 0, nullptr, u"", kBad},
  };
  for (const Case& c : cases) {
    const std::u16string format = c.format != nullptr ? c.format : u"(none)";
    SCOPED_TRACE(testing::PrintToString(format));
    const bool takesString = format.find(u's') != std::u16string::npos && format.find(u'%') < format.rfind(u's');
    const Formatted r = takesString ? Format(c.room, c.format, c.number, c.string) : Format(c.room, c.format, c.number);
    EXPECT_EQ(r.text, c.text);
    EXPECT_EQ(r.status, c.status);
  }
}

}  // namespace
}  // namespace korv

// The directives of the formatting engine, and what it does with the ones it
// does not know.
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

Formatted Format(std::size_t room, const char16_t* format, ...) {
  std::u16string buffer(room + 1, u'#');
  va_list args;
  va_start(args, format);
  const FormatResult r = FormatText(buffer.data(), room, format, args);
  va_end(args);
  EXPECT_LE(r.length, room);
  EXPECT_EQ(buffer[room], u'#') << "wrote past the room";
  return {buffer.substr(0, r.length), r.status};
}

std::u16string FormatInt(const char16_t* format, int value) {
  return Format(64, format, value).text;
}

TEST(FormatText, Integers) {
  struct Case {
    const char16_t* format;
    int value;
    const char16_t* expected;
  };
  const Case cases[] = {
      {u"%.3d", 1, u"001"},          {u"%.3d", 42, u"042"},
      {u"%.3d", 1234, u"1234"},      {u"%.3d", -5, u"-005"},
      {u"%04x", 0x4c44, u"4c44"},    {u"%04x", 0x5, u"0005"},
      {u"%04x", 0x12345, u"12345"},  {u"%X", 0xBEEF, u"BEEF"},
      {u"%x", -1, u"ffffffff"},      {u"%u", -1, u"4294967295"},
      {u"%d", INT_MIN, u"-2147483648"}, {u"%i", 0, u"0"},
      {u"%5d", -42, u"  -42"},       {u"%-5d|", 42, u"42   |"},
      {u"%05d", -42, u"-0042"},      {u"%06.3d", 7, u"   007"},
      {u"%.0d", 0, u""},             {u"[%c]", u'K', u"[K]"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FormatInt(c.format, c.value), c.expected) << "format " << testing::PrintToString(std::u16string(c.format));
  }
}

TEST(FormatText, Strings) {
  struct Case {
    const char16_t* format;
    const char16_t* value;
    const char16_t* expected;
  };
  const Case cases[] = {
      {u"<%ws>", u"Korvane", u"<Korvane>"}, {u"<%s>", u"Korvane", u"<Korvane>"},
      {u"<%ls>", u"Korvane", u"<Korvane>"}, {u"<%.3ws>", u"Korvane", u"<Kor>"},
      {u"<%.32ws>", u"Korvane", u"<Korvane>"}, {u"<%9ws>", u"Korvane", u"<  Korvane>"},
      {u"<%-9ws>", u"Korvane", u"<Korvane  >"}, {u"<%ws>", nullptr, u"<(null)>"},
      {u"<%.3ws>", nullptr, u"<(nu>"},      {u"100%%<%ws>", u"", u"100%<>"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Format(64, c.format, c.value).text, c.expected) << "format " << testing::PrintToString(std::u16string(c.format));
  }
  // With a precision the text need not be terminated: nothing past it is read.
  const char16_t unterminated[3] = {u'a', u'b', u'c'};
  EXPECT_EQ(Format(64, u"%.3ws", unterminated).text, u"abc");
}

TEST(FormatText, ReportsWhetherTheWholeTextFit) {
  const Formatted exact = Format(10, u"%ws%d", u"USB00", 12345);
  EXPECT_EQ(exact.status, FormatStatus::Complete);
  EXPECT_EQ(exact.text, u"USB0012345");

  const Formatted overs[] = {Format(10, u"USB00%d!", 12345), Format(10, u"%ws%d%ws", u"USB00", 12345, u"!"),
                             Format(10, u"%.11d", 5), Format(10, u"%-11d", 5)};
  for (const Formatted& over : overs) {
    EXPECT_EQ(over.status, FormatStatus::Truncated) << testing::PrintToString(over.text);
    EXPECT_EQ(over.text.size(), 10u);
  }
  // A huge but valid width is cut at the room, not written out.
  const Formatted wide = Format(16, u"%2147483647d", 1);
  EXPECT_EQ(wide.status, FormatStatus::Truncated);
  EXPECT_EQ(wide.text, std::u16string(16, u' '));
}

TEST(FormatText, StopsAtAnUnknownDirective) {
  // The text before the directive stays; the directive and everything after
  // it, including the string argument, is left alone.
  for (const char16_t* format : {u"ab%q%ws", u"ab%", u"ab%+d%ws", u"ab%hs%ws", u"ab%lld%ws",
                                 u"ab%wd%ws", u"ab%*d%ws", u"ab%S%ws", u"ab%5%%ws",
                                 u"ab%2147483648d%ws", u"ab%99999999999d%ws", u"ab%.99999999999ws"}) {
    const Formatted r = Format(32, format, u"never");
    EXPECT_EQ(r.status, FormatStatus::BadFormat) << testing::PrintToString(std::u16string(format));
    EXPECT_EQ(r.text, u"ab") << testing::PrintToString(std::u16string(format));
  }
  EXPECT_EQ(Format(32, nullptr).status, FormatStatus::BadFormat);

  // A lone '.' is precision 0: the argument is consumed, nothing is printed.
  const Formatted empty = Format(32, u"[%.ws]%d", u"abc", 7);
  EXPECT_EQ(empty.status, FormatStatus::Complete);
  EXPECT_EQ(empty.text, u"[]7");
}

}  // namespace
}  // namespace korv

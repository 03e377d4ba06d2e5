// Bounds of the safe string functions and the formatter: where text is cut and
// terminated, which result says so, and that nothing is written past the size given.
#include "common/strsafe.h"

#include <gtest/gtest.h>

#include <string>

namespace korv {
namespace {

enum Function { kPrintf, kWsprintf };

TEST(SafeStrings, FormattersCutAtTheirBoundAndTerminate) {
  // argument: units of the text "%ws" receives; result: the HRESULT, or the
  // units wsprintfW wrote; kept: units before the terminator (-1: untouched).
  struct Case {
    Function function;
    std::size_t cch;
    const char16_t* format;
    std::size_t argument;
    long long result, kept;
  };
  constexpr long long kUntouched = -1, kCut = STRSAFE_E_INSUFFICIENT_BUFFER;
  const Case cases[] = {
      {kPrintf, 11, u"%ws", 10, S_OK, 10}, {kPrintf, 12, u"%ws", 10, S_OK, 10},
      {kPrintf, 10, u"%ws", 10, kCut, 9}, {kPrintf, 1, u"%ws", 10, kCut, 0},
      {kPrintf, 5, u"%.4ws", 10, S_OK, 4}, {kPrintf, 8, u"%ws%q", 3, STRSAFE_E_INSUFFICIENT_BUFFER, 3},
      {kPrintf, 0, u"%ws", 3, E_INVALIDARG, kUntouched}, {kPrintf, 8, nullptr, 3, E_INVALIDARG, 0},
      {kPrintf, STRSAFE_MAX_CCH + 1, u"%ws", 3, E_INVALIDARG, 0}, {kPrintf, STRSAFE_MAX_CCH, u"%ws", 3, S_OK, 3},
      {kWsprintf, 256, u"%ws", 1500, 255, 255}, {kWsprintf, 2048, u"%ws", 1500, 1023, 1023},
      {kWsprintf, 1024, u"%ws", 1023, 1023, 1023}, {kWsprintf, 1025, u"%ws", 1024, 1023, 1023},
      {kWsprintf, 8, u"%ws", 7, 7, 7}, {kWsprintf, 8, u"%ws%q", 3, 3, 3}, {kWsprintf, 8, nullptr, 3, 0, 0},
      {kWsprintf, 0, u"%ws", 3, 0, kUntouched},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.function << " " << c.cch << " " << c.argument);
    const std::u16string argument(c.argument, u'n');
    std::u16string buffer(2048, u'#');
    const long long result = c.function == kPrintf ? StringCchPrintfW(buffer.data(), c.cch, c.format, argument.c_str())
                                                   : wsprintfW(buffer.data(), c.cch, c.format, argument.c_str());
    EXPECT_EQ(result, c.result);
    if (c.kept == kUntouched) {
      EXPECT_EQ(buffer, std::u16string(2048, u'#'));
    } else {
      const auto kept = static_cast<std::size_t>(c.kept);
      EXPECT_EQ(buffer.substr(0, kept + 1), argument.substr(0, kept) + u'\0');
      EXPECT_EQ(buffer.find_first_not_of(u'#', kept + 1), std::u16string::npos);
    }
  }
  EXPECT_EQ(StringCchPrintfW(nullptr, 8, u"abc"), E_INVALIDARG);
}

TEST(SafeStrings, LengthIsCountedOnlyWithinTheLimit) {
  struct Case { const char* text; std::size_t cchMax; HResult result; std::size_t length; };
  const char unterminated[4] = {'a', 'b', 'c', 'd'};  // a read past it shows under the sanitizers
  const Case cases[] = {{"abcd", 5, S_OK, 4}, {"abcd", 3, E_INVALIDARG, 0}, {unterminated, 4, E_INVALIDARG, 0},
                        {"", 1, S_OK, 0},     {"", 0, E_INVALIDARG, 0},     {nullptr, 5, E_INVALIDARG, 0},
                        {"abcd", STRSAFE_MAX_CCH, S_OK, 4}, {"abcd", STRSAFE_MAX_CCH + 1, E_INVALIDARG, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.cchMax);
    std::size_t narrow = 99, wide = 99;
    const std::size_t units = std::min<std::size_t>(c.cchMax, 4);
    const std::u16string text16 = c.text != nullptr ? std::u16string(c.text, c.text + units) : u"";
    EXPECT_EQ(StringCchLengthA(c.text, c.cchMax, &narrow), c.result);
    EXPECT_EQ(narrow, c.length);
    EXPECT_EQ(StringCchLengthW(c.text != nullptr ? text16.data() : nullptr, c.cchMax, &wide), c.result);
    EXPECT_EQ(wide, c.length);
  }
  EXPECT_EQ(StringCchLengthA("", 1, nullptr), S_OK);
}

}  // namespace
}  // namespace korv

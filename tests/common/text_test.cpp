// Fixed-capacity text and the small text helpers.
#include "common/fixed_text.h"
#include "common/text_util.h"

#include <gtest/gtest.h>

#include <string>

namespace korv {
namespace {

TEST(FixedText, AssignCutsToCapacityAndTerminates) {
  FixedText<5> text;
  EXPECT_TRUE(text.empty());
  EXPECT_EQ(FixedText<5>::capacity(), 5u);

  EXPECT_TRUE(text.assign(u"abcd"));
  EXPECT_EQ(text, u"abcd");
  EXPECT_FALSE(text.assign(u"abcde"));
  EXPECT_EQ(text.view(), u"abcd");
  EXPECT_EQ(text[4], u'\0');
  EXPECT_FALSE(text.assign(std::u16string(u"0123456789")));
  EXPECT_EQ(text.size(), 4u);
  EXPECT_TRUE(text.assign(nullptr));
  EXPECT_TRUE(text.empty());

  EXPECT_FALSE(FixedText<5>(u"abc") == u"abcd");
  EXPECT_FALSE(FixedText<5>(u"abc") == nullptr);
  FixedText<5> copy(u"xy");
  copy.clear();
  EXPECT_EQ(copy.size(), 0u);
}

TEST(FixedText, FormatReportsTheCut) {
  FixedText<8> port;
  EXPECT_EQ(port.format(u"USB%.3d", 7), S_OK);
  EXPECT_EQ(port, u"USB007");
  EXPECT_EQ(port.format(u"%ws %d", u"Port", 12345), STRSAFE_E_INSUFFICIENT_BUFFER);
  EXPECT_EQ(port, u"Port 12");
}

TEST(TextUtil, CompareNoCaseFoldsOnlyAsciiLetters) {
  EXPECT_EQ(CompareNoCase(u"/SILENCE", u"/silence"), 0);
  EXPECT_EQ(CompareNoCase(u"-U", u"-u"), 0);
  EXPECT_LT(CompareNoCase(u"/silenc", u"/silence"), 0);
  EXPECT_GT(CompareNoCase(u"/silence", u"/silenc"), 0);
  // Letters fold to lower case, as _wcsicmp does: '[' sorts before 'A'.
  EXPECT_LT(CompareNoCase(u"[", u"A"), 0);
  EXPECT_NE(CompareNoCase(u"\u00C9", u"\u00E9"), 0);
  EXPECT_EQ(CompareNoCase(nullptr, u""), 0);
}

TEST(TextUtil, FindTextIsCaseSensitive) {
  const char16_t* path = u"C:\\drv\\korvdrv6.dll";
  EXPECT_EQ(FindText(path, u"korvdrv"), path + 7);
  EXPECT_EQ(FindText(path, u"KORVDRV"), nullptr);
  const char16_t* text = u"aaab";
  EXPECT_EQ(FindText(text, u"aab"), text + 1);
  EXPECT_EQ(FindText(text, u"aabb"), nullptr);
  EXPECT_EQ(FindText(text, u""), text);
  EXPECT_EQ(FindText(nullptr, u"a"), nullptr);
}

TEST(TextUtil, LowerAsciiLeavesOtherUnits) {
  char16_t id[] = u"USBPRINT\\Korv\u00C9_58A";
  EXPECT_EQ(std::u16string(LowerAscii(id)), u"usbprint\\korv\u00C9_58a");
}

TEST(TextUtil, Utf8RoundTripAndReplacement) {
  const std::u16string text = u"caf\u00E9 \u20AC \U0001D11E";
  const std::string utf8 = Utf16ToUtf8(text);
  EXPECT_EQ(utf8, "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9D\x84\x9E");
  EXPECT_EQ(Utf8ToUtf16(utf8), text);

  // Overlong '/', an encoded surrogate, a cut sequence, a stray continuation.
  EXPECT_EQ(Utf8ToUtf16("a\xC0\xAF" "b\xED\xA0\x80" "c\xE2\x82" "d\x80"), u"a\uFFFDb\uFFFDc\uFFFDd\uFFFD");
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, u'\xD800') + u"x"), "\xEF\xBF\xBDx");
}

}  // namespace
}  // namespace korv

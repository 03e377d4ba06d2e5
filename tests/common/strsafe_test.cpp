// Bounds of the safe string functions and the message formatter: where text
// is cut, where it is terminated, and which result code says so.
#include "common/strsafe.h"

#include <gtest/gtest.h>

#include <string>

namespace korv {
namespace {

constexpr char16_t kUntouched = u'#';

// A buffer larger than the size handed to the function, so that a write past
// cchDest shows up as a changed guard unit.
struct Guarded {
  std::u16string units = std::u16string(2048, kUntouched);
  char16_t* data() { return units.data(); }
  std::u16string text() const { return units.substr(0, units.find(u'\0')); }
  bool untouchedFrom(std::size_t i) const {
    return units.find_first_not_of(kUntouched, i) == std::u16string::npos;
  }
};

TEST(StringCchPrintfW, RejectsZeroAndOversizedBuffers) {
  Guarded zero;
  EXPECT_EQ(StringCchPrintfW(zero.data(), 0, u"abc"), E_INVALIDARG);
  EXPECT_TRUE(zero.untouchedFrom(0));

  Guarded huge;
  EXPECT_EQ(StringCchPrintfW(huge.data(), STRSAFE_MAX_CCH + 1, u"abc"), E_INVALIDARG);
  EXPECT_EQ(huge.units[0], u'\0');
  EXPECT_TRUE(huge.untouchedFrom(1));

  // The largest accepted size formats normally; only the text is written.
  Guarded largest;
  EXPECT_EQ(StringCchPrintfW(largest.data(), STRSAFE_MAX_CCH, u"abc"), S_OK);
  EXPECT_EQ(largest.text(), u"abc");
  EXPECT_TRUE(largest.untouchedFrom(4));

  Guarded noFormat;
  EXPECT_EQ(StringCchPrintfW(noFormat.data(), 8, nullptr), E_INVALIDARG);
  EXPECT_EQ(noFormat.units[0], u'\0');
  EXPECT_EQ(StringCchPrintfW(nullptr, 8, u"abc"), E_INVALIDARG);
}

TEST(StringCchPrintfW, CutsAtTheLastUnitAndTerminates) {
  const std::u16string value = u"0123456789";
  struct Case {
    std::size_t cch;
    HResult hr;
    std::size_t kept;
  };
  for (const Case c : {Case{11, S_OK, 10}, Case{12, S_OK, 10}, Case{10, STRSAFE_E_INSUFFICIENT_BUFFER, 9},
                       Case{2, STRSAFE_E_INSUFFICIENT_BUFFER, 1}, Case{1, STRSAFE_E_INSUFFICIENT_BUFFER, 0}}) {
    Guarded out;
    EXPECT_EQ(StringCchPrintfW(out.data(), c.cch, u"%ws", value.c_str()), c.hr) << c.cch;
    EXPECT_EQ(out.text(), value.substr(0, c.kept)) << c.cch;
    EXPECT_TRUE(out.untouchedFrom(c.kept + 1)) << c.cch;
  }
}

TEST(StringCchPrintfW, PrecisionTakesAPrefixThatFits) {
  Guarded prefix, whole;
  EXPECT_EQ(StringCchPrintfW(prefix.data(), 5, u"%.4ws", u"ABCDEFGHIJ"), S_OK);
  EXPECT_EQ(prefix.text(), u"ABCD");
  EXPECT_EQ(StringCchPrintfW(whole.data(), 5, u"%ws", u"ABCDEFGHIJ"), STRSAFE_E_INSUFFICIENT_BUFFER);
  EXPECT_EQ(whole.text(), u"ABCD");
}

TEST(StringCchLength, CountsOnlyWithinTheLimit) {
  std::size_t length = 99;
  EXPECT_EQ(StringCchLengthW(u"abcd", 5, &length), S_OK);
  EXPECT_EQ(length, 4u);
  length = 99;
  EXPECT_EQ(StringCchLengthW(u"abcd", 4, &length), E_INVALIDARG);
  EXPECT_EQ(length, 0u);
  length = 99;
  EXPECT_EQ(StringCchLengthA("abcd", 5, &length), S_OK);
  EXPECT_EQ(length, 4u);
  EXPECT_EQ(StringCchLengthA("abcd", 4, &length), E_INVALIDARG);
  EXPECT_EQ(StringCchLengthA("", 0, &length), E_INVALIDARG);
  EXPECT_EQ(StringCchLengthA("", 1, nullptr), S_OK);

  // Unterminated arrays: the sanitizers would catch a read past them.
  const char16_t wide[4] = {u'a', u'b', u'c', u'd'};
  const char narrow[4] = {'a', 'b', 'c', 'd'};
  EXPECT_EQ(StringCchLengthW(wide, 4, nullptr), E_INVALIDARG);
  EXPECT_EQ(StringCchLengthA(narrow, 4, nullptr), E_INVALIDARG);

  length = 99;
  EXPECT_EQ(StringCchLengthW(nullptr, 5, &length), E_INVALIDARG);
  EXPECT_EQ(length, 0u);
  length = 99;
  EXPECT_EQ(StringCchLengthA("abcd", STRSAFE_MAX_CCH + 1, &length), E_INVALIDARG);
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(StringCchLengthA("abcd", STRSAFE_MAX_CCH, &length), S_OK);
}

TEST(WsprintfW, CutsAtTheBufferOrAt1024Units) {
  const std::u16string longName(1500, u'n');
  Guarded small;
  EXPECT_EQ(wsprintfW(small.data(), 256, u"Printer %ws", longName.c_str()), 255);
  EXPECT_EQ(small.text(), (u"Printer " + longName).substr(0, 255));
  EXPECT_TRUE(small.untouchedFrom(256));

  Guarded big;
  EXPECT_EQ(wsprintfW(big.data(), 2048, u"%ws", longName.c_str()), 1023);
  EXPECT_EQ(big.text(), longName.substr(0, 1023));

  Guarded fits;
  EXPECT_EQ(wsprintfW(fits.data(), 256, u"%ws:%d", u"USB001", 7), 8);
  EXPECT_EQ(fits.text(), u"USB001:7");

  Guarded none;
  EXPECT_EQ(wsprintfW(none.data(), 0, u"abc"), 0);
  EXPECT_TRUE(none.untouchedFrom(0));
}

}  // namespace
}  // namespace korv

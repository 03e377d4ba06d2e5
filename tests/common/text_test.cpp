// Fixed-capacity text, the small text helpers, and the string-table load
// into its 260-unit buffer.
#include "common/fixed_text.h"
#include "common/globals.h"
#include "common/path_split.h"
#include "common/resource_ids.h"
#include "common/string_table.h"
#include "common/text_util.h"
#include "platform/ui.h"
#include "app/res/resource_tables.h"
#include "sim_fixture.h"

namespace korv::test {
namespace {

TEST(TextHelpers, CompareFindAndCopy) {
  // Compare (sign of CompareNoCase), prefix, find (offset or -1).
  struct Case { const char16_t* text; const char16_t* other; int compare; bool startsWith; int found; };
  const Case cases[] = {
      {u"/SILENCE", u"/silence", 0, true, -1},   {u"/silenc", u"/silence", -1, false, -1},
      {u"/silence", u"/silenc", 1, true, 0},      {u"[", u"A", -1, false, -1},  // letters fold to lower case
      {u"\u00C9", u"\u00E9", -1, false, -1},      {u"UNC\\s", u"unc", 1, true, -1},
      {u"Uxx\\s", u"UNC", 1, false, -1},          {u"UNx", u"UNC", 1, false, -1},
      {u"aaab", u"aab", -1, false, 1},            {u"aaab", u"aabb", -1, false, -1},
      {u"korvdrv6.dll", u"KORVDRV6", 1, true, -1}, {u"C:\\korvdrv6.dll", u"korvdrv6", -1, false, 3},
      {u"ab", u"", 1, true, 0},                   {u"", u"", 0, true, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(U8(c.text) + " " + U8(c.other));
    const int compare = CompareNoCase(c.text, c.other);
    EXPECT_EQ((compare > 0) - (compare < 0), c.compare);
    EXPECT_EQ(StartsWithNoCase(c.text, c.other), c.startsWith);
    const char16_t* found = FindText(c.text, c.other);
    EXPECT_EQ(found == nullptr ? -1 : found - c.text, c.found);
  }
  EXPECT_EQ(CompareNoCase(nullptr, u""), 0);
  EXPECT_EQ(CompareNoCase(u"", nullptr), 0);
  EXPECT_EQ(FindText(nullptr, u"a"), nullptr);
  EXPECT_EQ(FindText(u"a", nullptr), nullptr);
  char16_t id[] = u"USBPRINT\\Korv\u00C9_58A";
  EXPECT_EQ(std::u16string(LowerAscii(id)), u"usbprint\\korv\u00C9_58a");

  FixedText<5> text;
  EXPECT_TRUE(text.assign(u"abcd"));
  EXPECT_FALSE(text.assign(std::u16string_view(u"0123456789")));
  EXPECT_EQ(text.view(), u"0123");
  EXPECT_EQ(text.format(u"%ws %d", u"P", 12345), STRSAFE_E_INSUFFICIENT_BUFFER);
  EXPECT_EQ(text.view(), u"P 12");
  EXPECT_TRUE(text.assign(static_cast<const char16_t*>(nullptr)) && text.empty());
  // Overlong '/', an encoded surrogate, a cut sequence, a stray continuation.
  EXPECT_EQ(Utf8ToUtf16("a\xC0\xAF" "b\xED\xA0\x80" "c\xE2\x82" "d\x80" "\xF0\x9D\x84\x9E"),
            u"a\uFFFDb\uFFFDc\uFFFDd\uFFFD\U0001D11E");
  EXPECT_EQ(Utf16ToUtf8(u"\u00E9\u20AC\U0001D11E" + std::u16string(1, u'\xD800') + u"x"),
            "\xC3\xA9\xE2\x82\xAC\xF0\x9D\x84\x9E\xEF\xBF\xBDx");
}

// A path's pieces in buffers of 3, 256, 260 and 256 units: the checked
// split keeps all or nothing, the other cuts each piece.
TEST(TextHelpers, PathPieces) {
  const std::u16string f255 = u"\\" + std::u16string(253, u'f') + u"\\", n260(260, u'n');
  const std::pair<std::u16string, std::string> cases[] = {
      {u"C:\\Korvane\\unins000.exe", "C:|\\Korvane\\|unins000|.exe|"},
      {u"\\\\server\\share\\a.b.c", "|\\\\server\\share\\|a.b|.c|"},
      {u"C:dir.x/name", "C:|dir.x/|name||"},
      {u"C:" + f255 + u"x", "C:|" + U8(f255) + "|x||"},
      {u"C:\\" + f255 + u"x", "cut: C:|\\" + U8(f255.substr(0, 254)) + "|x||"},
      {u"C:\\" + n260.substr(1), "C:|\\|" + std::string(259, 'n') + "||"},
      {u"C:\\" + n260, "cut: C:|\\|" + std::string(255, 'n') + "||"}};
  for (const auto& [path, pieces] : cases) {
    PathPieces checked;
    const bool whole = SplitPathChecked(path.c_str(), &checked);
    const SplitPath cut = SplitPathOf(path.c_str());
    const auto joined = [](const auto& p) {
      return U8(p.drive.view()) + "|" + U8(p.folder.view()) + "|" + U8(p.name.view()) + "|" +
             U8(p.extension.view()) + "|";
    };
    EXPECT_EQ(whole ? joined(checked) : "cut: " + joined(cut), pieces);
    EXPECT_EQ(whole, checked.drive.size() + checked.folder.size() + checked.name.size() != 0);
  }
  PathPieces none;
  EXPECT_FALSE(SplitPathChecked(nullptr, &none));
}

// The German "not found" text is longer than the buffer: it is cut, and
// still terminated.
class StringTable : public SimTest {};

TEST_F(StringTable, TextsAreCutToTheirBuffer) {
  Given(R"({"ui":{"language":"0x0407"}})");
  AppInstance = os::CurrentInstance();
  const Text german = res::LoadText(0x0407, IDS_DEVICE_NOT_FOUND);
  ASSERT_GT(german.size(), 259u);
  EXPECT_EQ(LoadText(IDS_DEVICE_NOT_FOUND).view(), german.substr(0, 259));
}

}  // namespace
}  // namespace korv::test

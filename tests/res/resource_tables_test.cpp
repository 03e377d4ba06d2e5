// What the translations must keep for the program to work: every text and dialog,
// placeholders the callers can fill, the bounds of where texts are shown, and the
// loader's fallback. The scenario reports pin the English texts themselves.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "app/res/resource_tables.h"
#include "common/resource_ids.h"
#include "common/strsafe.h"

namespace korv::test {
namespace {

constexpr std::uint16_t kEnglish = 0x0009, kDutch = 0x0013, kArabic = 0x0401;
constexpr std::uint32_t WS_EX_RTLREADING = 0x2000, WS_EX_LAYOUTRTL = 0x00400000, TVS_RTLREADING = 0x40;

std::u16string Text(std::uint16_t lang, int id) {
  const char16_t* t = res::FindString(lang, static_cast<std::uint16_t>(id));
  return t != nullptr ? t : u"";
}

// The kinds of the placeholders, in order: 's' a text, 'n' a number; '?' a
// directive none of the callers could fill.
std::string Placeholders(const std::u16string& text) {
  std::string kinds;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != u'%') continue;
    if (++i < text.size() && text[i] == u'%') continue;
    while (i < text.size() && (text[i] == u'-' || text[i] == u'.' || (text[i] >= u'0' && text[i] <= u'9'))) ++i;
    if (i + 1 < text.size() && text[i] == u'w' && text[i + 1] == u's') {
      kinds += 's';
      ++i;
    } else if (i < text.size() && (text[i] == u'd' || text[i] == u'u' || text[i] == u'x')) {
      kinds += 'n';
    } else {
      kinds += '?';
    }
  }
  return kinds;
}

std::u16string Shown(std::uint16_t lang, int id, const char16_t* name, const char16_t* port) {
  char16_t out[1024] = {};
  wsprintfW(out, 1024, Text(lang, id).c_str(), name, port);
  return out;
}

struct Language {
  std::uint16_t id;
  bool hexFailureCode;    // the removal's failure code as 0x%x
  bool showsPort;         // the found and installed texts name the port
  bool longNotFoundText;  // text 101 runs past the 259 units the worker loads
};

const Language kLanguages[] = {
    {0x0004, true, false, false}, {0x0404, true, false, false}, {0x0007, true, false, true},
    {0x0009, false, false, false}, {0x000A, true, false, true}, {0x000C, true, false, true},
    {0x0010, true, false, true},  {0x0013, false, true, false}, {0x0401, true, false, false},
};

TEST(ResourceTables, EveryLanguageCarriesWhatItsCallersNeed) {
  ASSERT_EQ(res::kLanguageCount, std::size(kLanguages));
  for (const Language& lang : kLanguages) {
    SCOPED_TRACE("language " + std::to_string(lang.id));
    for (int id = IDS_DEVICE_NOT_FOUND; id <= IDS_SEARCHING; ++id) {
      const std::u16string text = Text(lang.id, id);
      ASSERT_FALSE(text.empty()) << "string " << id;
      std::string expected = Placeholders(Text(kEnglish, id));
      if (lang.showsPort && (id == IDS_PRINTER_INSTALLED || id == IDS_PRINTER_FOUND)) expected += 's';
      EXPECT_EQ(Placeholders(text), expected) << "string " << id;
      // Only the found text ends its line in the log; nothing else breaks one.
      const bool breaks = text.find_first_of(u"\r\n") != std::u16string::npos;
      if (id == IDS_PRINTER_FOUND) {
        EXPECT_EQ(text.substr(text.find_first_of(u"\r\n")), u"\r\n");
      } else if (id != IDS_DEVICE_NOT_FOUND) {
        EXPECT_FALSE(breaks) << "string " << id;
      }
    }
    for (int id : {IDS_PRINTER_INSTALLED, IDS_PRINTER_FOUND}) {
      const std::u16string shown = Shown(lang.id, id, u"Korvane KP-80 Receipt", u"USB007");
      EXPECT_NE(shown.find(u"Korvane KP-80 Receipt"), std::u16string::npos);
      EXPECT_EQ(shown.find(u"USB007") != std::u16string::npos, lang.showsPort);
      // The worker formats into 256 units; a name stays well below 80.
      EXPECT_LT(Shown(lang.id, id, std::u16string(80, u'W').c_str(), u"USB001").size(), 256u);
    }
    char16_t code[1024] = {};
    EXPECT_LT(wsprintfW(code, 1024, Text(lang.id, IDS_INSTALL_FAILED).c_str(), INT_MIN), 255);
    wsprintfW(code, 256, Text(lang.id, IDS_STATUS_FAILED).c_str(), static_cast<int>(0x80070002));
    EXPECT_NE(std::u16string(code).find(lang.hexFailureCode ? u"0x80070002" : u"-2147024894"), std::u16string::npos);
    EXPECT_LT(Text(lang.id, IDS_MESSAGE_CAPTION).size(), 25u);  // loaded into 25 units
    EXPECT_LE(Text(lang.id, IDS_DONE).size(), 12u);             // replaces "Cancel" on its button

    // Text 101 names the two buttons as they read. Where it is longer than
    // the status box shows (three lines, about 150 units), what to do comes
    // first, ended by a line feed.
    const std::u16string notFound = Text(lang.id, IDS_DEVICE_NOT_FOUND);
    EXPECT_EQ(notFound.size() > 259, lang.longNotFoundText);
    const std::u16string instruction = lang.longNotFoundText ? notFound.substr(0, notFound.find(u'\n')) : notFound;
    if (lang.longNotFoundText) {
      EXPECT_LE(instruction.size(), 150u);
      EXPECT_NE(instruction.find(u"USB"), std::u16string::npos);
    }
    const res::DialogTemplate* installer = res::FindDialog(lang.id, IDD_INSTALLER);
    const res::DialogTemplate* uninstall = res::FindDialog(lang.id, IDD_UNINSTALL);
    ASSERT_TRUE(installer != nullptr && uninstall != nullptr);
    for (int button : {IDC_WIZARD, IDC_INSTALLER_CANCEL}) {
      EXPECT_NE(instruction.find(res::FindControl(*installer, button)->text), std::u16string::npos) << button;
    }
    for (int id : {IDC_INSTALLER_CANCEL, IDC_WIZARD, IDC_PROGRESS, IDC_LOG, IDC_STATUS, IDC_CONNECTION_PICTURE,
                   IDC_GEAR_PICTURE}) {
      EXPECT_NE(res::FindControl(*installer, id), nullptr) << id;
    }
    for (int id : {IDC_REMOVE, IDC_CLOSE, IDC_TREE, IDC_UNINSTALL_NOTE, IDC_PROGRESS}) {
      EXPECT_NE(res::FindControl(*uninstall, id), nullptr) << id;
    }
    // Only Arabic is mirrored, with right-to-left reading on every text.
    for (const res::DialogTemplate* d : {installer, uninstall}) {
      EXPECT_EQ(d->exStyle, lang.id == kArabic ? WS_EX_LAYOUTRTL : 0u);
      for (std::size_t i = 0; i < d->controlCount; ++i) {
        const res::DialogControl& c = d->controls[i];
        const std::u16string cls = c.cls;
        if (cls == u"SysTreeView32") {
          EXPECT_EQ((c.style & TVS_RTLREADING) != 0, lang.id == kArabic);
        }
        const bool showsText = (cls == u"Button" || cls == u"Edit" || cls == u"Static") && res::ImageIdOf(c) == 0;
        EXPECT_EQ((c.exStyle & WS_EX_RTLREADING) != 0, lang.id == kArabic && showsText) << c.id;
      }
    }
  }
}

TEST(ResourceTables, LanguagesResolveAndFallBackLikeTheResourceLoader) {
  const std::vector<std::pair<std::uint16_t, std::uint16_t>> cases = {
      {0x0409, 0x0009}, {0x0809, 0x0009}, {0x0407, 0x0007}, {0x0C0A, 0x000A}, {0x0413, 0x0013},
      {0x0804, 0x0004}, {0x0404, 0x0404}, {0x0401, 0x0401}, {0x0C01, 0x0009}, {0x0411, 0x0009},
      {0x0000, 0x0009}};
  for (const auto& [ui, resolved] : cases) EXPECT_EQ(res::ResolveLanguage(ui), resolved) << ui;
  EXPECT_EQ(std::u16string(res::LoadText(0x0411, IDS_DONE)), Text(kEnglish, IDS_DONE));
  EXPECT_EQ(std::u16string(res::LoadText(0x0413, IDS_PRINTER_INSTALLED)), Text(kDutch, IDS_PRINTER_INSTALLED));
  EXPECT_EQ(res::LoadText(0x0409, 100), nullptr);
  EXPECT_EQ(res::LoadText(0x0409, 120), nullptr);
  EXPECT_EQ(res::FindString(0x0409, IDS_DEVICE_NOT_FOUND), nullptr);  // exact lookup only
  EXPECT_EQ(res::LoadDialog(0x0411, IDD_UNINSTALL)->langId, kEnglish);
  EXPECT_EQ(res::LoadDialog(0x0C04, IDD_INSTALLER)->langId, 0x0004);
}

}  // namespace
}  // namespace korv::test

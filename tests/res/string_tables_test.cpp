// The string tables of the nine languages, as the simulated build sees them
// (generated from app/res/lang/*.txt).
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <set>
#include <string>
#include <vector>

#include "app/res/resource_tables.h"
#include "common/resource_ids.h"
#include "res/message_format.h"

namespace korv::test {
namespace {

using res::FindString;

constexpr std::uint16_t kChineseSimplified = 0x0004;
constexpr std::uint16_t kChineseTraditional = 0x0404;
constexpr std::uint16_t kGerman = 0x0007;
constexpr std::uint16_t kEnglish = 0x0009;
constexpr std::uint16_t kSpanish = 0x000A;
constexpr std::uint16_t kFrench = 0x000C;
constexpr std::uint16_t kItalian = 0x0010;
constexpr std::uint16_t kDutch = 0x0013;
constexpr std::uint16_t kArabic = 0x0401;

const std::vector<std::uint16_t> kNine = {kChineseSimplified, kChineseTraditional, kGerman,
                                          kEnglish,           kSpanish,            kFrench,
                                          kItalian,           kDutch,              kArabic};

std::string Hex(std::uint16_t lang) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "0x%04X", lang);
  return buf;
}

std::u16string Text(std::uint16_t lang, int id) {
  const char16_t* t = FindString(lang, static_cast<std::uint16_t>(id));
  return t != nullptr ? std::u16string(t) : std::u16string();
}

std::string U8(std::u16string_view s) {
  std::string out;
  for (char16_t c : s) {
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(c));
      out += buf;
    }
  }
  return out;
}

TEST(StringTables, CarryExactlyTheNineLanguages) {
  std::set<std::uint16_t> languages(res::kLanguages, res::kLanguages + res::kLanguageCount);
  EXPECT_EQ(languages, std::set<std::uint16_t>(kNine.begin(), kNine.end()));
  EXPECT_EQ(res::kLanguageCount, kNine.size());
  std::set<std::uint16_t> inStrings;
  for (std::size_t i = 0; i < res::kStringCount; ++i) inStrings.insert(res::kStrings[i].langId);
  EXPECT_EQ(inStrings, languages);
}

TEST(StringTables, EveryLanguageHasTheNineteenStringsOnce) {
  for (std::uint16_t lang : kNine) {
    SCOPED_TRACE(Hex(lang));
    std::multiset<int> ids;
    for (std::size_t i = 0; i < res::kStringCount; ++i) {
      if (res::kStrings[i].langId == lang) ids.insert(res::kStrings[i].id);
    }
    EXPECT_EQ(ids.size(), 19u);
    for (int id = IDS_DEVICE_NOT_FOUND; id <= IDS_SEARCHING; ++id) {
      EXPECT_EQ(ids.count(id), 1u) << "id " << id;
      EXPECT_FALSE(Text(lang, id).empty()) << "id " << id;
    }
  }
  EXPECT_EQ(res::kStringCount, 9u * 19u);
}

TEST(StringTables, EnglishTextsAreTheReferenceTexts) {
  const std::vector<std::pair<int, std::u16string>> expected = {
      {IDS_DEVICE_NOT_FOUND,
       u"Device not found, Please power on printer and  connect to computer for auto-install "
       u"(recommended), Click \"Wizard\" for custom setup or\nCancel\" to quit."},
      {IDS_MESSAGE_CAPTION, u"Message"},
      {IDS_PRINTER_INSTALLED, u"The driver for printer [%ws] is installed."},
      {IDS_INSTALL_FAILED, u"The printer driver install failed, error code:%d. Please contact our technical support."},
      {IDS_NOTHING_TO_REMOVE, u"Nothing need to be removed there"},
      {IDS_TREE_PACKAGE, u"Driver Package:%ws, version:%ws, %ws, %ws"},
      {IDS_TREE_DRIVER_LIST, u"Printer driver list:"},
      {IDS_TREE_DRIVER, u"Printer Driver:%ws, %ws, version:%d.%d.%d.%d, %ws"},
      {IDS_TREE_NO_DRIVER, u"No printer driver"},
      {IDS_TREE_PRINTER, u"Printer:%ws on the port: %ws. %ws"},
      {IDS_TREE_NO_PRINTER, u"No printer"},
      {IDS_STATUS_REMOVED, u"Removed."},
      {IDS_STATUS_FAILED, u"Failed. Error:%d"},
      {IDS_UNINSTALL_FAILED,
       u"Uninstall driver failed. Please try again, or reboot your OS then try again, or contact our "
       u"support for assistance."},
      {IDS_UNINSTALLED, u"The driver is uninstalled."},
      {IDS_TREE_FOLDER, u"The driver folder: %ws"},
      {IDS_PRINTER_FOUND, u"Found the printer %ws, installing the driver...\r\n"},
      {IDS_DONE, u"Done"},
      {IDS_SEARCHING, u"Searching for printer devices, please wait..."},
  };
  for (const auto& [id, text] : expected) {
    EXPECT_EQ(U8(Text(kEnglish, id)), U8(text)) << "id " << id;
  }
}

TEST(StringTables, DutchSetIsEnglishExceptThreeTextsThatShowThePort) {
  EXPECT_EQ(U8(Text(kDutch, IDS_DEVICE_NOT_FOUND)),
            "Device not found. Power on printer, connect to computer for auto-install (recommended). "
            "Click \"Wizard\" for custom setup or \"Cancel\" to quit.");
  EXPECT_EQ(U8(Text(kDutch, IDS_PRINTER_INSTALLED)), "The printer [%ws] is installed on the port [%ws].");
  EXPECT_EQ(U8(Text(kDutch, IDS_PRINTER_FOUND)), "Found the printer %ws at %ws, installing the driver...\r\n");
  for (int id = IDS_DEVICE_NOT_FOUND; id <= IDS_SEARCHING; ++id) {
    if (id == IDS_DEVICE_NOT_FOUND || id == IDS_PRINTER_INSTALLED || id == IDS_PRINTER_FOUND) {
      EXPECT_NE(Text(kDutch, id), Text(kEnglish, id)) << "id " << id;
    } else {
      EXPECT_EQ(Text(kDutch, id), Text(kEnglish, id)) << "id " << id;
    }
  }
}

TEST(StringTables, EveryTranslationCanBeFilledByItsCallers) {
  for (std::uint16_t lang : kNine) {
    for (int id = IDS_DEVICE_NOT_FOUND; id <= IDS_SEARCHING; ++id) {
      EXPECT_EQ(CheckPlaceholders(id, Text(kEnglish, id), Text(lang, id)), "")
          << Hex(lang) << " id " << id << ": " << U8(Text(lang, id));
    }
  }
}

TEST(StringTables, EnglishShowsWhatItsCallersPass) {
  // Only the printer-installed and printer-found texts leave an argument out
  // (the port), in English as in every language but Dutch.
  for (int id = IDS_DEVICE_NOT_FOUND; id <= IDS_SEARCHING; ++id) {
    const auto directives = ParseDirectives(Text(kEnglish, id));
    ASSERT_TRUE(directives.has_value()) << id;
    const std::vector<Arg>& passed = CallerArguments().at(id);
    if (id == IDS_PRINTER_INSTALLED || id == IDS_PRINTER_FOUND) {
      EXPECT_EQ(KindsOf(*directives), std::vector<Arg>(passed.begin(), passed.begin() + 1)) << id;
    } else {
      EXPECT_EQ(KindsOf(*directives), passed) << id;
    }
  }
}

TEST(StringTables, OnlyDutchShowsThePortOfAFoundOrInstalledPrinter) {
  const std::vector<FormatArg> args = {{u"Korvane KP-80 Receipt", 0}, {u"USB007", 0}};
  for (std::uint16_t lang : kNine) {
    for (int id : {IDS_PRINTER_INSTALLED, IDS_PRINTER_FOUND}) {
      const std::u16string shown = FormatMessage(Text(lang, id), args);
      SCOPED_TRACE(Hex(lang) + " id " + std::to_string(id) + ": " + U8(shown));
      EXPECT_NE(shown.find(u"Korvane KP-80 Receipt"), std::u16string::npos);
      EXPECT_EQ(shown.find(u"USB007") != std::u16string::npos, lang == kDutch);
      if (lang == kDutch) {
        EXPECT_GT(shown.find(u"USB007"), shown.find(u"Korvane KP-80 Receipt"));
      }
    }
  }
}

TEST(StringTables, RemovalFailureCodeIsHexadecimalExceptInEnglishAndDutch) {
  for (std::uint16_t lang : kNine) {
    SCOPED_TRACE(Hex(lang));
    const std::u16string text = Text(lang, IDS_STATUS_FAILED);
    const auto directives = ParseDirectives(text);
    ASSERT_TRUE(directives.has_value());
    ASSERT_EQ(directives->size(), 1u);
    if (lang == kEnglish || lang == kDutch) {
      EXPECT_EQ((*directives)[0].conversion, 'd');
      EXPECT_EQ(U8(FormatMessage(text, {{u"", -2147024894}})), "Failed. Error:-2147024894");
    } else {
      EXPECT_EQ((*directives)[0].conversion, 'x');
      EXPECT_NE(text.find(u"0x%x"), std::u16string::npos);
      EXPECT_NE(FormatMessage(text, {{u"", -2147024894}}).find(u"0x80070002"), std::u16string::npos);
    }
  }
}

TEST(StringTables, DeviceNotFoundIsLongerThanTheMessageBufferInFourLanguages) {
  for (std::uint16_t lang : {kGerman, kSpanish, kFrench, kItalian}) {
    EXPECT_GT(Text(lang, IDS_DEVICE_NOT_FOUND).size(), 259u) << Hex(lang);
  }
  for (std::uint16_t lang : {kChineseSimplified, kChineseTraditional, kEnglish, kDutch, kArabic}) {
    EXPECT_LE(Text(lang, IDS_DEVICE_NOT_FOUND).size(), 259u) << Hex(lang);
  }
}

TEST(StringTables, LineBreaksAsInEnglish) {
  // The log shows the found text on a line of its own; every other text runs
  // on (the device-not-found text of some languages excepted).
  for (std::uint16_t lang : kNine) {
    for (int id = IDS_MESSAGE_CAPTION; id <= IDS_SEARCHING; ++id) {
      const std::u16string text = Text(lang, id);
      const std::size_t breaks = static_cast<std::size_t>(
          std::count_if(text.begin(), text.end(), [](char16_t c) { return c == u'\r' || c == u'\n'; }));
      if (id == IDS_PRINTER_FOUND) {
        EXPECT_EQ(breaks, 2u) << Hex(lang);
        EXPECT_TRUE(text.size() >= 2 && text.substr(text.size() - 2) == u"\r\n") << Hex(lang);
      } else {
        EXPECT_EQ(breaks, 0u) << Hex(lang) << " id " << id;
      }
    }
  }
}

TEST(StringTables, FormattedWorkerMessagesFitTheTextBuffer) {
  // The worker formats into 256 code units; printer names are a
  // manufacturer and a model, well below 80 code units.
  const std::u16string name(80, u'W');
  for (std::uint16_t lang : kNine) {
    EXPECT_LT(FormatMessage(Text(lang, IDS_PRINTER_INSTALLED), {{name, 0}, {u"USB001", 0}}).size(), 256u) << Hex(lang);
    EXPECT_LT(FormatMessage(Text(lang, IDS_PRINTER_FOUND), {{name, 0}, {u"USB001", 0}}).size(), 256u) << Hex(lang);
    EXPECT_LT(FormatMessage(Text(lang, IDS_INSTALL_FAILED), {{u"", INT_MIN}}).size(), 256u) << Hex(lang);
  }
}

TEST(StringTables, ShortTextsFitWhereTheyAreShown) {
  for (std::uint16_t lang : kNine) {
    // The message box caption is loaded into 25 code units.
    EXPECT_LT(Text(lang, IDS_MESSAGE_CAPTION).size(), 25u) << Hex(lang);
    // "Done" replaces "Cancel" on a 50-unit button.
    EXPECT_LE(Text(lang, IDS_DONE).size(), 12u) << Hex(lang);
  }
}

TEST(StringTables, DeviceNotFoundNamesTheButtonsOfTheInstallerWindow) {
  for (std::uint16_t lang : kNine) {
    const res::DialogTemplate* dialog = res::FindDialog(lang, IDD_INSTALLER);
    ASSERT_NE(dialog, nullptr) << Hex(lang);
    const std::u16string text = Text(lang, IDS_DEVICE_NOT_FOUND);
    for (int button : {IDC_WIZARD, IDC_INSTALLER_CANCEL}) {
      const res::DialogControl* control = res::FindControl(*dialog, button);
      ASSERT_NE(control, nullptr);
      const std::u16string quoted = std::u16string(control->text);
      EXPECT_NE(text.find(quoted), std::u16string::npos) << Hex(lang) << " lacks " << U8(quoted);
    }
  }
}

// The status box of the installer window (225 x 30 dialog units) shows about
// three and a half lines of text 101; in German, Spanish, French and
// Italian the text is longer than that (and than the 259 units the worker
// loads). So what the user must do comes first, ended by a line feed: power
// on and connect the printer, or press one of the two buttons, named as
// they read. A dialog unit across is a quarter of the font's average
// character width, so a line holds about 56 average characters; 150 units
// leave each of the three lines a word for wrapping.
TEST(StringTables, DeviceNotFoundSaysWhatToDoInTheLinesTheStatusBoxShows) {
  constexpr std::size_t kThreeLines = 150;
  for (std::uint16_t lang : {kGerman, kSpanish, kFrench, kItalian}) {
    const std::u16string text = Text(lang, IDS_DEVICE_NOT_FOUND);
    const std::size_t end = text.find(u'\n');
    ASSERT_NE(end, std::u16string::npos) << Hex(lang) << ": no line feed after the instruction";
    EXPECT_LE(end, kThreeLines) << Hex(lang);
    EXPECT_GT(text.size(), 259u) << Hex(lang) << ": the details after the instruction are part of the text";
    const std::u16string instruction = text.substr(0, end);
    const res::DialogTemplate* dialog = res::FindDialog(lang, IDD_INSTALLER);
    ASSERT_NE(dialog, nullptr);
    for (int button : {IDC_WIZARD, IDC_INSTALLER_CANCEL}) {
      const std::u16string quoted = u"\"" + std::u16string(res::FindControl(*dialog, button)->text) + u"\"";
      EXPECT_NE(instruction.find(quoted), std::u16string::npos) << Hex(lang) << " lacks " << U8(quoted);
    }
    EXPECT_NE(instruction.find(u"USB"), std::u16string::npos) << Hex(lang) << ": how to connect the printer";
  }
}

TEST(ResourceLookup, ResolvesTheLanguageLikeTheResourceLoader) {
  EXPECT_EQ(res::ResolveLanguage(0x0009), 0x0009);
  EXPECT_EQ(res::ResolveLanguage(0x0409), 0x0009);  // English (United States)
  EXPECT_EQ(res::ResolveLanguage(0x0809), 0x0009);  // English (United Kingdom)
  EXPECT_EQ(res::ResolveLanguage(0x0407), 0x0007);  // German (Germany)
  EXPECT_EQ(res::ResolveLanguage(0x0C0A), 0x000A);  // Spanish (modern sort)
  EXPECT_EQ(res::ResolveLanguage(0x0413), 0x0013);  // Dutch (Netherlands)
  EXPECT_EQ(res::ResolveLanguage(0x0804), 0x0004);  // Chinese (PRC)
  EXPECT_EQ(res::ResolveLanguage(0x0404), 0x0404);  // Chinese (Taiwan)
  EXPECT_EQ(res::ResolveLanguage(0x0401), 0x0401);  // Arabic (Saudi Arabia)
  EXPECT_EQ(res::ResolveLanguage(0x0C01), 0x0009);  // Arabic (Egypt): no resources
  EXPECT_EQ(res::ResolveLanguage(0x0411), 0x0009);  // Japanese: no resources
  EXPECT_EQ(res::ResolveLanguage(0x0000), 0x0009);
}

TEST(ResourceLookup, LoadsTextsWithFallbackToEnglish) {
  EXPECT_EQ(U8(res::LoadText(0x0411, IDS_STATUS_FAILED)), "Failed. Error:%d");
  EXPECT_EQ(U8(res::LoadText(0x0409, IDS_DONE)), "Done");
  EXPECT_EQ(std::u16string(res::LoadText(0x0407, IDS_DONE)), u"Fertig");
  EXPECT_EQ(std::u16string(res::LoadText(0x0413, IDS_PRINTER_INSTALLED)), Text(kDutch, IDS_PRINTER_INSTALLED));
  EXPECT_EQ(res::LoadText(0x0409, 100), nullptr);
  EXPECT_EQ(res::LoadText(0x0409, 120), nullptr);
  EXPECT_EQ(res::FindString(0x0409, IDS_DEVICE_NOT_FOUND), nullptr);  // exact lookup: no such language
  ASSERT_NE(res::LoadDialog(0x0411, IDD_UNINSTALL), nullptr);
  EXPECT_EQ(res::LoadDialog(0x0411, IDD_UNINSTALL)->langId, kEnglish);
  EXPECT_EQ(res::LoadDialog(0x0C04, IDD_INSTALLER)->langId, kChineseSimplified);
  EXPECT_EQ(res::LoadDialog(0x0009, 107), nullptr);
}

}  // namespace
}  // namespace korv::test

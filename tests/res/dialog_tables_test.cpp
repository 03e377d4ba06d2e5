// The dialog templates of the nine languages, as the simulated build sees
// them (generated from app/res/dialogs.txt and app/res/lang/*.txt).
#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "app/res/resource_tables.h"
#include "common/resource_ids.h"

namespace korv::test {
namespace {

// winuser.h / commctrl.h values.
constexpr std::uint32_t WS_POPUP = 0x80000000, WS_CHILD = 0x40000000, WS_VISIBLE = 0x10000000,
                        WS_CAPTION = 0x00C00000, WS_BORDER = 0x00800000, WS_VSCROLL = 0x00200000,
                        WS_HSCROLL = 0x00100000, WS_SYSMENU = 0x00080000, WS_TABSTOP = 0x00010000;
constexpr std::uint32_t DS_SETFONT = 0x40, DS_MODALFRAME = 0x80, DS_FIXEDSYS = 0x08, DS_CENTER = 0x0800;
constexpr std::uint32_t BS_DEFPUSHBUTTON = 0x1, BS_TYPEMASK = 0xF;
constexpr std::uint32_t ES_MULTILINE = 0x4, ES_AUTOVSCROLL = 0x40, ES_READONLY = 0x800;
constexpr std::uint32_t SS_BITMAP = 0xE, SS_TYPEMASK = 0x1F;
constexpr std::uint32_t PBS_MARQUEE = 0x8;
constexpr std::uint32_t TVS_HASLINES = 0x2, TVS_LINESATROOT = 0x4, TVS_RTLREADING = 0x40;
constexpr std::uint32_t WS_EX_RTLREADING = 0x2000, WS_EX_LAYOUTRTL = 0x00400000;

constexpr std::uint16_t kEnglish = 0x0009, kDutch = 0x0013, kArabic = 0x0401;

std::string Hex(std::uint16_t lang) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "0x%04X", lang);
  return buf;
}

std::string U8(const char16_t* s) {
  std::string out;
  for (; s != nullptr && *s != 0; ++s) out.push_back(*s < 0x80 ? static_cast<char>(*s) : '?');
  return out;
}

struct Expected {
  int id;
  const char* cls;
  const char* text;  // English; "#n" for a picture
  int x, y, cx, cy;
  std::uint32_t mustHave;  // style bits that must be set
  bool visible;
};

const res::DialogTemplate& Dialog(std::uint16_t lang, std::uint16_t id) {
  const res::DialogTemplate* d = res::FindDialog(lang, id);
  if (d == nullptr) throw std::runtime_error("missing dialog " + std::to_string(id) + " in " + Hex(lang));
  return *d;
}

void ExpectLayout(const res::DialogTemplate& d, const std::vector<Expected>& expected) {
  ASSERT_EQ(d.controlCount, expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const res::DialogControl& c = d.controls[i];
    const Expected& e = expected[i];
    SCOPED_TRACE("control " + std::to_string(e.id));
    EXPECT_EQ(c.id, e.id);
    EXPECT_EQ(U8(c.cls), e.cls);
    EXPECT_EQ(U8(c.text), e.text);
    EXPECT_EQ(c.x, e.x);
    EXPECT_EQ(c.y, e.y);
    EXPECT_EQ(c.cx, e.cx);
    EXPECT_EQ(c.cy, e.cy);
    EXPECT_EQ(c.style & e.mustHave, e.mustHave);
    EXPECT_EQ(c.style & WS_CHILD, WS_CHILD);
    EXPECT_EQ(res::IsInitiallyVisible(c), e.visible);
    EXPECT_EQ(c.exStyle, 0u);
  }
}

TEST(DialogTables, EveryLanguageHasBothDialogsOnce) {
  EXPECT_EQ(res::kDialogCount, 2 * res::kLanguageCount);
  for (std::size_t l = 0; l < res::kLanguageCount; ++l) {
    for (std::uint16_t id : {std::uint16_t{IDD_UNINSTALL}, std::uint16_t{IDD_INSTALLER}}) {
      int count = 0;
      for (std::size_t i = 0; i < res::kDialogCount; ++i) {
        count += res::kDialogs[i].langId == res::kLanguages[l] && res::kDialogs[i].dialogId == id;
      }
      EXPECT_EQ(count, 1) << Hex(res::kLanguages[l]) << " dialog " << id;
    }
  }
}

TEST(DialogTables, CommonStyleAndFont) {
  const std::uint32_t style =
      WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_CENTER | DS_MODALFRAME | DS_SETFONT | DS_FIXEDSYS;
  for (std::size_t i = 0; i < res::kDialogCount; ++i) {
    EXPECT_EQ(res::kDialogs[i].style, style) << i;
  }
  EXPECT_EQ(U8(res::kDialogFontFace), "MS Shell Dlg");
  EXPECT_EQ(res::kDialogFontPointSize, 8);
  EXPECT_EQ(res::kDialogFontWeight, 400);
}

TEST(DialogTables, EnglishInstallerWindow) {
  const res::DialogTemplate& d = Dialog(kEnglish, IDD_INSTALLER);
  EXPECT_EQ(U8(d.caption), "Tapwise installer");
  EXPECT_EQ(d.cx, 341);
  EXPECT_EQ(d.cy, 132);
  ExpectLayout(d, {
      {IDC_INSTALLER_CANCEL, "Button", "Cancel", 284, 9, 50, 14, 0, true},
      {IDC_WIZARD, "Button", "Wizard", 284, 25, 50, 14, 0, false},
      {IDC_LOG, "Edit", "", 7, 41, 325, 74, WS_BORDER | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY,
       true},
      {IDC_GEAR_PICTURE, "Static", "#112", 4, 0, 45, 41, SS_BITMAP, true},
      {IDC_CONNECTION_PICTURE, "Static", "#113", 5, 42, 327, 75, SS_BITMAP, true},
      {IDC_STATUS, "Static", "", 51, 5, 225, 30, 0, true},
      {IDC_PROGRESS, "msctls_progress32", "", 7, 119, 327, 12, WS_BORDER | PBS_MARQUEE, true},
  });
  // Push buttons (not default), a left-aligned status text.
  EXPECT_EQ(res::FindControl(d, IDC_INSTALLER_CANCEL)->style & BS_TYPEMASK, 0u);
  EXPECT_EQ(res::FindControl(d, IDC_WIZARD)->style & BS_TYPEMASK, 0u);
  EXPECT_EQ(res::FindControl(d, IDC_STATUS)->style & SS_TYPEMASK, 0u);
  EXPECT_EQ(res::ImageIdOf(*res::FindControl(d, IDC_CONNECTION_PICTURE)), IDB_CONNECTION);
  EXPECT_EQ(res::ImageIdOf(*res::FindControl(d, IDC_GEAR_PICTURE)), IDB_GEAR);
  EXPECT_EQ(res::ImageIdOf(*res::FindControl(d, IDC_STATUS)), 0);
}

TEST(DialogTables, EnglishUninstallWindow) {
  const res::DialogTemplate& d = Dialog(kEnglish, IDD_UNINSTALL);
  EXPECT_EQ(U8(d.caption), "Uninstall printer driver");
  EXPECT_EQ(d.cx, 309);
  EXPECT_EQ(d.cy, 176);
  ExpectLayout(d, {
      {IDC_REMOVE, "Button", "Remove", 198, 155, 50, 14, BS_DEFPUSHBUTTON, true},
      {IDC_CLOSE, "Button", "Close", 252, 155, 50, 14, 0, true},
      {IDC_UNINSTALL_NOTE, "Static", "The printer components below will be removed from you computer.", 8, 9, 294, 8, 0, true},
      {IDC_TREE, "SysTreeView32", "", 7, 22, 295, 114, WS_BORDER | WS_HSCROLL | TVS_HASLINES | TVS_LINESATROOT,
       true},
      {IDC_PROGRESS, "msctls_progress32", "", 7, 139, 295, 11, WS_BORDER, false},
  });
  EXPECT_EQ(res::FindControl(d, IDC_CLOSE)->style & BS_TYPEMASK, 0u);
  EXPECT_EQ(res::FindControl(d, IDC_UNINSTALL_NOTE)->style & SS_TYPEMASK, 0u);
}

TEST(DialogTables, EveryLanguageHasTheEnglishLayoutWithItsOwnTexts) {
  for (std::size_t l = 0; l < res::kLanguageCount; ++l) {
    const std::uint16_t lang = res::kLanguages[l];
    for (std::uint16_t id : {std::uint16_t{IDD_UNINSTALL}, std::uint16_t{IDD_INSTALLER}}) {
      SCOPED_TRACE(Hex(lang) + " dialog " + std::to_string(id));
      const res::DialogTemplate& en = Dialog(kEnglish, id);
      const res::DialogTemplate& d = Dialog(lang, id);
      EXPECT_EQ(d.x, en.x);
      EXPECT_EQ(d.y, en.y);
      EXPECT_EQ(d.cx, en.cx);
      EXPECT_EQ(d.cy, en.cy);
      EXPECT_EQ(d.style, en.style);
      ASSERT_NE(d.caption, nullptr);
      EXPECT_NE(d.caption[0], 0);
      ASSERT_EQ(d.controlCount, en.controlCount);
      for (std::size_t i = 0; i < d.controlCount; ++i) {
        const res::DialogControl& c = d.controls[i];
        const res::DialogControl& e = en.controls[i];
        EXPECT_EQ(c.id, e.id);
        EXPECT_EQ(std::u16string(c.cls), std::u16string(e.cls));
        EXPECT_EQ(c.x, e.x);
        EXPECT_EQ(c.y, e.y);
        EXPECT_EQ(c.cx, e.cx);
        EXPECT_EQ(c.cy, e.cy);
        // Right-to-left reading order is the only difference (Arabic).
        const bool tree = U8(c.cls) == "SysTreeView32";
        EXPECT_EQ(tree ? c.style & ~TVS_RTLREADING : c.style, e.style);
        EXPECT_EQ(c.exStyle & ~WS_EX_RTLREADING, e.exStyle);
        EXPECT_EQ(res::ImageIdOf(c), res::ImageIdOf(e));
        // A control that has a text in English has one in every language.
        EXPECT_EQ(c.text[0] == 0, e.text[0] == 0) << "control " << c.id;
        if (lang != kEnglish && lang != kDutch && res::ImageIdOf(c) == 0 && e.text[0] != 0) {
          EXPECT_NE(std::u16string(c.text), std::u16string(e.text)) << "control " << c.id << " not translated";
        }
      }
    }
  }
}

// Arabic is written right to left: both dialogs are mirrored (the children
// with them) and every control that shows text reads right to left; the
// other languages are laid out left to right.
TEST(DialogTables, OnlyArabicDialogsAreMirroredWithRightToLeftTexts) {
  for (std::size_t l = 0; l < res::kLanguageCount; ++l) {
    const std::uint16_t lang = res::kLanguages[l];
    const bool rtl = lang == kArabic;
    for (std::uint16_t id : {std::uint16_t{IDD_UNINSTALL}, std::uint16_t{IDD_INSTALLER}}) {
      SCOPED_TRACE(Hex(lang) + " dialog " + std::to_string(id));
      const res::DialogTemplate& d = Dialog(lang, id);
      EXPECT_EQ(d.exStyle, rtl ? WS_EX_LAYOUTRTL : 0u);
      for (std::size_t i = 0; i < d.controlCount; ++i) {
        const res::DialogControl& c = d.controls[i];
        const std::string cls = U8(c.cls);
        const bool showsText = (cls == "Button" || cls == "Edit" || cls == "Static") && res::ImageIdOf(c) == 0;
        EXPECT_EQ((c.exStyle & WS_EX_RTLREADING) != 0, rtl && showsText) << "control " << c.id;
        if (cls == "SysTreeView32") {
          EXPECT_EQ((c.style & TVS_RTLREADING) != 0, rtl);
        }
      }
    }
  }
}

TEST(DialogTables, DutchDialogsAreTheEnglishOnes) {
  for (std::uint16_t id : {std::uint16_t{IDD_UNINSTALL}, std::uint16_t{IDD_INSTALLER}}) {
    const res::DialogTemplate& en = Dialog(kEnglish, id);
    const res::DialogTemplate& nl = Dialog(kDutch, id);
    EXPECT_EQ(std::u16string(nl.caption), std::u16string(en.caption));
    for (std::size_t i = 0; i < en.controlCount; ++i) {
      EXPECT_EQ(std::u16string(nl.controls[i].text), std::u16string(en.controls[i].text));
    }
  }
}

TEST(DialogTables, ControlIdsOfTheResourceHeaderExist) {
  for (std::size_t l = 0; l < res::kLanguageCount; ++l) {
    const res::DialogTemplate& installer = Dialog(res::kLanguages[l], IDD_INSTALLER);
    for (int id : {IDC_INSTALLER_CANCEL, IDC_WIZARD, IDC_PROGRESS, IDC_LOG, IDC_STATUS, IDC_CONNECTION_PICTURE,
                   IDC_GEAR_PICTURE}) {
      EXPECT_NE(res::FindControl(installer, id), nullptr) << id;
    }
    const res::DialogTemplate& uninstall = Dialog(res::kLanguages[l], IDD_UNINSTALL);
    for (int id : {IDC_REMOVE, IDC_CLOSE, IDC_TREE, IDC_UNINSTALL_NOTE, IDC_PROGRESS}) {
      EXPECT_NE(res::FindControl(uninstall, id), nullptr) << id;
    }
    EXPECT_EQ(res::FindControl(uninstall, IDC_WIZARD), nullptr);
  }
}

TEST(DialogTables, ImageIdOfReadsOnlyPictureReferences) {
  auto with = [](const char16_t* text) {
    return res::DialogControl{1, u"Static", text, 0, 0, 1, 1, WS_CHILD, 0};
  };
  EXPECT_EQ(res::ImageIdOf(with(u"#112")), 112);
  EXPECT_EQ(res::ImageIdOf(with(u"#65535")), 65535);
  EXPECT_EQ(res::ImageIdOf(with(u"#65536")), 0);
  EXPECT_EQ(res::ImageIdOf(with(u"#")), 0);
  EXPECT_EQ(res::ImageIdOf(with(u"#12a")), 0);
  EXPECT_EQ(res::ImageIdOf(with(u"112")), 0);
  EXPECT_EQ(res::ImageIdOf(with(u"")), 0);
}

}  // namespace
}  // namespace korv::test

// Reads the resources of the built Windows programs (build/win32 and
// build/win64, or the file named by KORV_EXE) and checks that every language
// carries both dialogs and all nineteen strings, that the strings can be
// filled with the callers' arguments, and that dialogs and strings are the
// very ones the simulated build uses. Skipped when no program has been built.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/res/resource_tables.h"
#include "common/resource_ids.h"
#include "res/message_format.h"
#include "res/pe_resources.h"

namespace korv::test {
namespace {

namespace fs = std::filesystem;

const std::vector<std::uint16_t> kNine = {0x0004, 0x0404, 0x0007, 0x0009, 0x000A,
                                          0x000C, 0x0010, 0x0013, 0x0401};

std::string Hex(std::uint16_t v) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "0x%04X", v);
  return buf;
}

std::string Ascii(std::u16string_view s) {
  std::string out;
  for (char16_t c : s) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return out;
}

std::u16string Lower(std::u16string s) {
  for (char16_t& c : s) {
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
  }
  return s;
}

// The programs to check: $KORV_EXE, else the win32 and win64 builds of this
// source tree.
std::vector<std::string> Programs() {
  if (const char* exe = std::getenv("KORV_EXE"); exe != nullptr && *exe != 0) return {exe};
  const fs::path root = fs::path(__FILE__).parent_path().parent_path().parent_path();
  std::vector<std::string> found;
  for (const char* preset : {"win32", "win64"}) {
    for (const char* where : {"", "app", "bin"}) {
      const fs::path exe = root / "build" / preset / where / "korvsetup.exe";
      std::error_code ec;
      if (fs::is_regular_file(exe, ec)) {
        found.push_back(exe.string());
        break;
      }
    }
  }
  return found;
}

class ExeResources : public ::testing::Test {
 protected:
  struct Program {
    std::string path;
    std::vector<pe::Resource> resources;
  };

  void SetUp() override {
    const std::vector<std::string> paths = Programs();
    if (paths.empty()) GTEST_SKIP() << "no built korvsetup.exe (build the win32 or win64 preset)";
    for (const std::string& path : paths) {
      const auto bytes = pe::ReadFile(path);
      ASSERT_TRUE(bytes.has_value()) << "cannot read " << path;
      Program p{path, {}};
      std::string error;
      ASSERT_TRUE(pe::ReadResources(*bytes, p.resources, error)) << path << ": " << error;
      programs_.push_back(std::move(p));
    }
  }

  static const pe::Resource* Find(const Program& p, std::uint16_t type, std::uint16_t id, std::uint16_t lang) {
    for (const pe::Resource& r : p.resources) {
      if (r.type == type && r.typeName.empty() && r.id == id && r.name.empty() && r.lang == lang) return &r;
    }
    return nullptr;
  }

  static std::vector<const pe::Resource*> All(const Program& p, std::uint16_t type, std::uint16_t id) {
    std::vector<const pe::Resource*> out;
    for (const pe::Resource& r : p.resources) {
      if (r.type == type && r.id == id && r.name.empty()) out.push_back(&r);
    }
    return out;
  }

  // Strings 96..127 of a language (blocks 7 and 8), empty when a block is missing.
  static std::map<int, std::u16string> Strings(const Program& p, std::uint16_t lang) {
    std::map<int, std::u16string> out;
    for (std::uint16_t block : {7, 8}) {
      const pe::Resource* r = Find(p, pe::kRtString, block, lang);
      if (r == nullptr) continue;
      const auto strings = pe::DecodeStringBlock(r->data);
      if (!strings) continue;
      for (int i = 0; i < 16; ++i) out[(block - 1) * 16 + i] = (*strings)[static_cast<std::size_t>(i)];
    }
    return out;
  }

  std::vector<Program> programs_;
};

TEST_F(ExeResources, EveryLanguageCarriesBothDialogsAndTheStringBlocks) {
  for (const Program& p : programs_) {
    SCOPED_TRACE(p.path);
    for (std::uint16_t lang : kNine) {
      EXPECT_NE(Find(p, pe::kRtDialog, IDD_UNINSTALL, lang), nullptr) << Hex(lang) << " dialog 105";
      EXPECT_NE(Find(p, pe::kRtDialog, IDD_INSTALLER, lang), nullptr) << Hex(lang) << " dialog 106";
      EXPECT_NE(Find(p, pe::kRtString, 7, lang), nullptr) << Hex(lang) << " strings 96-111";
      EXPECT_NE(Find(p, pe::kRtString, 8, lang), nullptr) << Hex(lang) << " strings 112-127";
    }
    // Nothing else: no dialog or string block in a language of its own.
    for (const pe::Resource& r : p.resources) {
      if (r.type == pe::kRtDialog || r.type == pe::kRtString) {
        EXPECT_NE(std::find(kNine.begin(), kNine.end(), r.lang), kNine.end())
            << "type " << r.type << " id " << r.id << " in " << Hex(r.lang);
        EXPECT_TRUE(r.type != pe::kRtString || r.id == 7 || r.id == 8) << "string block " << r.id;
        EXPECT_TRUE(r.type != pe::kRtDialog || r.id == IDD_UNINSTALL || r.id == IDD_INSTALLER) << r.id;
      }
    }
  }
}

TEST_F(ExeResources, AllNineteenStringsInEveryLanguageAreTheSimulatedOnes) {
  for (const Program& p : programs_) {
    SCOPED_TRACE(p.path);
    for (std::uint16_t lang : kNine) {
      const std::map<int, std::u16string> strings = Strings(p, lang);
      ASSERT_EQ(strings.size(), 32u) << Hex(lang);
      for (int id = 96; id <= 127; ++id) {
        const std::u16string& text = strings.at(id);
        if (id < IDS_DEVICE_NOT_FOUND || id > IDS_SEARCHING) {
          EXPECT_TRUE(text.empty()) << Hex(lang) << " unexpected string " << id;
          continue;
        }
        EXPECT_FALSE(text.empty()) << Hex(lang) << " string " << id;
        const char16_t* simulated = res::FindString(lang, static_cast<std::uint16_t>(id));
        ASSERT_NE(simulated, nullptr) << Hex(lang) << " " << id;
        EXPECT_EQ(text, std::u16string(simulated)) << Hex(lang) << " string " << id << ": " << Ascii(text);
      }
    }
  }
}

TEST_F(ExeResources, StringsCanBeFilledWithTheCallersArguments) {
  for (const Program& p : programs_) {
    SCOPED_TRACE(p.path);
    const std::map<int, std::u16string> english = Strings(p, 0x0009);
    ASSERT_EQ(english.size(), 32u);
    for (std::uint16_t lang : kNine) {
      const std::map<int, std::u16string> strings = Strings(p, lang);
      ASSERT_EQ(strings.size(), 32u) << Hex(lang);
      for (int id = IDS_DEVICE_NOT_FOUND; id <= IDS_SEARCHING; ++id) {
        EXPECT_EQ(CheckPlaceholders(id, english.at(id), strings.at(id)), "") << Hex(lang) << " string " << id;
      }
    }
  }
}

TEST_F(ExeResources, DialogsAreTheSimulatedOnes) {
  for (const Program& p : programs_) {
    SCOPED_TRACE(p.path);
    for (std::uint16_t lang : kNine) {
      for (std::uint16_t id : {std::uint16_t{IDD_UNINSTALL}, std::uint16_t{IDD_INSTALLER}}) {
        SCOPED_TRACE(Hex(lang) + " dialog " + std::to_string(id));
        const pe::Resource* r = Find(p, pe::kRtDialog, id, lang);
        ASSERT_NE(r, nullptr);
        const auto d = pe::DecodeDialogEx(r->data);
        ASSERT_TRUE(d.has_value()) << "not an extended dialog template";
        const res::DialogTemplate* t = res::FindDialog(lang, id);
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(d->style, t->style);
        EXPECT_EQ(d->exStyle, t->exStyle);
        EXPECT_EQ(d->x, t->x);
        EXPECT_EQ(d->y, t->y);
        EXPECT_EQ(d->cx, t->cx);
        EXPECT_EQ(d->cy, t->cy);
        EXPECT_EQ(d->caption, std::u16string(t->caption));
        EXPECT_EQ(d->typeface, std::u16string(res::kDialogFontFace));
        EXPECT_EQ(d->pointSize, res::kDialogFontPointSize);
        EXPECT_EQ(d->weight, res::kDialogFontWeight);
        EXPECT_EQ(d->italic, 0);
        EXPECT_TRUE(d->menu.isOrdinal || d->menu.text.empty());
        ASSERT_EQ(d->items.size(), t->controlCount);
        for (std::size_t i = 0; i < d->items.size(); ++i) {
          const pe::DialogItem& item = d->items[i];
          const res::DialogControl& c = t->controls[i];
          SCOPED_TRACE("control " + std::to_string(c.id));
          EXPECT_EQ(static_cast<std::int16_t>(item.id), c.id);
          EXPECT_EQ(item.x, c.x);
          EXPECT_EQ(item.y, c.y);
          EXPECT_EQ(item.cx, c.cx);
          EXPECT_EQ(item.cy, c.cy);
          EXPECT_EQ(item.style, c.style);
          EXPECT_EQ(item.exStyle, c.exStyle);
          // Predefined classes by ordinal, the others by name (any case).
          std::u16string cls = item.cls.text;
          if (item.cls.isOrdinal) {
            const std::map<std::uint16_t, std::u16string> names = {
                {0x80, u"Button"}, {0x81, u"Edit"}, {0x82, u"Static"}};
            ASSERT_TRUE(names.count(item.cls.ordinal)) << item.cls.ordinal;
            cls = names.at(item.cls.ordinal);
          }
          EXPECT_EQ(Lower(cls), Lower(c.cls));
          if (res::ImageIdOf(c) != 0) {
            EXPECT_TRUE(item.text.isOrdinal);
            EXPECT_EQ(item.text.ordinal, res::ImageIdOf(c));
          } else {
            EXPECT_FALSE(item.text.isOrdinal);
            EXPECT_EQ(item.text.text, std::u16string(c.text));
          }
        }
      }
    }
  }
}

TEST_F(ExeResources, PicturesAndIconAreStoredOnceAndLanguageNeutral) {
  for (const Program& p : programs_) {
    SCOPED_TRACE(p.path);
    // The line drawing has few enough colors to be stored with a palette.
    struct Picture {
      int width, height, bits;
    };
    const std::map<std::uint16_t, Picture> bitmaps = {{IDB_GEAR, {67, 67, 24}},
                                                      {IDB_CONNECTION, {490, 122, 8}}};
    for (const auto& [id, picture] : bitmaps) {
      const auto copies = All(p, pe::kRtBitmap, id);
      ASSERT_EQ(copies.size(), 1u) << "bitmap " << id;
      EXPECT_EQ(copies[0]->lang, 0) << "bitmap " << id;
      const auto info = pe::DecodeBitmap(copies[0]->data);
      ASSERT_TRUE(info.has_value());
      EXPECT_EQ(info->width, picture.width);
      EXPECT_EQ(std::abs(info->height), picture.height);
      EXPECT_EQ(info->bits, picture.bits);
      EXPECT_EQ(info->compression, 0u);
    }
    const auto groups = All(p, pe::kRtGroupIcon, IDI_APP);
    ASSERT_EQ(groups.size(), 1u);
    EXPECT_EQ(groups[0]->lang, 0);
    const auto entries = pe::DecodeIconGroup(groups[0]->data);
    ASSERT_TRUE(entries.has_value());
    std::set<int> sizes;
    for (const pe::IconEntry& e : *entries) {
      sizes.insert(e.width);
      EXPECT_EQ(e.width, e.height);
      EXPECT_EQ(e.bits, 32);
      EXPECT_EQ(All(p, pe::kRtIcon, e.iconId).size(), 1u) << "icon image " << e.iconId;
    }
    EXPECT_EQ(sizes, (std::set<int>{16, 32, 48}));
  }
}

TEST_F(ExeResources, ManifestAsksForAdministratorCommonControlsAndDpiAwareness) {
  for (const Program& p : programs_) {
    SCOPED_TRACE(p.path);
    const auto manifests = All(p, pe::kRtManifest, 1);
    ASSERT_EQ(manifests.size(), 1u);
    const std::string xml(manifests[0]->data.begin(), manifests[0]->data.end());
    for (const char* part :
         {"level=\"requireAdministrator\"", "uiAccess=\"false\"", "name=\"Microsoft.Windows.Common-Controls\"",
          "version=\"6.0.0.0\"", "publicKeyToken=\"6595b64144ccf1df\"", ">PerMonitorV2</dpiAwareness>",
          ">true</dpiAware>", "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
          "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}"}) {
      EXPECT_NE(xml.find(part), std::string::npos) << part;
    }
    EXPECT_EQ(All(p, pe::kRtManifest, 2).size(), 0u);
  }
}

TEST_F(ExeResources, VersionInformation) {
  for (const Program& p : programs_) {
    SCOPED_TRACE(p.path);
    const auto versions = All(p, pe::kRtVersion, 1);
    ASSERT_EQ(versions.size(), 1u);
    const pe::Bytes& data = versions[0]->data;
    // VS_FIXEDFILEINFO: signature, then file and product version (high, low).
    pe::Reader r(data);
    std::size_t fixed = 0;
    for (std::size_t at = 0; at + 4 <= data.size(); at += 4) {
      if (r.U32(at) == 0xFEEF04BD) {
        fixed = at;
        break;
      }
    }
    ASSERT_NE(fixed, 0u) << "no VS_FIXEDFILEINFO";
    EXPECT_EQ(r.U32(fixed + 8), (2026u << 16) | 4u);
    EXPECT_EQ(r.U32(fixed + 12), (7u << 16) | 6u);
    EXPECT_EQ(r.U32(fixed + 16), (2026u << 16) | 4u);
    EXPECT_EQ(r.U32(fixed + 20), (7u << 16) | 6u);
    std::u16string text;
    for (std::size_t at = 0; at + 1 < data.size(); at += 2) text.push_back(r.U16(at));
    for (const char16_t* part :
         {u"CompanyName", u"Korvane", u"ProductName", u"Korvane printer driver installer", u"ProductVersion",
          u"2026.4.7.6", u"OriginalFilename", u"korvsetup.exe", u"FileVersion"}) {
      EXPECT_NE(text.find(part), std::u16string::npos) << Ascii(part);
    }
  }
}

TEST(PeResourceReader, RejectsFilesThatAreNotPrograms) {
  std::vector<pe::Resource> out;
  std::string error;
  EXPECT_FALSE(pe::ReadResources(pe::Bytes{'M', 'Z'}, out, error));
  pe::Bytes fake(0x200, 0);
  fake[0] = 'M';
  fake[1] = 'Z';
  fake[0x3C] = 0x80;
  EXPECT_FALSE(pe::ReadResources(fake, out, error));
  EXPECT_EQ(error, "no PE signature");
  fake[0x3C] = 0xF0;  // PE header would run past the end of the file
  EXPECT_FALSE(pe::ReadResources(fake, out, error));
  EXPECT_TRUE(out.empty());
}

TEST(PeResourceReader, DecodesAStringBlock) {
  pe::Bytes block;
  auto put = [&](std::u16string_view s) {
    block.push_back(static_cast<std::uint8_t>(s.size()));
    block.push_back(0);
    for (char16_t c : s) {
      block.push_back(static_cast<std::uint8_t>(c & 0xFF));
      block.push_back(static_cast<std::uint8_t>(c >> 8));
    }
  };
  for (int i = 0; i < 16; ++i) put(i == 5 ? u"Message" : u"");
  const auto strings = pe::DecodeStringBlock(block);
  ASSERT_TRUE(strings.has_value());
  EXPECT_EQ((*strings)[5], u"Message");
  EXPECT_TRUE((*strings)[4].empty());
  // A block cut short does not decode.
  block.resize(block.size() - 1);
  EXPECT_FALSE(pe::DecodeStringBlock(block).has_value());
}

}  // namespace
}  // namespace korv::test

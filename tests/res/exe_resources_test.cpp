// The one drift check: the built programs (build/win32, build/win64 or KORV_EXE)
// carry the very texts and dialogs of the simulated build, which different tools
// generate from the same sources. Skipped when no program has been built.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "app/res/resource_tables.h"
#include "common/resource_ids.h"

namespace korv::test {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
constexpr std::uint16_t kRtDialog = 5, kRtString = 6;

// Little-endian reads that refuse to run past the data.
struct Reader {
  const Bytes& data;
  std::size_t base = 0;
  std::uint16_t U16(std::size_t at) const {
    if (base + at + 2 > data.size()) throw std::runtime_error("read past the end");
    return static_cast<std::uint16_t>(data[base + at] | data[base + at + 1] << 8);
  }
  std::uint32_t U32(std::size_t at) const { return U16(at) | static_cast<std::uint32_t>(U16(at + 2)) << 16; }
  std::u16string Sz(std::size_t& at) const {
    std::u16string s;
    for (char16_t c; (c = U16(at)) != 0; at += 2) s += c;
    at += 2;
    return s;
  }
  // A class or text field: an ordinal as "#n", else the string.
  std::u16string SzOrOrd(std::size_t& at) const {
    if (U16(at) != 0xFFFF) return Sz(at);
    at += 4;
    std::u16string s = u"#";
    for (char c : std::to_string(U16(at - 2))) s += static_cast<char16_t>(c);
    return s;
  }
};

// Every resource leaf: (type, id, language) to its bytes. Names given as
// strings are not used by the program and are skipped.
std::map<std::tuple<int, int, int>, Bytes> ReadResources(const Bytes& file) {
  const Reader r{file};
  if (r.U16(0) != 0x5A4D || r.U32(r.U32(0x3C)) != 0x4550) throw std::runtime_error("not a PE file");
  const std::size_t pe = r.U32(0x3C), opt = pe + 24;
  const std::size_t dirs = opt + (r.U16(opt) == 0x20B ? 112 : 96);
  const std::uint32_t resRva = r.U32(dirs + 16);
  // The section that holds the resource directory, to turn RVAs into offsets.
  std::size_t sectionRva = 0, sectionOffset = 0;
  for (std::size_t i = 0, table = opt + r.U16(pe + 20); i < r.U16(pe + 6); ++i, table += 40) {
    if (resRva >= r.U32(table + 12) && resRva < r.U32(table + 12) + r.U32(table + 8)) {
      sectionRva = r.U32(table + 12);
      sectionOffset = r.U32(table + 20);
    }
  }
  if (sectionRva == 0) throw std::runtime_error("no resource section");
  const Reader res{file, sectionOffset + resRva - sectionRva};
  std::map<std::tuple<int, int, int>, Bytes> out;
  auto entries = [&](std::uint32_t dir, auto&& visit) {
    const std::size_t count = std::size_t{res.U16(dir + 12)} + res.U16(dir + 14);
    for (std::size_t e = dir + 16; e < dir + 16 + 8 * count; e += 8) {
      if ((res.U32(e) & 0x80000000u) == 0) visit(res.U32(e), res.U32(e + 4) & 0x7FFFFFFFu);
    }
  };
  entries(0, [&](std::uint32_t type, std::uint32_t names) {
    entries(names, [&](std::uint32_t id, std::uint32_t langs) {
      entries(langs, [&](std::uint32_t lang, std::uint32_t leaf) {
        const std::size_t at = sectionOffset + res.U32(leaf) - sectionRva, size = res.U32(leaf + 4);
        if (at + size > file.size()) throw std::runtime_error("resource past the end");
        out[{type, id, lang}] = Bytes(file.begin() + static_cast<long>(at), file.begin() + static_cast<long>(at + size));
      });
    });
  });
  return out;
}

std::vector<fs::path> Programs() {
  if (const char* exe = std::getenv("KORV_EXE"); exe != nullptr && *exe != 0) return {exe};
  const fs::path root = fs::path(__FILE__).parent_path().parent_path().parent_path();
  std::vector<fs::path> found;
  for (const char* preset : {"win32", "win64"}) {
    if (fs::is_regular_file(root / "build" / preset / "korvsetup.exe")) found.push_back(root / "build" / preset / "korvsetup.exe");
  }
  return found;
}

std::u16string Lower(std::u16string s) {
  for (char16_t& c : s) c = (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
  return s;
}

TEST(ExeResources, TextsAndDialogsAreTheSimulatedOnes) {
  const auto programs = Programs();
  if (programs.empty()) GTEST_SKIP() << "no built korvsetup.exe (build the win32 or win64 preset)";
  const std::map<std::u16string, std::u16string> ordinals = {{u"#128", u"button"}, {u"#129", u"edit"}, {u"#130", u"static"}};
  for (const fs::path& path : programs) {
    SCOPED_TRACE(path.string());
    std::ifstream in(path, std::ios::binary);
    const auto resources = ReadResources(Bytes(std::istreambuf_iterator<char>(in), {}));
    for (std::size_t l = 0; l < res::kLanguageCount; ++l) {
      const int lang = res::kLanguages[l];
      SCOPED_TRACE("language " + std::to_string(lang));
      // Strings 96..127 are blocks 7 and 8, 16 counted strings each.
      for (int block : {7, 8}) {
        ASSERT_TRUE(resources.count({kRtString, block, lang})) << "string block " << block;
        const Reader r{resources.at({kRtString, block, lang})};
        for (std::size_t i = 0, at = 0; i < 16; ++i) {
          std::u16string text;
          for (std::uint16_t n = r.U16(at), k = 0; k < n; ++k) text += r.U16(at + 2 + 2u * k);
          at += 2 + 2u * text.size();
          const int id = (block - 1) * 16 + static_cast<int>(i);
          const char16_t* simulated = res::FindString(static_cast<std::uint16_t>(lang), static_cast<std::uint16_t>(id));
          EXPECT_EQ(text, simulated != nullptr ? simulated : u"") << "string " << id;
        }
      }
      for (int dialogId : {IDD_UNINSTALL, IDD_INSTALLER}) {
        SCOPED_TRACE("dialog " + std::to_string(dialogId));
        ASSERT_TRUE(resources.count({kRtDialog, dialogId, lang}));
        const res::DialogTemplate& t = *res::FindDialog(static_cast<std::uint16_t>(lang), static_cast<std::uint16_t>(dialogId));
        const Reader r{resources.at({kRtDialog, dialogId, lang})};
        ASSERT_EQ(r.U32(0), 0xFFFF0001u) << "an extended dialog template";
        EXPECT_EQ(r.U32(8), t.exStyle);
        EXPECT_EQ(r.U32(12), t.style);
        ASSERT_EQ(r.U16(16), t.controlCount);
        EXPECT_EQ(std::make_tuple(r.U16(22), r.U16(24)), std::make_tuple(t.cx, t.cy));
        std::size_t at = 26;
        r.SzOrOrd(at);  // menu
        r.SzOrOrd(at);  // class
        EXPECT_EQ(r.Sz(at), t.caption);
        EXPECT_EQ(r.U16(at), res::kDialogFontPointSize);
        EXPECT_EQ(r.U16(at + 2), res::kDialogFontWeight);
        at += 6;
        EXPECT_EQ(r.Sz(at), res::kDialogFontFace);
        for (std::size_t i = 0; i < t.controlCount; ++i) {
          const res::DialogControl& c = t.controls[i];
          SCOPED_TRACE("control " + std::to_string(c.id));
          at = (at + 3) & ~std::size_t{3};
          EXPECT_EQ(std::make_tuple(r.U32(at + 4), r.U32(at + 8)), std::make_tuple(c.exStyle, c.style));
          EXPECT_EQ(std::make_tuple(r.U16(at + 12), r.U16(at + 14), r.U16(at + 16), r.U16(at + 18)),
                    std::make_tuple(static_cast<std::uint16_t>(c.x), static_cast<std::uint16_t>(c.y),
                                    static_cast<std::uint16_t>(c.cx), static_cast<std::uint16_t>(c.cy)));
          EXPECT_EQ(static_cast<std::int16_t>(r.U32(at + 20)), c.id);
          at += 24;
          std::u16string cls = Lower(r.SzOrOrd(at));
          if (ordinals.count(cls)) cls = ordinals.at(cls);
          EXPECT_EQ(cls, Lower(c.cls));
          EXPECT_EQ(r.SzOrOrd(at), c.text);
          at += 2 + r.U16(at);
        }
      }
    }
  }
}

}  // namespace
}  // namespace korv::test

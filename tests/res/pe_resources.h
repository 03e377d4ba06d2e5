// Reads the resource section of a PE file (a Windows .exe, 32 or 64 bit) and
// decodes the resource kinds korvsetup carries: string-table blocks, extended
// dialog templates, bitmaps and icon groups. Test helper; it trusts nothing
// in the file and reports the first problem it finds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace korv::test::pe {

using Bytes = std::vector<std::uint8_t>;

inline constexpr std::uint16_t kRtIcon = 3;
inline constexpr std::uint16_t kRtBitmap = 2;
inline constexpr std::uint16_t kRtDialog = 5;
inline constexpr std::uint16_t kRtString = 6;
inline constexpr std::uint16_t kRtGroupIcon = 14;
inline constexpr std::uint16_t kRtVersion = 16;
inline constexpr std::uint16_t kRtManifest = 24;

// One resource: type, name and language; a name given as a string (not an
// id) is kept in `name` with id 0, likewise for a type.
struct Resource {
  std::uint16_t type = 0;
  std::u16string typeName;
  std::uint16_t id = 0;
  std::u16string name;
  std::uint16_t lang = 0;
  Bytes data;
};

// Bounds-checked little-endian reader over a byte range.
class Reader {
 public:
  explicit Reader(const Bytes& bytes) : data_(bytes.data()), size_(bytes.size()) {}
  Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  bool Has(std::size_t at, std::size_t n) const { return at <= size_ && n <= size_ - at; }
  std::uint8_t U8(std::size_t at) const { return Has(at, 1) ? data_[at] : Fail(); }
  std::uint16_t U16(std::size_t at) const {
    return Has(at, 2) ? static_cast<std::uint16_t>(data_[at] | (data_[at + 1] << 8)) : Fail();
  }
  std::uint32_t U32(std::size_t at) const {
    return Has(at, 4) ? static_cast<std::uint32_t>(U16(at) | (static_cast<std::uint32_t>(U16(at + 2)) << 16))
                      : Fail();
  }
  std::int16_t I16(std::size_t at) const { return static_cast<std::int16_t>(U16(at)); }
  // A zero-terminated UTF-16 string at `at`; `at` moves past the terminator.
  std::u16string Sz(std::size_t& at) const {
    std::u16string s;
    for (;;) {
      const char16_t c = U16(at);
      at += 2;
      if (c == 0 || !ok_) return s;
      s.push_back(c);
    }
  }
  bool ok() const { return ok_; }

 private:
  std::uint8_t Fail() const {
    ok_ = false;
    return 0;
  }
  const std::uint8_t* data_;
  std::size_t size_;
  mutable bool ok_ = true;
};

inline std::optional<Bytes> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

namespace detail {

struct Section {
  std::uint32_t rva, size, fileOffset, fileSize;
};

inline std::optional<std::size_t> RvaToOffset(const std::vector<Section>& sections, std::uint32_t rva,
                                              std::uint32_t length) {
  for (const Section& s : sections) {
    const std::uint32_t extent = s.size > s.fileSize ? s.size : s.fileSize;
    if (rva >= s.rva && rva - s.rva < extent) {
      const std::uint32_t within = rva - s.rva;
      if (within > s.fileSize || length > s.fileSize - within) return std::nullopt;
      return static_cast<std::size_t>(s.fileOffset) + within;
    }
  }
  return std::nullopt;
}

}  // namespace detail

// All resources of the file, or an error text.
inline bool ReadResources(const Bytes& file, std::vector<Resource>& out, std::string& error) {
  Reader r(file);
  if (file.size() < 0x40 || r.U16(0) != 0x5A4D) return error = "no MZ header", false;
  const std::size_t pe = r.U32(0x3C);
  if (!r.Has(pe, 24) || r.U32(pe) != 0x00004550) return error = "no PE signature", false;
  const std::uint16_t sectionCount = r.U16(pe + 6);
  const std::uint16_t optionalSize = r.U16(pe + 20);
  const std::size_t opt = pe + 24;
  const std::uint16_t magic = r.U16(opt);
  std::size_t dirs = 0;
  if (magic == 0x10B) {
    dirs = opt + 96;
  } else if (magic == 0x20B) {
    dirs = opt + 112;
  } else {
    return error = "unknown optional header", false;
  }
  const std::uint32_t dirCount = r.U32(dirs - 4);
  if (dirCount < 3 || dirs + 3 * 8 > opt + optionalSize) return error = "no resource directory entry", false;
  const std::uint32_t resRva = r.U32(dirs + 2 * 8);
  const std::uint32_t resSize = r.U32(dirs + 2 * 8 + 4);
  if (resRva == 0 || resSize == 0) return error = "the file has no resources", false;

  std::vector<detail::Section> sections;
  const std::size_t table = opt + optionalSize;
  for (std::size_t i = 0; i < sectionCount; ++i) {
    const std::size_t at = table + i * 40;
    sections.push_back({r.U32(at + 12), r.U32(at + 8), r.U32(at + 20), r.U32(at + 16)});
  }
  if (!r.ok()) return error = "truncated headers", false;
  const auto base = detail::RvaToOffset(sections, resRva, resSize);
  if (!base) return error = "resource directory outside the file", false;
  Reader res(file.data() + *base, resSize);

  // Directory level 0: types, 1: names, 2: languages. Offsets are relative to
  // the start of the resource section; the leaf's data is an RVA.
  struct Key {
    std::uint16_t id;
    std::u16string name;
  };
  auto readKey = [&](std::uint32_t nameField, Key& key) {
    if ((nameField & 0x80000000u) == 0) {
      key.id = static_cast<std::uint16_t>(nameField);
      return true;
    }
    std::size_t at = nameField & 0x7FFFFFFFu;
    const std::uint16_t length = res.U16(at);
    for (std::uint16_t i = 0; i < length; ++i) key.name.push_back(res.U16(at + 2 + 2u * i));
    return res.ok();
  };
  auto entries = [&](std::size_t dir, auto&& visit) {
    const std::size_t count = std::size_t{res.U16(dir + 12)} + res.U16(dir + 14);
    if (!res.ok() || count > 4096) return false;
    for (std::size_t i = 0; i < count; ++i) {
      const std::size_t e = dir + 16 + i * 8;
      if (!visit(res.U32(e), res.U32(e + 4)) || !res.ok()) return false;
    }
    return true;
  };
  const bool ok = entries(0, [&](std::uint32_t typeField, std::uint32_t typeOffset) {
    Key type;
    if (!readKey(typeField, type) || (typeOffset & 0x80000000u) == 0) return false;
    return entries(typeOffset & 0x7FFFFFFFu, [&](std::uint32_t nameField, std::uint32_t nameOffset) {
      Key name;
      if (!readKey(nameField, name) || (nameOffset & 0x80000000u) == 0) return false;
      return entries(nameOffset & 0x7FFFFFFFu, [&](std::uint32_t langField, std::uint32_t leaf) {
        if ((leaf & 0x80000000u) != 0 || (langField & 0x80000000u) != 0) return false;
        const std::uint32_t rva = res.U32(leaf), size = res.U32(leaf + 4);
        const auto at = detail::RvaToOffset(sections, rva, size);
        if (!at) return false;
        Resource item;
        item.type = type.id;
        item.typeName = type.name;
        item.id = name.id;
        item.name = name.name;
        item.lang = static_cast<std::uint16_t>(langField);
        item.data.assign(file.begin() + static_cast<std::ptrdiff_t>(*at),
                         file.begin() + static_cast<std::ptrdiff_t>(*at + size));
        out.push_back(std::move(item));
        return true;
      });
    });
  });
  if (!ok) return error = "malformed resource directory", false;
  return true;
}

// The 16 strings of a string-table block; block n holds ids 16(n-1) .. 16(n-1)+15.
inline std::optional<std::vector<std::u16string>> DecodeStringBlock(const Bytes& data) {
  Reader r(data);
  std::vector<std::u16string> strings;
  std::size_t at = 0;
  for (int i = 0; i < 16; ++i) {
    const std::uint16_t length = r.U16(at);
    at += 2;
    std::u16string s;
    for (std::uint16_t k = 0; k < length; ++k, at += 2) s.push_back(r.U16(at));
    strings.push_back(std::move(s));
  }
  if (!r.ok()) return std::nullopt;
  return strings;
}

// A class, menu or text field of a dialog template: an ordinal (0xFFFF, n)
// or a string.
struct SzOrOrd {
  bool isOrdinal = false;
  std::uint16_t ordinal = 0;
  std::u16string text;
};

struct DialogItem {
  std::uint32_t helpId, exStyle, style;
  int x, y, cx, cy;
  std::int32_t id;
  SzOrOrd cls, text;
};

struct Dialog {
  std::uint32_t helpId, exStyle, style;
  int x, y, cx, cy;
  SzOrOrd menu, cls;
  std::u16string caption;
  int pointSize = 0, weight = 0, italic = 0, charset = 0;
  std::u16string typeface;
  std::vector<DialogItem> items;
};

// Decodes an extended dialog template (DLGTEMPLATEEX and its DLGITEMTEMPLATEEX).
inline std::optional<Dialog> DecodeDialogEx(const Bytes& data) {
  Reader r(data);
  if (r.U16(0) != 1 || r.U16(2) != 0xFFFF) return std::nullopt;
  Dialog d;
  d.helpId = r.U32(4);
  d.exStyle = r.U32(8);
  d.style = r.U32(12);
  const std::uint16_t count = r.U16(16);
  d.x = r.I16(18);
  d.y = r.I16(20);
  d.cx = r.I16(22);
  d.cy = r.I16(24);
  std::size_t at = 26;
  auto szOrOrd = [&](SzOrOrd& v) {
    if (r.U16(at) == 0xFFFF) {
      v.isOrdinal = true;
      v.ordinal = r.U16(at + 2);
      at += 4;
    } else {
      v.text = r.Sz(at);
    }
  };
  szOrOrd(d.menu);
  szOrOrd(d.cls);
  d.caption = r.Sz(at);
  if ((d.style & 0x48) != 0) {  // DS_SETFONT or DS_SHELLFONT
    d.pointSize = r.U16(at);
    d.weight = r.U16(at + 2);
    d.italic = r.U8(at + 4);
    d.charset = r.U8(at + 5);
    at += 6;
    d.typeface = r.Sz(at);
  }
  for (std::uint16_t i = 0; i < count && r.ok(); ++i) {
    at = (at + 3) & ~std::size_t{3};
    DialogItem item;
    item.helpId = r.U32(at);
    item.exStyle = r.U32(at + 4);
    item.style = r.U32(at + 8);
    item.x = r.I16(at + 12);
    item.y = r.I16(at + 14);
    item.cx = r.I16(at + 16);
    item.cy = r.I16(at + 18);
    item.id = static_cast<std::int32_t>(r.U32(at + 20));
    at += 24;
    szOrOrd(item.cls);
    szOrOrd(item.text);
    const std::uint16_t extra = r.U16(at);
    at += 2 + extra;
    d.items.push_back(std::move(item));
  }
  if (!r.ok() || d.items.size() != count) return std::nullopt;
  return d;
}

struct BitmapInfo {
  int width, height, bits;
  std::uint32_t compression;
};

// The BITMAPINFOHEADER of an RT_BITMAP resource.
inline std::optional<BitmapInfo> DecodeBitmap(const Bytes& data) {
  Reader r(data);
  if (r.U32(0) < 40) return std::nullopt;
  BitmapInfo info{static_cast<int>(r.U32(4)), static_cast<int>(r.U32(8)), r.U16(14), r.U32(16)};
  if (!r.ok()) return std::nullopt;
  return info;
}

struct IconEntry {
  int width, height, bits;
  std::uint16_t iconId;  // the RT_ICON resource with the image
};

// The entries of an RT_GROUP_ICON resource (GRPICONDIR).
inline std::optional<std::vector<IconEntry>> DecodeIconGroup(const Bytes& data) {
  Reader r(data);
  if (r.U16(0) != 0 || r.U16(2) != 1) return std::nullopt;
  std::vector<IconEntry> out;
  const std::uint16_t count = r.U16(4);
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t at = 6 + i * 14;
    const int w = r.U8(at), h = r.U8(at + 1);
    out.push_back({w == 0 ? 256 : w, h == 0 ? 256 : h, r.U16(at + 6), r.U16(at + 12)});
  }
  if (!r.ok()) return std::nullopt;
  return out;
}

}  // namespace korv::test::pe

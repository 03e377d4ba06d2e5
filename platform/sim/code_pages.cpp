#include "platform/sim/code_pages.h"

#include <iconv.h>

#include <array>

namespace korv::sim {

namespace {

// Windows-1252 bytes 0x80-0x9F; 0 marks the five unassigned ones.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

constexpr char kDefaultChar = '?';
constexpr char16_t kDefaultUnicodeChar932 = 0x30FB;

char16_t Cp1252ToWide(unsigned char b) {
  if (b >= 0x80 && b < 0xA0) {
    char16_t c = kCp1252High[b - 0x80];
    return c != 0 ? c : static_cast<char16_t>(b);
  }
  return static_cast<char16_t>(b);
}

char WideToCp1252(char16_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<char>(c);
  for (int i = 0; i < 32; ++i) {
    if (kCp1252High[i] == c) return static_cast<char>(0x80 + i);
  }
  return kDefaultChar;
}

// One conversion descriptor of the C library, closed at the end.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (ok()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // Converts all of `in`; false when it is not one whole character.
  bool Whole(const char* in, std::size_t inBytes, std::string* out) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    std::array<char, 16> buffer{};
    char* source = const_cast<char*>(in);
    char* target = buffer.data();
    std::size_t left = inBytes;
    std::size_t room = buffer.size();
    if (iconv(cd_, &source, &left, &target, &room) == static_cast<std::size_t>(-1) || left != 0) return false;
    out->assign(buffer.data(), buffer.size() - room);
    return true;
  }

 private:
  iconv_t cd_;
};

bool IsLeadByte932(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

}  // namespace

std::string WideToAnsi(unsigned codePage, std::u16string_view text) {
  std::string out;
  if (codePage != 932) {
    for (std::size_t i = 0; i < text.size(); ++i) {
      const char16_t c = text[i];
      if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) ++i;
      out += WideToCp1252(c);
    }
    return out;
  }
  Converter convert("CP932", "UTF-16LE");
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::size_t units = 1;
    if (text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      units = 2;
    }
    std::string bytes;
    char unit[4] = {};
    for (std::size_t u = 0; u < units; ++u) {
      unit[2 * u] = static_cast<char>(text[i + u] & 0xFF);
      unit[2 * u + 1] = static_cast<char>(text[i + u] >> 8);
    }
    if (text[i] < 0x80) {
      out += static_cast<char>(text[i]);
    } else if (convert.ok() && convert.Whole(unit, 2 * units, &bytes)) {
      out += bytes;
    } else {
      out += kDefaultChar;
    }
    i += units - 1;
  }
  return out;
}

Text AnsiToWide(unsigned codePage, std::string_view bytes) {
  Text out;
  if (codePage != 932) {
    for (char b : bytes) out += Cp1252ToWide(static_cast<unsigned char>(b));
    return out;
  }
  Converter convert("UTF-16LE", "CP932");
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    const std::size_t length = IsLeadByte932(b) && i + 1 < bytes.size() ? 2 : 1;
    std::string units;
    if (b < 0x80) {
      out += static_cast<char16_t>(b);
    } else if (convert.ok() && convert.Whole(bytes.data() + i, length, &units) && units.size() == 2) {
      out += static_cast<char16_t>(static_cast<unsigned char>(units[0]) | (static_cast<unsigned char>(units[1]) << 8));
    } else {
      out += kDefaultUnicodeChar932;
    }
    i += length - 1;
  }
  return out;
}

}  // namespace korv::sim

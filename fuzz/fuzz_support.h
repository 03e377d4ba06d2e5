// Helpers shared by the fuzz targets: a check that stops the run with a
// readable message (libFuzzer then keeps the input as a crash), and the
// conversions between fuzz bytes and UTF-16 text.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/globals.h"
#include "common/text_util.h"
#include "platform/sim/machine.h"

namespace korv::fuzz {

// A wrong result is as much a finding as a crash: libFuzzer keeps the input.
#define KORV_FUZZ_CHECK(condition, ...)                                                \
  do {                                                                                 \
    if (!(condition)) {                                                                \
      std::fprintf(stderr, "%s:%d: check failed: %s\n  ", __FILE__, __LINE__, #condition); \
      std::fprintf(stderr, __VA_ARGS__);                                               \
      std::fprintf(stderr, "\n");                                                      \
      std::abort();                                                                    \
    }                                                                                  \
  } while (0)

// Printable UTF-8 of a text with control characters escaped, for messages.
inline std::string Show(std::u16string_view text) {
  std::string out;
  for (char16_t c : text) {
    if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      char hex[16];
      std::snprintf(hex, sizeof(hex), "\\u%04x", static_cast<unsigned>(c));
      out += hex;
    }
  }
  return out;
}

// UTF-16 text from fuzz bytes: each pair of bytes is one code unit (little
// endian), so any unit, including lone surrogates and zeros, can occur.
inline std::u16string UnitsFrom(std::string_view bytes) {
  std::u16string text;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    text += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                  (static_cast<unsigned char>(bytes[i + 1]) << 8));
  }
  return text;
}

// A denser UTF-16 text: every byte stands for the unit of the same value
// (ASCII and Latin-1), except 0x80, which takes the next two bytes as one
// unit of any value. Short inputs then make readable texts with the
// occasional wide character.
inline std::u16string CompactUnitsFrom(std::string_view bytes) {
  std::u16string text;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const unsigned char b = static_cast<unsigned char>(bytes[i]);
    if (b != 0x80 || i + 2 >= bytes.size()) {
      text += static_cast<char16_t>(b);
    } else {
      text += static_cast<char16_t>(static_cast<unsigned char>(bytes[i + 1]) |
                                    (static_cast<unsigned char>(bytes[i + 2]) << 8));
      i += 2;
    }
  }
  return text;
}

// Every input starts on a fresh machine with fresh globals: the one this
// leaves behind. The reset ends an input, so that what it allocates is also
// freed within it, as libFuzzer's leak check wants.
inline void EndInput() {
  ResetGlobals();
  sim::Machine::Reset();
}

}  // namespace korv::fuzz

// Helpers shared by the fuzz targets.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/globals.h"
#include "platform/sim/machine.h"

namespace korv::fuzz {

// A wrong result is a finding like a crash: abort, so libFuzzer keeps the input.
#define KORV_FUZZ_CHECK(condition, ...)                                                                \
  do {                                                                                                 \
    if (!(condition))                                                                                  \
      std::fprintf(stderr, "%s:%d: check failed: %s\n  ", __FILE__, __LINE__, #condition),             \
          std::fprintf(stderr, __VA_ARGS__), std::fprintf(stderr, "\n"), std::abort();                 \
  } while (0)

// Printable text for messages, other units as \u and their decimal value.
inline std::string Show(std::u16string_view text) {
  std::string out;
  for (char16_t c : text) out += c >= 0x20 && c < 0x7F ? std::string(1, static_cast<char>(c)) : "\\u" + std::to_string(c);
  return out;
}

// Any UTF-16 unit: each pair of bytes (little endian) is one unit.
inline std::u16string UnitsFrom(std::string_view bytes) {
  std::u16string text;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) text += static_cast<char16_t>((bytes[i] & 0xFF) | (bytes[i + 1] & 0xFF) << 8);
  return text;
}

// Denser: a byte is the unit of its value, but 0x80 takes the next two bytes as one unit.
inline std::u16string CompactUnitsFrom(std::string_view bytes) {
  std::u16string text;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const bool wide = (bytes[i] & 0xFF) == 0x80 && i + 2 < bytes.size();
    text += wide ? UnitsFrom(bytes.substr(i + 1, 2))[0] : static_cast<char16_t>(bytes[i] & 0xFF);
    i += wide ? 2 : 0;
  }
  return text;
}

// Up to `max` bytes as CompactUnitsFrom units, terminators left out.
inline std::u16string TextFrom(FuzzedDataProvider& in, std::size_t max) {
  std::u16string text = CompactUnitsFrom(in.ConsumeRandomLengthString(max));
  return std::erase(text, u'\0'), text;
}

constexpr std::size_t kTraceLineLimit = 767;  // a longer trace line is dropped whole

// The debugger output since it was last cleared is `line` and a line feed, or nothing.
inline void CheckTraced(const std::u16string& line, bool writes) {
  const auto& out = sim::Machine::Get().kernel.debugOutput;
  KORV_FUZZ_CHECK(writes ? out.size() == 2 && out[0] == line && out[1] == u"\n" : out.empty(),
                  "trace wrote %zu entries for '%s'", out.size(), Show(line).c_str());
}

}  // namespace korv::fuzz

// Each input runs on a fresh machine and fresh globals, and frees all it took.
#define KORV_FUZZ_TARGET(run)                                                                                  \
  extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {                          \
    FuzzedDataProvider in(data, size);                                                                         \
    return run(in), korv::ResetGlobals(), korv::sim::Machine::Reset(), 0;                                      \
  }

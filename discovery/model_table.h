// The printer models the driver supports: constant product data, built into
// the program. The rows themselves are in discovery/models.def.
#pragma once

#include <cstddef>
#include <cstdint>

namespace korv {

struct ModelEntry {
  const char16_t* manufacturer;  // "Korvane"; null only in the closing row
  const char16_t* model;         // e.g. KV-T100B; null only in the closing row
  // UsbPrintChecksum of the description a printer of this model reports:
  // the four hexadecimal digits that end its hardware ID. Product data for
  // reference; nothing reads it at run time.
  std::uint16_t checksum;
  // Installation options handed on to the per-printer installation; bit
  // 0x10: the model uses the language monitor.
  std::uint8_t options;
  std::uint32_t reserved;  // 0
};

inline constexpr std::size_t kSupportedModelCount = 240;

// The supported models in a fixed order (the first matching row wins a
// lookup), followed by a row of zeros.
extern const ModelEntry SupportedModels[kSupportedModelCount + 1];

}  // namespace korv

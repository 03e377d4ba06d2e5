#include "discovery/checksum.h"

namespace korv {
namespace {

// Table values for a byte's low and high nibble; the byte's entry in a full
// 256-entry table is LOW[b & 0xF] ^ HIGH[b >> 4].
constexpr std::uint16_t kLow[16] = {0x0000, 0xC0C1, 0xC181, 0x0140, 0xC301, 0x03C0,
                                    0x0280, 0xC241, 0xC601, 0x06C0, 0x0780, 0xC741,
                                    0x0500, 0xC5C1, 0xC481, 0x0440};
// The last entry departs from the polynomial (0x4400); see checksum.h.
constexpr std::uint16_t kHigh[16] = {0x0000, 0xCC01, 0xD801, 0x1400, 0xF001, 0x3C00,
                                     0x2800, 0xE401, 0xA001, 0x6C00, 0x7800, 0xB401,
                                     0x5000, 0x9C01, 0x8801, 0x4600};

}  // namespace

void UsbPrintChecksum(const std::uint8_t* bytes, std::uint16_t length, std::uint16_t* out) {
  std::uint16_t crc = 0;
  for (std::uint16_t n = 0; n < length; ++n) {
    const unsigned i = (bytes[n] ^ crc) & 0xFFu;
    crc = static_cast<std::uint16_t>((crc >> 8) ^ kLow[i & 0x0Fu] ^ kHigh[i >> 4]);
  }
  *out = crc;
}

}  // namespace korv

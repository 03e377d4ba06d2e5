// The 16-bit checksum with which Windows' USB printing class driver ends a
// printer's hardware ID ("usbprint\<description><checksum>").
#pragma once

#include <cstdint>

namespace korv {

// Computes the checksum of `length` bytes into *out. A reflected CRC-16 on
// the polynomial 0xA001 (CRC-16/ARC: initial value 0, no final inversion),
// except that the last entry of the high-nibble table is 0x4600 instead of
// 0x4400. The driver computes it that way, and a hardware ID only matches
// when it is computed exactly the same, quirk included.
void UsbPrintChecksum(const std::uint8_t* bytes, std::uint16_t length, std::uint16_t* out);

}  // namespace korv

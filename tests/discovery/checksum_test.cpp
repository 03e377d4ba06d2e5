// The hardware-ID checksum, against values known from USB printers and
// against the one table entry in which it departs from CRC-16/ARC.
#include "discovery/checksum.h"

#include <gtest/gtest.h>

#include <string_view>

namespace korv {
namespace {

std::uint16_t ChecksumOf(std::string_view text) {
  std::uint16_t out = 0xFFFF;
  UsbPrintChecksum(reinterpret_cast<const std::uint8_t*>(text.data()),
                   static_cast<std::uint16_t>(text.size()), &out);
  return out;
}

TEST(UsbPrintChecksumTest, KnownValues) {
  EXPECT_EQ(ChecksumOf("abc"), 0x9738);
  // CRC-16/ARC gives 0xBB3D: the changed table entry is reached here.
  EXPECT_EQ(ChecksumOf("123456789"), 0x593C);
  EXPECT_EQ(ChecksumOf("KorvaneKV-T100B"), 0x4C44);
  EXPECT_EQ(ChecksumOf(""), 0x0000);
}

TEST(UsbPrintChecksumTest, LastHighEntryIs4600) {
  // One byte 0xF0 from crc 0 selects LOW[0] ^ HIGH[15] alone.
  EXPECT_EQ(ChecksumOf("\xF0"), 0x4600);
  // 0xFF selects LOW[15] ^ HIGH[15]: 0x0440 ^ 0x4600.
  EXPECT_EQ(ChecksumOf("\xFF"), 0x4240);
}

TEST(UsbPrintChecksumTest, ReadsExactlyLengthBytes) {
  const std::uint8_t bytes[] = {'a', 'b', 'c', 'd'};
  std::uint16_t out = 0;
  UsbPrintChecksum(bytes, 3, &out);
  EXPECT_EQ(out, 0x9738);
  UsbPrintChecksum(bytes, 0, &out);
  EXPECT_EQ(out, 0);
}

}  // namespace
}  // namespace korv

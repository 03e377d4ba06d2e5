// Discovery of the plugged-in USB printers: which interfaces become records,
// in which order, with which description, port and hardware ID, whatever
// the registry values a printer's driver left behind.
#include "discovery/usb_discovery.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/text_util.h"
#include "discovery/checksum.h"
#include "sim_fixture.h"

namespace korv::test {
namespace {

// The bytes of a UTF-16 text as a registry value's "hex".
std::string Hex(std::u16string_view text) {
  static const char digits[] = "0123456789abcdef";
  std::string hex;
  for (char16_t unit : text) {
    for (unsigned byte : {unsigned{unit} & 0xFFu, unsigned{unit} >> 8u}) hex += {digits[byte >> 4], digits[byte & 15], ' '};
  }
  return hex;
}
// A printer whose "Port Description" (or, with `value` "Port Number") is of this type and bytes.
std::string Valued(const std::string& serial, const std::string& type, const std::string& hex,
                   const std::string& value = "Port Description") {
  const std::string other = value == "Port Number" ? R"("description": "KorvaneKV-T80")" : R"("portNumber": 1)";
  return R"({"serial": ")" + serial + R"(", )" + other + R"(, "values": [{"name": ")" + value + R"(", "type": ")" +
         type + R"(", "hex": ")" + hex + R"("}]})";
}
std::string Hex4(std::uint16_t v) {
  char text[5];
  std::snprintf(text, sizeof(text), "%04x", v);
  return text;
}
std::string ChecksumOf(const std::string& ansi) {
  std::uint16_t v = 0;
  UsbPrintChecksum(reinterpret_cast<const std::uint8_t*>(ansi.data()), static_cast<std::uint16_t>(ansi.size()), &v);
  return Hex4(v);
}

class UsbDiscoveryTest : public SimTest {
 protected:
  // "description@port" of each record, in list order.
  std::string Records() {
    std::string all;
    for (const PrinterDevice* d = DeviceList; d != nullptr; d = d->next) {
      all += (all.empty() ? "" : ",") + U8(d->description) + "@" + U8(d->portName);
    }
    return all;
  }
};

TEST_F(UsbDiscoveryTest, WhichInterfacesBecomeWhichRecords) {
  struct Row {
    const char* what;
    std::string printers;
    std::string records;
    std::string faults = "[]";
  };
  const std::vector<Row> rows = {
      {"nothing plugged", "", ""},
      {"newest first", R"({"serial": "A", "description": "KorvaneKV-T100B", "portNumber": 1},
                          {"serial": "B", "description": "KorvaneKV-L420", "portNumber": 42})",
       "KorvaneKV-L420@USB042,KorvaneKV-T100B@USB001"},
      {"ports of at least three digits", R"({"serial": "A", "description": "X", "portNumber": 7},
          {"serial": "B", "description": "X", "portNumber": 123}, {"serial": "C", "description": "X", "portNumber": 1000},
          {"serial": "D", "description": "X", "portNumber": 0})",
       "X@USB000,X@USB1000,X@USB123,X@USB007"},
      {"a description cut to 32 units",
       R"({"description": "KorvaneKV-T100B Receipt Printer 80mm ABC", "portNumber": 3})",
       "KorvaneKV-T100B Receipt Printer @USB003"},
      {"no description, or an empty one",
       R"({"serial": "A", "description": "", "portNumber": 1}, {"serial": "B", "portNumber": 2})", "@USB002,@USB001"},
      {"descriptions of any shape",
       Valued("1", "REG_SZ", Hex(u"KorvaneKV-T100B")) + "," +                      // no terminator
           Valued("2", "REG_SZ", Hex(u"KorvaneKV-T80") + "58") + "," +              // half a unit more
           Valued("3", "REG_SZ", Hex(std::u16string_view(u"Korvane\0junk", 12))) + "," +
           Valued("4", "REG_BINARY", Hex(u"KorvaneKV-T100B")) + "," + Valued("5", "REG_DWORD", "4b 00 56 00") + "," +
           Valued("6", "REG_MULTI_SZ", Hex(std::u16string_view(u"KorvaneKV-T100B\0\0", 17))) + "," +
           Valued("7", "REG_SZ", "") + "," + Valued("8", "REG_SZ", "4b") + "," +
           Valued("9", "REG_EXPAND_SZ", Hex(std::u16string_view(u"%Korvane%KV\0", 12))) + "," +  // not expanded
           Valued("10", "REG_SZ", Hex(Text(3000, u'A'))) + "," +
           Valued("11", "REG_SZ", Hex(Text(kLargestDescriptionValue / 2 + 1, u'B'))),  // too large to be read
       "@USB001," + std::string(32, 'A') + "@USB001,%Korvane%KV@USB001,@USB001,@USB001,@USB001,@USB001,@USB001,"
                                           "Korvane@USB001,KorvaneKV-T80@USB001,KorvaneKV-T100B@USB001"},
      {"a port number is any value of four bytes",
       R"({"serial": "missing", "description": "KorvaneKV-T80"}, )" +
           Valued("text", "REG_SZ", Hex(std::u16string_view(u"7\0", 2)), "Port Number") + "," +
           Valued("short", "REG_DWORD", "07 00", "Port Number") + "," +
           Valued("long", "REG_QWORD", "07 00 00 00 00 00 00 00", "Port Number") + "," +
           Valued("binary", "REG_BINARY", "07 00 00 00", "Port Number") + "," +
           Valued("empty", "REG_DWORD", "", "Port Number") + "," + Valued("none", "REG_NONE", "12 01 00 00", "Port Number"),
       "KorvaneKV-T80@USB274,KorvaneKV-T80@USB007,KorvaneKV-T80@USB055"},
      {"unplugged", R"({"serial": "A", "description": "A", "portNumber": 1, "present": false},
                       {"serial": "B", "description": "B", "portNumber": 2})", "B@USB002"},
      {"every vendor; a device path naming no key is left out",
       R"({"vid": "04b8", "pid": "0e28", "description": "EPSON TM-T88V", "portNumber": 11},
          {"vid": "1FC9", "pid": "2016", "description": "KorvaneKV-T80", "portNumber": 12},
          {"devicePath": "\\\\?\\usb#vid_2", "description": "KorvaneKV-T58", "portNumber": 13},
          {"devicePath": "\\\\?\\", "description": "KorvaneKV-L420", "portNumber": 14},
          {"devicePath": "ab", "description": "KorvaneKV-L420", "portNumber": 15})",
       "KorvaneKV-T58@USB013,KorvaneKV-T80@USB012,EPSON TM-T88V@USB011"},
  };
  const std::string three = R"({"serial": "A", "description": "A", "portNumber": 1},
      {"serial": "B", "description": "B", "portNumber": 2}, {"serial": "C", "description": "C", "portNumber": 3})";
  const std::vector<Row> failures = {
      {"no class", three, "", R"([{"operation": "SetupDiGetClassDevsW", "error": 5}])"},
      {"no details of the first", three, "C@USB003,B@USB002",
       R"([{"operation": "SetupDiGetDeviceInterfaceDetailW", "error": 122, "onCall": 1}])"},
      {"no key of the second", three, "C@USB003,A@USB001", R"([{"operation": "RegOpenKeyExW", "error": 5, "onCall": 2}])"},
      {"the enumeration ends at the second", three, "A@USB001",
       R"([{"operation": "SetupDiEnumDeviceInterfaces", "error": 259, "onCall": 2}])"},
      {"no memory for the first key name", three, "C@USB003,B@USB002",
       R"([{"operation": "LocalAlloc", "error": 8, "onCall": 1}])"},
      {"no memory for the first record", three, "C@USB003,B@USB002",
       R"([{"operation": "LocalAlloc", "error": 8, "onCall": 2}])"},
      {"no memory for the first description", three, "C@USB003,B@USB002,@USB001",
       R"([{"operation": "LocalAlloc", "error": 8, "onCall": 3}])"},
  };
  for (const auto* table : {&rows, &failures}) {
    for (const Row& row : *table) {
      SCOPED_TRACE(row.what);
      TearDown();
      SetUp();
      Given(R"({"machine": {"usbPrinters": [)" + row.printers + R"(], "faults": )" + row.faults + "}}");
      EXPECT_EQ(DiscoverUsbPrinters(&DeviceList), static_cast<int>(std::count(row.records.begin(), row.records.end(), '@')));
      EXPECT_EQ(Records(), row.records);
      for (const PrinterDevice* d = DeviceList; d != nullptr; d = d->next) {
        Text lower = d->description;  // ASCII here
        LowerAscii(lower.data());
        EXPECT_EQ(U8(d->checksum), ChecksumOf(U8(d->description)));
        EXPECT_EQ(U8(d->hardwareId), "usbprint\\" + U8(lower) + U8(d->checksum));
      }
      EXPECT_TRUE(M().openHandles.empty());
    }
  }
}

TEST_F(UsbDiscoveryTest, KnownHardwareIdsAndTheAnsiBytesOfTheChecksum) {
  // Code page 1252: U+00C9 is 0xC9, the euro 0x80, and U+4E2D has no byte.
  // Code page 932: U+4E2D is 0x92 0x86, U+FF71 is 0xB1; U+00C9 and the euro have none.
  const std::vector<std::tuple<const char*, std::u16string, std::string>> rows = {
      {"1252", u"KorvaneKV-T100B", "usbprint\\korvanekv-t100b4c44"},
      {"1252", u"KorvaneKV-L420", "usbprint\\korvanekv-l42005bb"},
      {"1252", u"KORVAN\u00C9\u20AC\u4E2D", U8(u"usbprint\\korvan\u00C9\u20AC\u4E2D") + ChecksumOf("KORVAN\xC9\x80?")},
      {"932", u"KORVAN\u00C9\u20AC\u4E2D\uFF71",
       U8(u"usbprint\\korvan\u00C9\u20AC\u4E2D\uFF71") + ChecksumOf("KORVAN??\x92\x86\xB1")},
  };
  for (const auto& [codePage, description, hardwareId] : rows) {
    TearDown();
    SetUp();
    Given(R"({"machine": {"ansiCodePage": )" + std::string(codePage) + R"(, "usbPrinters": [{"description": ")" +
          U8(description) + R"(", "portNumber": 1}]}})");
    ASSERT_EQ(DiscoverUsbPrinters(&DeviceList), 1);
    EXPECT_EQ(U8(DeviceList->hardwareId), hardwareId);
  }
}

TEST_F(UsbDiscoveryTest, APassThatCannotEnumerateLeavesNoRecords) {
  Given(R"({"machine": {"usbPrinters": [{"description": "A", "portNumber": 1}],
            "faults": [{"operation": "SetupDiGetClassDevsW", "error": 5, "onCall": 2}]}})");
  ASSERT_EQ(DiscoverUsbPrinters(&DeviceList), 1);
  EXPECT_EQ(DiscoverUsbPrinters(&DeviceList), 0);
  EXPECT_EQ(DeviceList, nullptr);
  EXPECT_EQ(M().kernel.liveAllocations, 0u) << "the first pass's records freed";
}

TEST_F(UsbDiscoveryTest, WideToAnsiWithinTheBuffer) {
  const std::vector<std::tuple<std::size_t, const char16_t*, bool, std::string>> rows = {
      {8, u"Caf\u00E9!!!", true, "Caf\xE9!!!\0"},  // 7 units fit with their terminator
      {8, u"12345678", false, "xxxxxxxx"},       // no terminator within 8 units
      {0, u"", false, "xxxxxxxx"},
      {8, nullptr, false, "xxxxxxxx"},
      {1, u"", true, std::string("\0xxxxxxx", 8)},
  };
  for (const auto& [size, source, converted, after] : rows) {
    char dest[8];
    std::memset(dest, 'x', sizeof(dest));
    EXPECT_EQ(WideToAnsi(dest, size, source), converted ? dest : nullptr) << size;
    EXPECT_EQ(std::string(dest, after.size()), after) << size;
  }
  char dest[8] = "old";
  EXPECT_EQ(WideToAnsi(nullptr, 8, u"a"), nullptr);
  Given(R"({"machine": {"faults": [{"operation": "WideCharToMultiByte", "error": 87}]}})");
  EXPECT_EQ(WideToAnsi(dest, sizeof(dest), u"abc"), dest);
  EXPECT_EQ(dest[0], 0) << "a failed conversion leaves an empty text";
}

}  // namespace
}  // namespace korv::test

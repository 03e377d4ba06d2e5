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
#include "platform/registry.h"
#include "platform/sim/usb_printers.h"
#include "sim_fixture.h"

namespace korv::test {
namespace {

std::string ChecksumOf(const std::string& ansi) {  // in the hardware ID's four digits
  std::uint16_t v = 0;
  UsbPrintChecksum(reinterpret_cast<const std::uint8_t*>(ansi.data()), static_cast<std::uint16_t>(ansi.size()), &v);
  char text[5];
  std::snprintf(text, sizeof(text), "%04x", v);
  return text;
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

// Which interfaces become records when a call fails for one of them or for
// all (the registry values a printer may have are a scenario's).
TEST_F(UsbDiscoveryTest, AFailureLeavesOutItsInterfaceOnly) {
  const std::string three = R"({"serial": "A", "description": "A", "portNumber": 1},
      {"serial": "B", "description": "B", "portNumber": 2}, {"serial": "C", "description": "C", "portNumber": 3})";
  // failing call -> the records, newest first
  const std::vector<std::pair<std::string, std::string>> rows = {
      {"", "C@USB003,B@USB002,A@USB001"},
      {R"("operation": "SetupDiGetClassDevsW", "error": 5)", ""},
      {R"("operation": "SetupDiGetDeviceInterfaceDetailW", "error": 122, "onCall": 1)", "C@USB003,B@USB002"},
      {R"("operation": "RegOpenKeyExW", "error": 5, "onCall": 2)", "C@USB003,A@USB001"},
      {R"("operation": "SetupDiEnumDeviceInterfaces", "error": 259, "onCall": 2)", "A@USB001"},
      {R"("operation": "LocalAlloc", "error": 8, "onCall": 1)", "C@USB003,B@USB002"},  // the first key's name
      {R"("operation": "LocalAlloc", "error": 8, "onCall": 2)", "C@USB003,B@USB002"},  // the first record
      {R"("operation": "LocalAlloc", "error": 8, "onCall": 3)", "C@USB003,B@USB002,@USB001"},  // its description
  };
  for (const auto& [fault, records] : rows) {
    SCOPED_TRACE(fault);
    TearDown();
    SetUp();
    Given(R"({"machine": {"usbPrinters": [)" + three + R"(], "faults": [)" + (fault.empty() ? "" : "{" + fault + "}") +
          "]}}");
    EXPECT_EQ(DiscoverUsbPrinters(&DeviceList), static_cast<int>(std::count(records.begin(), records.end(), '@')));
    EXPECT_EQ(Records(), records);
    EXPECT_TRUE(M().openHandles.empty());
  }
}

TEST_F(UsbDiscoveryTest, KnownHardwareIdsAndTheAnsiBytesOfTheChecksum) {
  // Code page 1252: U+00C9 is 0xC9, the euro 0x80, and U+4E2D has no byte.
  // Code page 932: U+4E2D is 0x92 0x86, U+FF71 is 0xB1; U+00C9 and the euro have none.
  const std::vector<std::tuple<const char*, std::u16string, std::string>> rows = {
      {"1252", u"KorvaneKV-T100B", "usbprint\\korvanekv-t100b4c44"},
      {"1252", u"KorvaneKV-L420", "usbprint\\korvanekv-l42005bb"},
      {"1252", u"", "usbprint\\0000"},
      {"1252", u"KorvaneKV-T100B Receipt Printer 80mm ABC",  // cut to 32 units first
       "usbprint\\korvanekv-t100b receipt printer " + ChecksumOf("KorvaneKV-T100B Receipt Printer ")},
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
    EXPECT_EQ(U8(DeviceList->checksum), hardwareId.substr(hardwareId.size() - 4));
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

TEST_F(UsbDiscoveryTest, ADescriptionLargerThanAnyPrinterSendsIsNotRead) {
  Given(R"({"machine": {"usbPrinters": [{"serial": "A", "portNumber": 1}, {"serial": "B", "portNumber": 2}]}})");
  for (const auto& [serial, bytes] : {std::pair{u"A", kLargestDescriptionValue}, std::pair{u"B", kLargestDescriptionValue + 2}}) {
    sim::SetUsbPrinterValue(M(), sim::UsbPrinterPath(u"2d37", u"0001", serial), u"Port Description", os::REG_SZ,
                            std::vector<std::uint8_t>(bytes, 'A'));
  }
  ASSERT_EQ(DiscoverUsbPrinters(&DeviceList), 2);
  EXPECT_EQ(Records(), "@USB002," + U8(Text(32, u'\x4141')) + "@USB001");
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

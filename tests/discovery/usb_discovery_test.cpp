// Discovery of USB printers on the simulated machine: the records, their
// order and fields, the registry values a printer's driver may leave behind,
// and the failures that leave out one interface or all of them.
#include "discovery/usb_discovery.h"

#include <cstring>
#include <string>
#include <vector>

#include "discovery/checksum.h"
#include "platform/registry.h"
#include "platform/sim/usb_printers.h"
#include "sim_fixture.h"

namespace korv {
namespace {

using sim::FaultRule;

class UsbDiscoveryTest : public test::SimTest {
 protected:
  // A Korvane printer (vendor 2D37) with this serial number.
  static Text PathOf(std::u16string_view serial) { return sim::UsbPrinterPath(u"2d37", u"0001", serial); }

  void Plug(std::u16string_view serial, std::optional<Text> description, std::optional<Dword> port) {
    sim::PlugUsbPrinter(M(), PathOf(serial), std::move(description), port);
  }

  int Discover() { return DiscoverUsbPrinters(&DeviceList); }

  static std::vector<const PrinterDevice*> Records() {
    std::vector<const PrinterDevice*> records;
    for (const PrinterDevice* d = DeviceList; d != nullptr; d = d->next) records.push_back(d);
    return records;
  }
  static std::vector<Text> Descriptions() {
    std::vector<Text> texts;
    for (const PrinterDevice* d : Records()) texts.emplace_back(d->description);
    return texts;
  }
  static std::vector<Text> Ports() {
    std::vector<Text> texts;
    for (const PrinterDevice* d : Records()) texts.emplace_back(d->portName);
    return texts;
  }

  static Text ChecksumText(const std::string& ansi) {
    std::uint16_t value = 0;
    UsbPrintChecksum(reinterpret_cast<const std::uint8_t*>(ansi.data()),
                     static_cast<std::uint16_t>(ansi.size()), &value);
    static const char16_t digits[] = u"0123456789abcdef";
    Text text;
    for (int shift = 12; shift >= 0; shift -= 4) text += digits[(value >> shift) & 0xF];
    return text;
  }

  bool DevInfoSetOpen() {
    for (const auto& [value, open] : M().openHandles) {
      if (open.kind == os::HandleKind::DevInfo) return true;
    }
    return false;
  }
};

TEST_F(UsbDiscoveryTest, NoPrinterGivesAnEmptyList) {
  EXPECT_EQ(Discover(), 0);
  EXPECT_EQ(DeviceList, nullptr);
  EXPECT_EQ(M().CallCount("SetupDiEnumDeviceInterfaces"), 1);
  EXPECT_FALSE(DevInfoSetOpen());
}

TEST_F(UsbDiscoveryTest, RecordsRunNewestFirstWithEveryField) {
  Plug(u"A1", u"KorvaneKV-T100B", 1);
  Plug(u"B2", u"KorvaneKV-L420", 42);
  ASSERT_EQ(Discover(), 2);

  const auto records = Records();
  ASSERT_EQ(records.size(), 2u);
  const PrinterDevice& b = *records[0];
  const PrinterDevice& a = *records[1];
  EXPECT_EQ(Text(b.description), u"KorvaneKV-L420");
  EXPECT_EQ(Text(b.portName), u"USB042");
  EXPECT_EQ(a.next, nullptr);

  EXPECT_EQ(Text(a.description), u"KorvaneKV-T100B");
  EXPECT_EQ(Text(a.portName), u"USB001");
  EXPECT_EQ(Text(a.checksum), u"4c44");
  EXPECT_EQ(Text(a.hardwareId), u"usbprint\\korvanekv-t100b4c44");

  // Only the two records stay allocated; the key names and value buffers
  // are freed, the keys closed and the set destroyed.
  EXPECT_EQ(M().kernel.liveAllocations, 2u);
  EXPECT_TRUE(M().openHandles.empty());
}

TEST_F(UsbDiscoveryTest, CallsAndKeyOfOneInterface) {
  Plug(u"A1", u"KorvaneKV-T100B", 1);
  ASSERT_EQ(Discover(), 1);
  EXPECT_EQ(M().CallNames({"SetupDiGetClassDevsW", "SetupDiEnumDeviceInterfaces",
                           "SetupDiGetDeviceInterfaceDetailW", "RegOpenKeyExW", "RegQueryValueExW"}),
            (std::vector<std::string>{"SetupDiGetClassDevsW", "SetupDiEnumDeviceInterfaces",
                                      "SetupDiGetDeviceInterfaceDetailW", "RegOpenKeyExW",
                                      "RegQueryValueExW", "RegQueryValueExW", "RegQueryValueExW",
                                      "SetupDiEnumDeviceInterfaces"}));
  std::vector<Text> opened;
  std::vector<Text> queried;
  for (const auto& call : M().calls) {
    if (call.operation == "RegOpenKeyExW") opened.push_back(call.detail);
    if (call.operation == "RegQueryValueExW") queried.push_back(call.detail);
  }
  EXPECT_EQ(opened, (std::vector<Text>{
                        u"SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\"
                        u"{28d78fad-5a12-11d1-ae5b-0000f803a8c2}\\##?#usb#vid_2d37&pid_0001#A1#"
                        u"{28d78fad-5a12-11d1-ae5b-0000f803a8c2}\\#\\Device Parameters"}));
  // The description's size first, then its data, then the port number.
  EXPECT_EQ(queried, (std::vector<Text>{u"Port Description", u"Port Description", u"Port Number"}));
}

TEST_F(UsbDiscoveryTest, PortNamesHaveAtLeastThreeDigits) {
  Plug(u"A", u"KorvaneKV-T80", 7);
  Plug(u"B", u"KorvaneKV-T80", 123);
  Plug(u"C", u"KorvaneKV-T80", 1000);
  Plug(u"D", u"KorvaneKV-T80", 0);
  ASSERT_EQ(Discover(), 4);
  EXPECT_EQ(Ports(), (std::vector<Text>{u"USB000", u"USB1000", u"USB123", u"USB007"}));
}

TEST_F(UsbDiscoveryTest, LongDescriptionIsCutBeforeChecksumAndHardwareId) {
  const Text full = u"KorvaneKV-T100B Receipt Printer 80mm ABC";  // 40 units
  ASSERT_EQ(full.size(), 40u);
  Plug(u"A", full, 3);
  ASSERT_EQ(Discover(), 1);
  const std::string cut = "KorvaneKV-T100B Receipt Printer ";  // its first 32
  ASSERT_NE(ChecksumText(cut), ChecksumText("KorvaneKV-T100B Receipt Printer 80mm ABC"));
  EXPECT_EQ(Text(DeviceList->description), u"KorvaneKV-T100B Receipt Printer ");
  EXPECT_EQ(Text(DeviceList->checksum), ChecksumText(cut));
  EXPECT_EQ(Text(DeviceList->hardwareId), u"usbprint\\korvanekv-t100b receipt printer " + ChecksumText(cut));
}

TEST_F(UsbDiscoveryTest, EmptyOrMissingDescriptionGivesChecksum0000) {
  Plug(u"A", Text(), 1);
  Plug(u"B", std::nullopt, 2);
  ASSERT_EQ(Discover(), 2);
  for (const PrinterDevice* d : Records()) {
    SCOPED_TRACE(test::U8(d->portName));
    EXPECT_EQ(Text(d->description), u"");
    EXPECT_EQ(Text(d->checksum), u"0000");
    EXPECT_EQ(Text(d->hardwareId), u"usbprint\\0000");
  }
}

TEST_F(UsbDiscoveryTest, EachCallFreesThePreviousRecords) {
  Plug(u"A", u"KorvaneKV-T100B", 1);
  Plug(u"B", u"KorvaneKV-L420", 2);
  ASSERT_EQ(Discover(), 2);
  EXPECT_EQ(M().kernel.liveAllocations, 2u);
  const auto firstAllocations = M().kernel.allocations;

  // The same printers again: new records, the old ones freed.
  ASSERT_EQ(Discover(), 2);
  EXPECT_GT(M().kernel.allocations, firstAllocations);
  EXPECT_EQ(M().kernel.liveAllocations, 2u);

  sim::UnplugUsbPrinter(M(), PathOf(u"A"));
  ASSERT_EQ(Discover(), 1);
  EXPECT_EQ(Descriptions(), (std::vector<Text>{u"KorvaneKV-L420"}));
  EXPECT_EQ(M().kernel.liveAllocations, 1u);

  FreeDeviceList(&DeviceList);
  EXPECT_EQ(DeviceList, nullptr);
  EXPECT_EQ(M().kernel.liveAllocations, 0u);
}

TEST_F(UsbDiscoveryTest, DescriptionValuesOfAnyShape) {
  using sim::Utf16Bytes;
  auto put = [&](std::u16string_view serial, Dword type, std::vector<std::uint8_t> data) {
    Plug(serial, std::nullopt, 1);
    sim::SetUsbPrinterValue(M(), PathOf(serial), u"Port Description", type, std::move(data));
  };
  put(u"1", os::REG_SZ, Utf16Bytes(u"KorvaneKV-T100B"));  // no terminator
  auto odd = Utf16Bytes(u"KorvaneKV-T80");
  odd.push_back('X');  // half a code unit
  put(u"2", os::REG_SZ, odd);
  put(u"3", os::REG_SZ, Utf16Bytes(std::u16string_view(u"Korvane\0junk", 12)));
  put(u"4", os::REG_SZ, Utf16Bytes(Text(100000, u'A')));
  put(u"5", os::REG_BINARY, Utf16Bytes(u"KorvaneKV-T100B"));
  put(u"6", os::REG_DWORD, {0x4B, 0, 0x56, 0});
  put(u"7", os::REG_MULTI_SZ, Utf16Bytes(std::u16string_view(u"KorvaneKV-T100B\0\0", 17)));
  put(u"8", os::REG_SZ, Utf16Bytes(Text(kLargestDescriptionValue / 2 + 1, u'B')));
  put(u"9", os::REG_SZ, {});
  put(u"10", os::REG_SZ, {'K'});
  // A string to be expanded is a string all the same, read as written.
  put(u"11", os::REG_EXPAND_SZ, Utf16Bytes(std::u16string_view(u"%Korvane%KV\0", 12)));

  ASSERT_EQ(Discover(), 11);
  EXPECT_EQ(Descriptions(), (std::vector<Text>{u"%Korvane%KV", u"", u"", u"", u"", u"", u"", Text(32, u'A'),
                                               u"Korvane", u"KorvaneKV-T80", u"KorvaneKV-T100B"}));
  // A description read no further than its data still gives the checksum
  // of the text the printer reported.
  EXPECT_EQ(Text(Records().back()->hardwareId), u"usbprint\\korvanekv-t100b4c44");
  EXPECT_EQ(M().kernel.liveAllocations, 11u);
}

// Four bytes of data are the port number whatever the value's type; any
// other length leaves the printer out.
TEST_F(UsbDiscoveryTest, PortNumberIsAnyValueOfFourBytes) {
  auto put = [&](std::u16string_view serial, Dword type, std::vector<std::uint8_t> data) {
    Plug(serial, u"KorvaneKV-T100B", std::nullopt);
    sim::SetUsbPrinterValue(M(), PathOf(serial), u"Port Number", type, std::move(data));
  };
  Plug(u"missing", u"KorvaneKV-T100B", std::nullopt);
  put(u"text", os::REG_SZ, sim::Utf16Bytes(std::u16string_view(u"7\0", 2)));  // '7' = 55
  put(u"short", os::REG_DWORD, {7, 0});
  put(u"long", os::REG_DWORD, {7, 0, 0, 0, 0, 0, 0, 0});
  put(u"binary", os::REG_BINARY, {7, 0, 0, 0});
  put(u"empty", os::REG_DWORD, {});
  put(u"odd", os::REG_NONE, {0x12, 1, 0, 0});
  Plug(u"good", u"KorvaneKV-L420", 5);

  ASSERT_EQ(Discover(), 4);
  EXPECT_EQ(Ports(), (std::vector<Text>{u"USB005", u"USB274", u"USB007", u"USB055"}));
  EXPECT_EQ(M().kernel.liveAllocations, 4u);
  EXPECT_TRUE(M().openHandles.empty());
}

TEST_F(UsbDiscoveryTest, FailingClassEnumerationFindsNothing) {
  Plug(u"A", u"KorvaneKV-T100B", 1);
  ASSERT_EQ(Discover(), 1);
  M().faults.Set("SetupDiGetClassDevsW", FaultRule{err::AccessDenied});
  EXPECT_EQ(Discover(), 0);
  EXPECT_EQ(DeviceList, nullptr);
  EXPECT_EQ(M().kernel.liveAllocations, 0u);
  EXPECT_EQ(M().CallCount("SetupDiEnumDeviceInterfaces"), 2);  // both from the first pass
}

TEST_F(UsbDiscoveryTest, FailureForOneInterfaceLeavesOutThatOneOnly) {
  Plug(u"A", u"KorvaneKV-T58", 1);
  Plug(u"B", u"KorvaneKV-T80", 2);
  Plug(u"C", u"KorvaneKV-T100B", 3);

  M().faults.Set("SetupDiGetDeviceInterfaceDetailW", FaultRule{err::InsufficientBuffer, 0, 1});
  EXPECT_EQ(Discover(), 2);
  EXPECT_EQ(Ports(), (std::vector<Text>{u"USB003", u"USB002"}));
  M().faults.ClearAll();

  const int opens = M().CallCount("RegOpenKeyExW");
  M().faults.Set("RegOpenKeyExW", FaultRule{err::AccessDenied, 0, opens + 2});  // B's key
  EXPECT_EQ(Discover(), 2);
  EXPECT_EQ(Ports(), (std::vector<Text>{u"USB003", u"USB001"}));
  M().faults.ClearAll();

  // LocalAlloc per interface: key name, record, description buffer.
  const int before = M().CallCount("LocalAlloc");
  M().faults.Set("LocalAlloc", FaultRule{err::NotEnoughMemory, 0, before + 2});  // A's record
  EXPECT_EQ(Discover(), 2);
  EXPECT_EQ(Ports(), (std::vector<Text>{u"USB003", u"USB002"}));
  M().faults.ClearAll();

  const int again = M().CallCount("LocalAlloc");
  M().faults.Set("LocalAlloc", FaultRule{err::NotEnoughMemory, 0, again + 1});  // A's key name
  EXPECT_EQ(Discover(), 2);
  EXPECT_EQ(Ports(), (std::vector<Text>{u"USB003", u"USB002"}));
  M().faults.ClearAll();

  // Without its description buffer A is still listed, with no description.
  const int last = M().CallCount("LocalAlloc");
  M().faults.Set("LocalAlloc", FaultRule{err::NotEnoughMemory, 0, last + 3});
  EXPECT_EQ(Discover(), 3);
  EXPECT_EQ(Descriptions(), (std::vector<Text>{u"KorvaneKV-T100B", u"KorvaneKV-T80", u""}));

  EXPECT_EQ(M().kernel.liveAllocations, 3u);
  EXPECT_TRUE(M().openHandles.empty());
}

TEST_F(UsbDiscoveryTest, InterfaceWithoutKeyIsLeftOut) {
  M().devices.usbPrinters.push_back(sim::UsbPrinterInterface{PathOf(u"nokey"), true});
  Plug(u"B", u"KorvaneKV-T80", 2);
  EXPECT_EQ(Discover(), 1);
  EXPECT_EQ(Ports(), (std::vector<Text>{u"USB002"}));
}

TEST_F(UsbDiscoveryTest, EnumerationEndsAtFirstFailingIndex) {
  Plug(u"A", u"KorvaneKV-T58", 1);
  Plug(u"B", u"KorvaneKV-T80", 2);
  M().faults.Set("SetupDiEnumDeviceInterfaces", FaultRule{err::NoMoreItems, 0, 2});
  EXPECT_EQ(Discover(), 1);
  EXPECT_EQ(Ports(), (std::vector<Text>{u"USB001"}));
}

TEST_F(UsbDiscoveryTest, UnpluggedPrintersAreNotListed) {
  Plug(u"A", u"KorvaneKV-T58", 1);
  Plug(u"B", u"KorvaneKV-T80", 2);
  sim::UnplugUsbPrinter(M(), PathOf(u"A"));
  EXPECT_EQ(Discover(), 1);
  EXPECT_EQ(Ports(), (std::vector<Text>{u"USB002"}));
}

TEST_F(UsbDiscoveryTest, EveryVendorAndOddDevicePaths) {
  sim::PlugUsbPrinter(M(), sim::UsbPrinterPath(u"04b8", u"0e28", u"X"), u"EPSON TM-T88V", 11);
  sim::PlugUsbPrinter(M(), sim::UsbPrinterPath(u"1FC9", u"2016", u"Y"), u"KorvaneKV-T80", 12);
  // Shorter than the vendor ID's position, yet with a key: listed.
  sim::PlugUsbPrinter(M(), u"\\\\?\\usb#vid_2", u"KorvaneKV-T58", 13);
  // Nothing after the prefix, or not even the prefix: no key to read.
  sim::PlugUsbPrinter(M(), u"\\\\?\\", u"KorvaneKV-L420", 14);
  sim::PlugUsbPrinter(M(), u"ab", u"KorvaneKV-L420", 15);
  sim::PlugUsbPrinter(M(), u"", u"KorvaneKV-L420", 16);

  EXPECT_EQ(Discover(), 3);
  EXPECT_EQ(Ports(), (std::vector<Text>{u"USB013", u"USB012", u"USB011"}));
  EXPECT_EQ(M().kernel.liveAllocations, 3u);
}

TEST_F(UsbDiscoveryTest, ChecksumIsTakenOverAnsiBytes) {
  // Code page 1252: U+00C9 is 0xC9, U+20AC (euro) is 0x80, and U+4E2D has
  // no byte and becomes '?'.
  Plug(u"A", u"KORVAN\u00C9\u20AC\u4E2D", 1);
  ASSERT_EQ(Discover(), 1);
  const Text checksum = ChecksumText("KORVAN\xC9\x80?");
  ASSERT_NE(checksum, ChecksumText("KORVAN\xC9\xAC\x2D"));  // the units' low bytes
  EXPECT_EQ(Text(DeviceList->checksum), checksum);
  // Only A-Z are lowered; the other characters stay as they are.
  EXPECT_EQ(Text(DeviceList->hardwareId), u"usbprint\\korvan\u00C9\u20AC\u4E2D" + checksum);

  // Code page 932 (Shift-JIS): U+4E2D is the two bytes 0x92 0x86, the
  // half-width U+FF71 the one byte 0xB1; U+00C9 and the euro have none.
  M().kernel.ansiCodePage = 932;
  Plug(u"B", u"KORVAN\u00C9\u20AC\u4E2D\uFF71", 2);
  ASSERT_EQ(Discover(), 2);
  EXPECT_EQ(Text(DeviceList->checksum), ChecksumText("KORVAN??\x92\x86\xB1"));
}

class WideToAnsiTest : public test::SimTest {};

TEST_F(WideToAnsiTest, ConvertsWithinTheBuffer) {
  char dest[8];
  std::memset(dest, 'x', sizeof(dest));
  EXPECT_EQ(WideToAnsi(dest, 8, u"Caf\u00E9!!!"), dest);  // 7 units: fits with its terminator
  EXPECT_EQ(std::string(dest), "Caf\xE9!!!");

  std::memset(dest, 'x', sizeof(dest));
  EXPECT_EQ(WideToAnsi(dest, 8, u"12345678"), nullptr);  // no terminator within 8 units
  EXPECT_EQ(WideToAnsi(dest, 0, u""), nullptr);
  EXPECT_EQ(WideToAnsi(dest, 8, nullptr), nullptr);
  EXPECT_EQ(WideToAnsi(nullptr, 8, u"a"), nullptr);
  EXPECT_EQ(std::string(dest, sizeof(dest)), std::string(8, 'x'));  // untouched

  EXPECT_EQ(WideToAnsi(dest, 1, u""), dest);
  EXPECT_EQ(dest[0], 0);
  EXPECT_EQ(dest[1], 'x');
}

TEST_F(WideToAnsiTest, FailedConversionLeavesAnEmptyText) {
  char dest[8] = "old";
  M().faults.Set("WideCharToMultiByte", FaultRule{err::InvalidParameter});
  EXPECT_EQ(WideToAnsi(dest, sizeof(dest), u"abc"), dest);
  EXPECT_EQ(dest[0], 0);
}

}  // namespace
}  // namespace korv

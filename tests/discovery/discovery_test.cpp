// Discovery of the plugged-in USB printers and the model lookup. The shipped rows'
// checksums pin the checksum, quirk included, over 240 known values.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/text_util.h"
#include "discovery/checksum.h"
#include "discovery/find_model.h"
#include "discovery/usb_discovery.h"
#include "platform/registry.h"
#include "platform/sim/usb_printers.h"
#include "sim_fixture.h"

namespace korv::test {
namespace {

std::string Hex4(unsigned v) {  // as the hardware ID ends
  char text[5];
  std::snprintf(text, sizeof(text), "%04x", v);
  return text;
}
std::string ChecksumOf(const std::string& ansi) {
  std::uint16_t v = 0;
  UsbPrintChecksum(reinterpret_cast<const std::uint8_t*>(ansi.data()), static_cast<std::uint16_t>(ansi.size()), &v);
  return Hex4(v);
}

class DiscoveryTest : public SimTest {
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

TEST_F(DiscoveryTest, AFailureLeavesOutItsInterfaceOnly) {
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
    Anew(R"({"machine": {"usbPrinters": [)" + three + R"(], "faults": [)" + (fault.empty() ? "" : "{" + fault + "}") +
          "]}}");
    EXPECT_EQ(DiscoverUsbPrinters(&DeviceList), static_cast<int>(std::count(records.begin(), records.end(), '@')));
    EXPECT_EQ(Records(), records);
    EXPECT_TRUE(M().openHandles.empty());
  }
}

TEST_F(DiscoveryTest, KnownHardwareIdsAndTheAnsiBytesOfTheChecksum) {
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
    Anew(R"({"machine": {"ansiCodePage": )" + std::string(codePage) + R"(, "usbPrinters": [{"description": ")" +
          U8(description) + R"(", "portNumber": 1}]}})");
    ASSERT_EQ(DiscoverUsbPrinters(&DeviceList), 1);
    EXPECT_EQ(U8(DeviceList->hardwareId), hardwareId);
    EXPECT_EQ(U8(DeviceList->checksum), hardwareId.substr(hardwareId.size() - 4));
  }
}

TEST_F(DiscoveryTest, ADescriptionLargerThanAnyPrinterSendsIsNotRead) {
  Given(R"({"machine": {"usbPrinters": [{"serial": "A", "portNumber": 1}, {"serial": "B", "portNumber": 2}]}})");
  for (const auto& [serial, bytes] : {std::pair{u"A", kLargestDescriptionValue}, std::pair{u"B", kLargestDescriptionValue + 2}}) {
    sim::SetUsbPrinterValue(M(), sim::UsbPrinterPath(u"2d37", u"0001", serial), u"Port Description", os::REG_SZ,
                            std::vector<std::uint8_t>(bytes, 'A'));
  }
  ASSERT_EQ(DiscoverUsbPrinters(&DeviceList), 2);
  EXPECT_EQ(Records(), "@USB002," + U8(Text(32, u'\x4141')) + "@USB001");
}

TEST_F(DiscoveryTest, WideToAnsiWithinTheBuffer) {
  // buffer size, text -> converted, the buffer afterwards
  for (const auto& [size, source, converted, after] : std::vector<std::tuple<std::size_t, const char16_t*, bool, std::string>>{
           {8, u"Caf\u00E9!!!", true, std::string("Caf\xE9!!!\0", 8)},  // 7 units fit with their terminator
           {8, u"12345678", false, "xxxxxxxx"}, {0, u"", false, "xxxxxxxx"}, {8, nullptr, false, "xxxxxxxx"},
           {1, u"", true, std::string("\0xxxxxxx", 8)}}) {
    char dest[8];
    std::memset(dest, 'x', sizeof(dest));
    EXPECT_EQ(WideToAnsi(dest, size, source), converted ? dest : nullptr) << size;
    EXPECT_EQ(std::string(dest, sizeof(dest)), after) << size;
  }
  char dest[8] = "old";
  EXPECT_EQ(WideToAnsi(nullptr, 8, u"a"), nullptr);
  Given(R"({"machine": {"faults": [{"operation": "WideCharToMultiByte", "error": 87}]}})");
  EXPECT_EQ(WideToAnsi(dest, sizeof(dest), u"abc"), dest);
  EXPECT_EQ(dest[0], 0) << "a failed conversion leaves an empty text";
}

TEST_F(DiscoveryTest, RowFoundAndTraceLine) {
  const Text longModel = u"KV-" + Text(120, u'9');
  const ModelEntry rows[] = {
      {u"Korvane", u"KV-T100B", 0, 0, 0},      {u"Korvane", u"KV-T100B PRO", 0, 0, 0},
      {u"Korvane ", u"KV-T80", 0, 0, 0},       {u"Korvane", u"KV-T80", 0, 0, 0},
      {u"Korvane", u"KV-W61", 0, 0, 0},        {u"Korvane", u"KV-W61_", 0, 0, 0},
      {u"Korvane", u"KV-W69_", 0, 0, 0},       {u"Korvane", u"KV-W61_", 0, 0, 0},
      {u"Korvane", longModel.c_str(), 0, 0, 0}, {nullptr, nullptr, 0, 0, 0},
  };
  const Text joined = u"Korvane" + longModel, spaced = u"Korvane " + longModel;
  const std::vector<std::pair<Text, int>> lookups = {
      {u"KorvaneKV-T100B", 0},       {u"Korvane KV-T100B", 0},   {u"KorvaneKV-T100B PRO", 1},
      {u"Korvane KV-T100B PRO", 1},  {u"korvanekv-t100b", -1},   {u"KorvaneKV-T100", -1},
      {u"KorvaneKV-T100B ", -1},     {u"Korvane  KV-T100B", -1}, {u"KV-T100B", -1},
      {u" KorvaneKV-T100B", -1},     {u"", -1},
      {u"Korvane KV-T80", 2},  // an earlier row's joined name before a later row's spaced one
      {u"KorvaneKV-T80", 3},
      {u"KorvaneKV-W61 Pro", 5},     {u"KorvaneKV-W69 Pro", 6},  // looked up under another name
      {u"Korvane KV-W61 Pro", -1},   {u"KorvaneKV-W61 PRO", -1}, {u"KorvaneKV-W61Pro", -1},
      {u"KorvaneKV-W61_", 5},        {u"KorvaneKV-W61", 4},
      {joined.substr(0, 99), 8},     {spaced.substr(0, 99), 8},  // names are cut to 99 units
      {joined.substr(0, 100), -1},   {joined.substr(0, 98), -1},
  };
  for (const auto& [description, index] : lookups) {
    SCOPED_TRACE(U8(description));
    M().kernel.debugOutput.clear();
    const ModelEntry* row = FindModelIn(rows, description.c_str());
    EXPECT_EQ(row == nullptr ? -1 : static_cast<int>(row - rows), index);
    const Text trace = row == nullptr ? u"Found not model " + description
                                      : u"Found model " + description + u", " + row->manufacturer + u" " + row->model;
    EXPECT_EQ(M().kernel.debugOutput, (std::vector<Text>{trace, u"\n"}));
  }
  M().kernel.debugOutput.clear();
  EXPECT_EQ(FindModelIn(rows, nullptr), nullptr);
  EXPECT_EQ(FindModelIn(rows + 9, u"KorvaneKV-T100B"), nullptr);  // an empty table
  EXPECT_EQ(M().kernel.debugOutput.size(), 2u) << "no line for a null description";
}

TEST_F(DiscoveryTest, EveryShippedRowIsFoundByWhatItsPrinterReports) {
  for (std::size_t i = 0; i < kSupportedModelCount; ++i) {
    const ModelEntry& row = SupportedModels[i];
    ASSERT_NE(row.model, nullptr) << i;
    std::string model = U8(row.model);
    if (model == "KV-W61_" || model == "KV-W69_") model = model.substr(0, 6) + " Pro";
    const std::string reported = U8(row.manufacturer) + model;
    SCOPED_TRACE(reported);
    EXPECT_EQ(U8(row.manufacturer), "Korvane");
    EXPECT_EQ(Hex4(row.checksum), ChecksumOf(reported));
    const ModelEntry* found = FindModel(Utf8ToUtf16(reported).c_str());
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(U8(found->model), U8(row.model));
    EXPECT_LE(found, &row) << "a model listed twice is found in its first row";
  }
  EXPECT_EQ(SupportedModels[kSupportedModelCount].model, nullptr);
  EXPECT_EQ(FindModel(u"EPSON TM-T88V"), nullptr);
}

}  // namespace
}  // namespace korv::test

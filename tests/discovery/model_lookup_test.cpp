// The lookup of a printer's description in a model table, and the shipped
// table itself: every row is found by what a printer of its model reports,
// and carries that description's checksum (which pins the checksum, quirk
// included, over 240 known values).
#include <string>
#include <vector>

#include "common/text_util.h"
#include "discovery/checksum.h"
#include "discovery/find_model.h"
#include "sim_fixture.h"

namespace korv::test {
namespace {

std::uint16_t ChecksumOf(const std::string& bytes) {
  std::uint16_t out = 0xFFFF;
  UsbPrintChecksum(reinterpret_cast<const std::uint8_t*>(bytes.data()), static_cast<std::uint16_t>(bytes.size()), &out);
  return out;
}

class FindModelTest : public SimTest {};

TEST_F(FindModelTest, RowFoundAndTraceLine) {
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

TEST_F(FindModelTest, EveryShippedRowIsFoundByWhatItsPrinterReports) {
  for (std::size_t i = 0; i < kSupportedModelCount; ++i) {
    const ModelEntry& row = SupportedModels[i];
    ASSERT_NE(row.model, nullptr) << i;
    std::string model = U8(row.model);
    if (model == "KV-W61_" || model == "KV-W69_") model = model.substr(0, 6) + " Pro";
    const std::string reported = U8(row.manufacturer) + model;
    SCOPED_TRACE(reported);
    EXPECT_EQ(U8(row.manufacturer), "Korvane");
    EXPECT_EQ(row.checksum, ChecksumOf(reported));
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

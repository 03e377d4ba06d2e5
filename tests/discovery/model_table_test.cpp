// The shipped model table: every row is a Korvane model with a well-formed
// name of 5 to 15 characters and no options, and every checksum is what a
// printer of the model reports, so a wrong line in models.def cannot ship.
#include "discovery/model_table.h"

#include <map>
#include <set>
#include <string>

#include "discovery/checksum.h"
#include "discovery/find_model.h"
#include "sim_fixture.h"

namespace korv {
namespace {

using test::U8;

// What a printer of the row's model reports as its description.
std::string ReportedDescription(const ModelEntry& row) {
  std::string model = U8(row.model);
  if (model == "KV-W61_" || model == "KV-W69_") model = model.substr(0, 6) + " Pro";
  return U8(row.manufacturer) + model;
}

std::uint16_t ChecksumOf(const std::string& text) {
  std::uint16_t value = 0;
  UsbPrintChecksum(reinterpret_cast<const std::uint8_t*>(text.data()),
                   static_cast<std::uint16_t>(text.size()), &value);
  return value;
}

// "KV-", up to two upper-case letters, one to four digits, up to two
// upper-case letters, and optionally " PRO", " PLUS" or " LABEL".
bool IsModelName(const std::string& name) {
  if (name.rfind("KV-", 0) != 0) return false;
  std::size_t i = 3;
  auto run = [&](auto inClass, std::size_t most) {
    std::size_t n = 0;
    while (i < name.size() && n < most && inClass(name[i])) ++i, ++n;
    return n;
  };
  auto upper = [](char c) { return c >= 'A' && c <= 'Z'; };
  auto digit = [](char c) { return c >= '0' && c <= '9'; };
  run(upper, 2);
  if (run(digit, 4) == 0) return false;
  run(upper, 2);
  const std::string rest = name.substr(i);
  return rest.empty() || rest == " PRO" || rest == " PLUS" || rest == " LABEL";
}

std::string Hex4(unsigned value) {
  static const char digits[] = "0123456789abcdef";
  std::string text = "0x";
  for (int shift = 12; shift >= 0; shift -= 4) text += digits[(value >> shift) & 0xF];
  return text;
}

TEST(ModelTableTest, ModelNameGrammar) {
  for (const char* good : {"KV-T100B", "KV-T100B PRO", "KV-LI4000", "KV-8", "KV-AB1234CD LABEL"}) {
    EXPECT_TRUE(IsModelName(good)) << good;
  }
  for (const char* bad : {"KV-T100b", "KV-TLB100", "KV-T12345", "KV-T100BCD", "KV-T", "KV-T100B Pro",
                          "KV-T100B  PRO", "KV-T100B PRO ", "KV-W61_", "kv-T100", "KV-T1-00"}) {
    EXPECT_FALSE(IsModelName(bad)) << bad;
  }
}

TEST(ModelTableTest, EveryRowKeepsToTheRules) {
  int editions = 0;
  int underscored = 0;
  std::map<std::string, int> rowsOfName;
  for (std::size_t i = 0; i < kSupportedModelCount; ++i) {
    const ModelEntry& row = SupportedModels[i];
    ASSERT_NE(row.model, nullptr) << "row " << i;
    ASSERT_NE(row.manufacturer, nullptr) << "row " << i;
    const std::string model = U8(row.model);
    SCOPED_TRACE("row " + std::to_string(i) + ": " + model);
    EXPECT_EQ(U8(row.manufacturer), "Korvane");
    EXPECT_EQ(row.options, 0);
    EXPECT_EQ(row.reserved, 0u);
    EXPECT_GE(model.size(), 5u);
    EXPECT_LE(model.size(), 15u);
    if (model == "KV-W61_" || model == "KV-W69_") {
      ++underscored;
    } else {
      EXPECT_TRUE(IsModelName(model));
    }
    if (model.find(' ') != std::string::npos) ++editions;
    ++rowsOfName[model];

    const std::uint16_t expected = ChecksumOf(ReportedDescription(row));
    EXPECT_EQ(row.checksum, expected)
        << "write it as KORV_MODEL(u\"" << model << "\", " << Hex4(expected) << ", ...)";
  }
  EXPECT_EQ(editions, 15);
  EXPECT_EQ(underscored, 2);
  std::set<std::string> repeated;
  for (const auto& [name, rows] : rowsOfName) {
    if (rows > 1) repeated.insert(name + " x" + std::to_string(rows));
  }
  EXPECT_EQ(repeated.size(), 1u) << ::testing::PrintToString(repeated);
  for (const auto& name : repeated) EXPECT_EQ(name.substr(name.size() - 2), "x2");

  const ModelEntry& last = SupportedModels[kSupportedModelCount];
  EXPECT_EQ(last.manufacturer, nullptr);
  EXPECT_EQ(last.model, nullptr);
  EXPECT_EQ(last.checksum, 0);
  EXPECT_EQ(last.options, 0);
  EXPECT_EQ(last.reserved, 0u);
}

class ShippedTableLookupTest : public test::SimTest {};

TEST_F(ShippedTableLookupTest, EveryModelIsFoundByWhatItReports) {
  std::map<std::string, const ModelEntry*> firstRow;
  for (std::size_t i = 0; i < kSupportedModelCount; ++i) {
    firstRow.emplace(U8(SupportedModels[i].model), &SupportedModels[i]);
  }
  for (std::size_t i = 0; i < kSupportedModelCount; ++i) {
    const ModelEntry& row = SupportedModels[i];
    const std::string reported = ReportedDescription(row);
    const Text description(reported.begin(), reported.end());  // ASCII
    SCOPED_TRACE(reported);
    // A model listed twice is always found in its first row.
    EXPECT_EQ(FindModel(description.c_str()), firstRow[U8(row.model)]);
  }
  EXPECT_EQ(FindModel(u"KorvaneKV-T100B"), FindModel(u"Korvane KV-T100B"));
  EXPECT_NE(FindModel(u"KorvaneKV-T100B"), FindModel(u"KorvaneKV-T100B PRO"));
  EXPECT_NE(FindModel(u"KorvaneKV-T100B PRO"), nullptr);
  EXPECT_EQ(FindModel(u"EPSON TM-T88V"), nullptr);
}

}  // namespace
}  // namespace korv

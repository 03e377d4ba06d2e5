// Looking a printer's description up in a model table, with the trace line
// each lookup writes.
#include "discovery/find_model.h"

#include <string>
#include <vector>

#include "sim_fixture.h"

namespace korv {
namespace {

const ModelEntry kTwoRows[] = {
    {u"Korvane", u"KV-T100B", 0x4C44, 0, 0},
    {u"Korvane", u"KV-T100B PRO", 0, 0, 0},
    {nullptr, nullptr, 0, 0, 0},
};

const ModelEntry kRemappedRows[] = {
    {u"Korvane", u"KV-W61", 0, 0, 0},
    {u"Korvane", u"KV-W61_", 0, 0, 0},
    {u"Korvane", u"KV-W69_", 0, 0, 0},
    {u"Korvane", u"KV-W61_", 0, 0, 0},
    {nullptr, nullptr, 0, 0, 0},
};

class FindModelTest : public test::SimTest {
 protected:
  // The trace lines written so far, without their separate line feeds,
  // after checking that each line is followed by one.
  std::vector<Text> TraceLines() {
    std::vector<Text> lines;
    const auto& out = M().kernel.debugOutput;
    for (std::size_t i = 0; i < out.size(); i += 2) {
      lines.push_back(out[i]);
      EXPECT_TRUE(i + 1 < out.size() && out[i + 1] == u"\n") << "line " << i;
    }
    return lines;
  }
  // Looks description up in table; returns the row's index or -1, and the
  // single trace line of the lookup.
  std::pair<int, Text> Lookup(const ModelEntry* table, const char16_t* description) {
    M().kernel.debugOutput.clear();
    const ModelEntry* row = FindModelIn(table, description);
    const auto lines = TraceLines();
    EXPECT_EQ(lines.size(), 1u) << test::U8(description);
    return {row == nullptr ? -1 : static_cast<int>(row - table), lines.empty() ? Text() : lines[0]};
  }
};

TEST_F(FindModelTest, JoinedAndSpacedNames) {
  EXPECT_EQ(Lookup(kTwoRows, u"KorvaneKV-T100B"),
            std::make_pair(0, Text(u"Found model KorvaneKV-T100B, Korvane KV-T100B")));
  EXPECT_EQ(Lookup(kTwoRows, u"Korvane KV-T100B"),
            std::make_pair(0, Text(u"Found model Korvane KV-T100B, Korvane KV-T100B")));
  EXPECT_EQ(Lookup(kTwoRows, u"KorvaneKV-T100B PRO"),
            std::make_pair(1, Text(u"Found model KorvaneKV-T100B PRO, Korvane KV-T100B PRO")));
  EXPECT_EQ(Lookup(kTwoRows, u"Korvane KV-T100B PRO"),
            std::make_pair(1, Text(u"Found model Korvane KV-T100B PRO, Korvane KV-T100B PRO")));
}

TEST_F(FindModelTest, OnlyExactMatchesCount) {
  for (const char16_t* description :
       {u"korvanekv-t100b", u"KorvaneKV-T100", u"KorvaneKV-T100B ", u"Korvane  KV-T100B",
        u"KorvaneKV-T100B P", u"KV-T100B", u" KorvaneKV-T100B", u""}) {
    EXPECT_EQ(Lookup(kTwoRows, description),
              std::make_pair(-1, u"Found not model " + Text(description)));
  }
}

TEST_F(FindModelTest, NullDescriptionGivesNullAndNoTrace) {
  EXPECT_EQ(FindModelIn(kTwoRows, nullptr), nullptr);
  EXPECT_EQ(FindModel(nullptr), nullptr);
  EXPECT_TRUE(M().kernel.debugOutput.empty());
}

TEST_F(FindModelTest, TwoReportedNamesAreRemapped) {
  // Found through the row's spaced name; the trace names what the printer
  // reported.
  EXPECT_EQ(Lookup(kRemappedRows, u"KorvaneKV-W61 Pro"),
            std::make_pair(1, Text(u"Found model KorvaneKV-W61 Pro, Korvane KV-W61_")));
  EXPECT_EQ(Lookup(kRemappedRows, u"KorvaneKV-W69 Pro"),
            std::make_pair(2, Text(u"Found model KorvaneKV-W69 Pro, Korvane KV-W69_")));
  // Only those exact texts are remapped.
  for (const char16_t* description :
       {u"Korvane KV-W61 Pro", u"KorvaneKV-W61 PRO", u"KorvaneKV-W61 Pro ", u"KorvaneKV-W61Pro"}) {
    EXPECT_EQ(Lookup(kRemappedRows, description).first, -1) << test::U8(description);
  }
  // The rows' own names still match them.
  EXPECT_EQ(Lookup(kRemappedRows, u"KorvaneKV-W61_").first, 1);
  EXPECT_EQ(Lookup(kRemappedRows, u"KorvaneKV-W61").first, 0);
}

TEST_F(FindModelTest, FirstMatchingRowWins) {
  const ModelEntry table[] = {
      {u"Korvane ", u"KV-T80", 0, 0, 0},  // joined name "Korvane KV-T80"
      {u"Korvane", u"KV-T80", 0, 0, 0},   // spaced name "Korvane KV-T80"
      {u"Korvane", u"KV-T80", 0, 0, 0},
      {nullptr, nullptr, 0, 0, 0},
  };
  // Rows are tried in table order: an earlier row's joined name is not
  // passed over for a later row's spaced name.
  EXPECT_EQ(Lookup(table, u"Korvane KV-T80").first, 0);
  EXPECT_EQ(Lookup(table, u"KorvaneKV-T80").first, 1);
}

TEST_F(FindModelTest, NamesAreComparedAsCutTo99Units) {
  const Text model = u"KV-" + Text(120, u'9');
  const ModelEntry table[] = {
      {u"Korvane", model.c_str(), 0, 0, 0},
      {nullptr, nullptr, 0, 0, 0},
  };
  const Text joined = u"Korvane" + model;
  const Text spaced = u"Korvane " + model;
  EXPECT_EQ(Lookup(table, joined.substr(0, 99).c_str()).first, 0);
  EXPECT_EQ(Lookup(table, spaced.substr(0, 99).c_str()).first, 0);
  EXPECT_EQ(Lookup(table, joined.substr(0, 100).c_str()).first, -1);
  EXPECT_EQ(Lookup(table, joined.substr(0, 98).c_str()).first, -1);
}

TEST_F(FindModelTest, EmptyTableFindsNothing) {
  const ModelEntry table[] = {{nullptr, nullptr, 0, 0, 0}};
  EXPECT_EQ(Lookup(table, u"KorvaneKV-T100B"),
            std::make_pair(-1, Text(u"Found not model KorvaneKV-T100B")));
}

}  // namespace
}  // namespace korv

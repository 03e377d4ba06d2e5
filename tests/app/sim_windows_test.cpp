// What the program's texts rely on in the simulated windows: a string is
// looked up in the user's language, then its neutral sublanguage, then
// English; a load is cut to the buffer, and a missing one writes nothing.
#include "app/res/resource_tables.h"
#include "common/resource_ids.h"
#include "platform/kernel.h"
#include "platform/ui.h"
#include "sim_fixture.h"

namespace korv::test {
namespace {

class SimWindows : public SimTest {};

TEST_F(SimWindows, StringsFallBackToTheNeutralSublanguageThenToEnglish) {
  const std::pair<const char*, std::uint16_t> cases[] = {
      {"0x0409", 0x0009}, {"0x0809", 0x0009}, {"0x0413", 0x0013}, {"0x0813", 0x0013},
      {"0x0804", 0x0004}, {"0x0404", 0x0404}, {"0x0401", 0x0401}, {"0x0411", 0x0009}};
  for (const auto& [ui, table] : cases) {
    Given(R"({"ui":{"language":")" + std::string(ui) + R"("}})");
    char16_t buffer[260];
    const int n = os::LoadStringW(os::CurrentInstance(), IDS_PRINTER_INSTALLED, buffer, 260);
    EXPECT_EQ(Text(buffer, n), res::FindString(table, IDS_PRINTER_INSTALLED)) << ui;
  }
  char16_t buffer[4] = u"abc";
  EXPECT_EQ(os::LoadStringW(os::CurrentInstance(), 99, buffer, 4), 0);
  EXPECT_EQ(Text(buffer), u"abc");
  EXPECT_EQ(os::LoadStringW(os::CurrentInstance(), IDS_DONE, buffer, 3), 2);
  EXPECT_EQ(Text(buffer), u"Do");
}

}  // namespace
}  // namespace korv::test

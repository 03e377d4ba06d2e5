// The installer left open with no supported printer searches once a second, for
// hours: over 10,000 virtual passes, in silent mode and in the window, no block,
// handle, thread or log text may pile up from one pass to the next.
#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "app/entry_point.h"
#include "common/resource_ids.h"
#include "platform/sim/scheduler.h"
#include "sim_fixture.h"

namespace korv::test {
namespace {

constexpr int kPasses = 10000;
constexpr std::uint64_t kPassMs = 1000;

class IdleCostTest : public SimTest, public ::testing::WithParamInterface<const char16_t*> {};

TEST_P(IdleCostTest, NothingPilesUpOverTenThousandPasses) {
  // A printer of another make stays plugged in: discovery finds it and the
  // lookup turns it away, every pass.
  Given(R"({"machine": {
    "installerFolders": ["C:\\Korvane\\"],
    "files": [{"path": "C:\\Windows\\system32\\vcomp140.dll", "content": "runtime"}],
    "usbPrinters": [{"vid": "0a5f", "pid": "00d3", "serial": "ZB01", "description": "Zebra ZD421", "portNumber": 1}]
  }})");
  // Live blocks, open handles, threads and log length, half-way through each
  // pause between two passes.
  std::vector<std::tuple<std::uint64_t, std::size_t, int, std::size_t>> between;
  for (int pass = 0; pass <= kPasses; ++pass) {
    M().clock.At(pass * kPassMs + kPassMs / 2, [&] {
      std::size_t log = 0;
      if (!M().ui.dialogs.empty()) log = M().ui.dialogs.front().controls[IDC_LOG].text.size();
      between.emplace_back(M().kernel.liveAllocations, M().openHandles.size(), M().clock.LiveThreads(), log);
    });
  }
  M().clock.SetTimeLimit(kPasses * kPassMs + kPassMs / 2);
  EXPECT_THROW(RunProgram(os::CurrentInstance(), GetParam()), sim::ProcessEnded);

  ASSERT_EQ(between.size(), static_cast<std::size_t>(kPasses) + 1) << "one pass a second";
  for (std::size_t i = 2; i < between.size(); ++i) ASSERT_EQ(between[i], between[1]) << "after pass " << i;
  EXPECT_EQ(M().CallCount("SetupDiGetClassDevsW"), kPasses + 1);
  EXPECT_EQ(std::get<3>(between[1]) > 0, M().ui.dialogs.size() == 1) << "the window's log says nothing was found";
}

INSTANTIATE_TEST_SUITE_P(BothModes, IdleCostTest, ::testing::Values(u"", u"/silence"));

}  // namespace
}  // namespace korv::test

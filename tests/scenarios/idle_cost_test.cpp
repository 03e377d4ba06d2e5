// The installer left open with no supported printer searches once a second,
// for hours. Every pass must do the same work as the one before: the same
// boundary calls, no memory block or handle kept, no thread added, no text
// that grows (the log is emptied at the start of each pass).
//
// Both ways the search runs are checked over 10,000 passes (virtual time, so
// this takes well under a second): silent mode, the worker on the main
// thread; and the installer window, with the worker on its own thread
// driving the window's controls.
#include <gtest/gtest.h>

#include <cstdint>
#include <iostream>
#include <string>
#include <vector>

#include "app/entry_point.h"
#include "common/globals.h"
#include "common/resource_ids.h"
#include "install/autoinstall_worker.h"
#include "platform/sim/scheduler.h"
#include "platform/sim/sim_fixtures.h"
#include "platform/sim/usb_printers.h"
#include "platform/ui.h"
#include "sim_fixture.h"

namespace korv::test {
namespace {

constexpr int kPasses = 10000;
constexpr std::uint64_t kPassMs = 1000;

// What the machine looks like between two passes (half-way through the
// worker's one-second pause).
struct Between {
  std::uint64_t allocations = 0;
  std::uint64_t liveAllocations = 0;
  std::size_t openHandles = 0;
  int threads = 0;
  std::size_t logUnits = 0;
};

class IdleCostTest : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    sim::SetUpInstallerFolder(M(), u"C:\\Korvane\\");
    M().kernel.modulePath = u"C:\\Korvane\\korvsetup.exe";
    M().kernel.files[M().kernel.modulePath] = sim::SimFile{"korvsetup program", false};
    AppInstance = os::CurrentInstance();
    InstallDir.assign(u"C:\\Korvane\\");
    // A printer of another make stays plugged in: discovery finds it and
    // the lookup turns it away, every pass.
    sim::PlugUsbPrinter(M(), sim::UsbPrinterPath(u"0a5f", u"00d3", u"ZB01"), Text(u"Zebra ZD421"), 1);
  }

  // Snapshots the machine between every two passes, and checks that the
  // operations called in each pass are those of the second pass (the
  // first one also holds what comes before the search).
  void Watch(std::uint64_t firstPassAt) {
    for (int pass = 0; pass <= kPasses; ++pass) {
      M().clock.At(firstPassAt + pass * kPassMs + kPassMs / 2, [this] { Snapshot(); });
    }
    M().clock.SetTimeLimit(firstPassAt + kPasses * kPassMs + kPassMs / 2);
  }

  void Snapshot() {
    Between now;
    now.allocations = M().kernel.allocations;
    now.liveAllocations = M().kernel.liveAllocations;
    now.openHandles = M().openHandles.size();
    now.threads = M().clock.LiveThreads();
    if (!M().ui.dialogs.empty()) {
      const auto& controls = M().ui.dialogs.front().controls;
      auto log = controls.find(IDC_LOG);
      if (log != controls.end()) now.logUnits = log->second.text.size();
    }
    std::vector<std::string> pass;
    for (std::size_t i = callsSeen_; i < M().calls.size(); ++i) pass.push_back(M().calls[i].operation);
    callsSeen_ = M().calls.size();
    if (snapshots_.size() == 2) reference_ = pass;
    if (snapshots_.size() > 2 && pass != reference_ && firstDifferent_ < 0) {
      firstDifferent_ = static_cast<int>(snapshots_.size());
      differentPass_ = pass;
    }
    snapshots_.push_back(now);
  }

  // Every pass after the first alike, and nothing kept from one to the next.
  void ExpectFlat(const char* mode) {
    ASSERT_EQ(snapshots_.size(), static_cast<std::size_t>(kPasses) + 1) << "one pass a second";
    EXPECT_EQ(firstDifferent_, -1) << "pass " << firstDifferent_ << " called " << differentPass_.size()
                                   << " operations, the others " << reference_.size();
    EXPECT_FALSE(reference_.empty());
    const Between& second = snapshots_[1];
    const std::uint64_t allocationsPerPass = snapshots_[2].allocations - second.allocations;
    for (std::size_t i = 1; i < snapshots_.size(); ++i) {
      const Between& s = snapshots_[i];
      ASSERT_EQ(s.liveAllocations, second.liveAllocations) << "blocks kept after pass " << i;
      ASSERT_EQ(s.openHandles, second.openHandles) << "handles kept after pass " << i;
      ASSERT_EQ(s.threads, second.threads) << "threads after pass " << i;
      ASSERT_EQ(s.logUnits, second.logUnits) << "the log grows by pass " << i;
      if (i + 1 < snapshots_.size()) {
        ASSERT_EQ(snapshots_[i + 1].allocations - s.allocations, allocationsPerPass) << "pass " << i + 1;
      }
    }
    std::cout << "[ idle     ] " << mode << ": " << reference_.size() << " boundary calls and "
              << allocationsPerPass << " memory blocks per pass, flat over " << kPasses << " passes\n";
  }

  std::vector<Between> snapshots_;
  std::vector<std::string> reference_;
  std::vector<std::string> differentPass_;
  std::size_t callsSeen_ = 0;
  int firstDifferent_ = -1;
};

TEST_F(IdleCostTest, SilentSearchStaysFlatOverTenThousandPasses) {
  Watch(0);
  bool ended = false;
  try {
    SilentInstallView silent;
    AutoInstall(silent);
  } catch (const sim::ProcessEnded&) {
    ended = true;
  }
  ASSERT_TRUE(ended) << "the search ended by itself";
  ExpectFlat("silent");
  EXPECT_EQ(M().CallCount("CM_Reenumerate_DevNode"), kPasses) << "one re-enumeration after each pass";
  EXPECT_EQ(M().CallCount("SetupDiGetClassDevsW"), kPasses + 1);
}

TEST_F(IdleCostTest, InstallerWindowSearchStaysFlatOverTenThousandPasses) {
  // The window opens, and the worker makes its first pass, at once: the
  // spooler is running and the runtime library is in place.
  M().kernel.files[M().kernel.systemFolder + u"\\vcomp140.dll"] = sim::SimFile{"runtime", false};
  Watch(0);
  bool ended = false;
  try {
    RunProgram(os::CurrentInstance(), u"");
  } catch (const sim::ProcessEnded&) {
    ended = true;
  }
  ASSERT_TRUE(ended) << "the window closed by itself";
  ASSERT_EQ(M().ui.dialogs.size(), 1u);
  EXPECT_EQ(M().ui.dialogs.front().templateId, IDD_INSTALLER);
  ExpectFlat("installer window");
  EXPECT_GT(snapshots_[1].logUnits, 0u) << "the log shows that no printer was found";
  EXPECT_EQ(M().CallCount("SetupDiGetClassDevsW"), kPasses + 1);
}

}  // namespace
}  // namespace korv::test

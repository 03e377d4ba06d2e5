// Leaks: apart from the uninstall inventory and the last discovery pass's device
// list, a run frees everything, also one ended from outside mid-search; the
// sanitizer flavour adds detect_leaks=1 for what LocalAlloc does not see.
#include <gtest/gtest.h>

#include "discovery/printer_device.h"
#include "sweep_machine.h"
#include "uninstall/inventory.h"

namespace korv::test::sweep {
namespace {

class LeakCheck : public SimTest {};

TEST_F(LeakCheck, OnlyTheInventoryAndTheDeviceListOutliveARun) {
  struct Row {
    PathId path;
    const char16_t* commandLine;
    std::uint64_t endedAt;  // the time limit, for a search without a supported printer; else 0
  };
  for (const Row& row : {Row{PathId::UninstallWindow, u"-u C:\\Korvane\\", 0}, Row{PathId::SilentDriverStore, u"/silence", 0},
                         Row{PathId::MonitorManual, u"/silence", 30000}}) {
    SCOPED_TRACE(Plan(row.path).name);
    sim::Machine& m = sim::Machine::Reset();
    ResetProgramState();
    Prepare(row.path);
    if (row.endedAt != 0) m.clock.SetTimeLimit(row.endedAt);
    try {
      EXPECT_EQ(RunProgram(os::CurrentInstance(), row.commandLine), 0);
    } catch (const sim::ProcessEnded&) {
      EXPECT_EQ(m.clock.Now(), row.endedAt);
    }
    m.clock.EndProcess();
    std::uint64_t kept = InventoryBlockCount();
    for (const PrinterDevice* d = DeviceList; d != nullptr; d = d->next) ++kept;
    EXPECT_EQ(m.kernel.liveAllocations, kept);
    ResetProgramState();
    EXPECT_EQ(m.kernel.liveAllocations, 0u);
    EXPECT_EQ(DeviceList, nullptr);
    EXPECT_EQ(InstalledPackages, nullptr);
  }
}

}  // namespace
}  // namespace korv::test::sweep

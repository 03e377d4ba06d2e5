// Leaks on the simulated machine. The program frees what it allocates except
// two things it keeps on purpose until the process ends: the uninstall
// inventory (records, driver copies, the two enumeration buffers) and the
// device list of the last discovery pass. After a whole run the blocks still
// alive must be exactly those, and resetting the globals (what the end of
// the process does on Windows) must give every one of them back.
//
// The sanitizer flavour of this binary runs with detect_leaks=1, which
// catches anything allocated outside the machine's LocalAlloc as well.
#include <gtest/gtest.h>

#include "discovery/printer_device.h"
#include "sweep_machine.h"
#include "uninstall/inventory.h"

namespace korv::test::sweep {
namespace {

std::size_t DeviceListLength() {
  std::size_t n = 0;
  for (const PrinterDevice* d = DeviceList; d != nullptr; d = d->next) ++n;
  return n;
}

class LeakCheck : public SimTest {
 protected:
  // Runs the path; returns the blocks alive once its process has ended.
  std::uint64_t LiveAfter(PathId path) {
    Prepare(path);
    const Outcome outcome = RunPath(path);
    EXPECT_TRUE(outcome.returned) << Plan(path).name;
    return sim::Machine::Get().kernel.liveAllocations;
  }
};

TEST_F(LeakCheck, UninstallKeepsOnlyTheInventoryUntilTheProcessEnds) {
  const std::uint64_t live = LiveAfter(PathId::UninstallWindow);

  // One package record; per family driver (2) a record and a copy of its
  // description; a record per queue of the family (2); the driver and
  // printer enumerations.
  EXPECT_EQ(InventoryBlockCount(), 1u + 2 * 2 + 2 + 2);
  EXPECT_EQ(DeviceListLength(), 0u);
  EXPECT_EQ(live, InventoryBlockCount()) << "blocks alive beyond the inventory's";

  ResetProgramState();
  EXPECT_EQ(InventoryBlockCount(), 0u);
  EXPECT_EQ(InstalledPackages, nullptr);
  EXPECT_EQ(sim::Machine::Get().kernel.liveAllocations, 0u);
}

TEST_F(LeakCheck, InstallationKeepsOnlyTheLastDeviceListAndTheDriverEnumeration) {
  const std::uint64_t live = LiveAfter(PathId::SilentDriverStore);

  // The family's printer and the unsupported one, from the last pass; the
  // check for an installed family enumerated drivers (another vendor's) but
  // made no record.
  EXPECT_EQ(DeviceListLength(), 2u);
  EXPECT_EQ(InventoryBlockCount(), 1u);
  EXPECT_EQ(InstalledPackages, nullptr);
  EXPECT_EQ(live, DeviceListLength() + InventoryBlockCount()) << "blocks alive beyond the kept ones";

  ResetProgramState();
  EXPECT_EQ(DeviceList, nullptr);
  EXPECT_EQ(sim::Machine::Get().kernel.liveAllocations, 0u);
}

TEST_F(LeakCheck, SearchEndedFromOutsideLeavesOnlyTheDeviceList) {
  // No supported printer: the silent search runs until the time limit ends
  // the process in the middle of a pass's pause.
  Prepare(PathId::MonitorManual);
  sim::Machine::Get().clock.SetTimeLimit(30000);
  try {
    RunProgram(os::CurrentInstance(), u"/silence");
  } catch (const sim::ProcessEnded&) {
  }
  sim::Machine::Get().clock.EndProcess();
  EXPECT_EQ(Now(), 30000u);
  EXPECT_GE(sim::Machine::Get().CallCount("SetupDiGetClassDevsW"), 25);

  EXPECT_EQ(DeviceListLength(), 1u);  // the unsupported printer
  EXPECT_EQ(sim::Machine::Get().kernel.liveAllocations, DeviceListLength() + InventoryBlockCount());
  ResetProgramState();
  EXPECT_EQ(sim::Machine::Get().kernel.liveAllocations, 0u);
}

}  // namespace
}  // namespace korv::test::sweep

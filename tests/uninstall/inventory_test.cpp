// The inventory of installed packages, drivers and queues of the family.
#include <gtest/gtest.h>

#include "uninstall/inventory.h"
#include "uninstall_fixture.h"

namespace korv::test {
namespace {

using Strings = std::vector<std::string>;

class InventoryTest : public UninstallTest {};

TEST_F(InventoryTest, NothingInstalledLeavesTheListEmpty) {
  AddDriver(u"Generic / Text Only", u"C:\\Windows\\INF\\ntprint.inf", Text(),
            u"C:\\Windows\\system32\\spool\\DRIVERS\\x64\\3\\unidrv.dll");
  AddQueue(u"Text", u"Generic / Text Only");

  EXPECT_EQ(CollectDriverPackages(), 1);  // no package key at all
  EXPECT_EQ(CollectPrinterDrivers(), 0);
  EXPECT_EQ(CollectPrinters(), 0);
  EXPECT_EQ(InstalledPackages, nullptr);
  EXPECT_FALSE(IsInstallationPresent());
}

TEST_F(InventoryTest, ListsAreInReverseDiscoveryOrderAndEveryPackageGetsEveryDriver) {
  // The registry lists subkeys in name order, the spooler its arrays as kept.
  AddPackage(u"korvv6.inf_amd64_aaaa", StoredInf(u"korvv6.inf_amd64_aaaa"), u"01/02/2025,2025.1.2.3");
  AddPackage(u"korvv6.inf_amd64_bbbb", StoredInf(u"korvv6.inf_amd64_bbbb"), u"04/07/2026,2026.4.7.6");
  AddPackage(u"other.inf_amd64_cccc", Text(kStore) + u"other.inf_amd64_cccc\\other.inf");
  AddDriver(u"Korvane KP-58", StoredInf(u"korvv6.inf_amd64_aaaa"));
  AddDriver(u"Generic / Text Only", Text(), Text(), u"C:\\Windows\\system32\\spool\\DRIVERS\\x64\\3\\unidrv.dll");
  AddDriver(u"Korvane KP-80", StoredInf(u"korvv6.inf_amd64_bbbb"));
  AddQueue(u"Shop 80", u"Korvane KP-80");
  AddQueue(u"Text", u"Generic / Text Only");
  AddQueue(u"Kitchen 80", u"Korvane KP-80", u"USB002");
  AddQueue(u"Bar 58", u"Korvane KP-58", u"USB003");

  CollectAll();

  auto packages = Packages();
  ASSERT_EQ(packages.size(), 2u);
  EXPECT_EQ(U8(packages[0]->PackageName.view()), "korvv6.inf");
  EXPECT_EQ(U8(packages[0]->DriverStorePath.view()), U8(StoredInf(u"korvv6.inf_amd64_bbbb")));
  EXPECT_EQ(U8(packages[0]->DriverVer.view()), "04/07/2026,2026.4.7.6");
  EXPECT_EQ(U8(packages[1]->DriverStorePath.view()), U8(StoredInf(u"korvv6.inf_amd64_aaaa")));
  EXPECT_EQ(U8(packages[1]->DriverVer.view()), "01/02/2025,2025.1.2.3");

  const DriverRecord* first80 = nullptr;
  for (const PackageRecord* p : packages) {
    EXPECT_EQ(DriverNames(p), (Strings{"Korvane KP-80", "Korvane KP-58"}));
    EXPECT_EQ(p->DriverCount, 2);
    EXPECT_EQ(p->Removed, 0u);
    EXPECT_TRUE(p->Status.empty());
    const DriverRecord* kp80 = Drivers(p)[0];
    EXPECT_EQ(QueueNames(kp80), (Strings{"Kitchen 80", "Shop 80"}));
    EXPECT_EQ(kp80->QueueCount, 2);
    EXPECT_EQ(QueueNames(Drivers(p)[1]), (Strings{"Bar 58"}));
    // Each record has its own description and its own queue records.
    if (first80 != nullptr) {
      EXPECT_NE(kp80->Details, first80->Details);
      EXPECT_NE(kp80->Queues, first80->Queues);
      EXPECT_EQ(kp80->Queues->Printer, first80->Queues->Printer);
    }
    first80 = kp80;
  }
  // The descriptions are copies, not the enumeration's elements, and the
  // queues point into the kept printer enumeration.
  ASSERT_NE(DriverEnumBuffer, nullptr);
  ASSERT_NE(PrinterEnumBuffer, nullptr);
  EXPECT_NE(first80->Details, &(*DriverEnumBuffer)[2]);
  EXPECT_EQ(first80->Queues->Printer, &(*PrinterEnumBuffer)[2]);
  EXPECT_EQ(U8(first80->Details->pszMfgName), "Korvane");
}

TEST_F(InventoryTest, PackagesWithoutDriversDoNotCountAsAnInstallation) {
  AddPackage(u"korvv6.inf_amd64_aaaa", StoredInf(u"korvv6.inf_amd64_aaaa"));
  AddPackage(u"korvv6.inf_amd64_bbbb", StoredInf(u"korvv6.inf_amd64_bbbb"));

  EXPECT_FALSE(IsInstallationPresent());
  auto packages = Packages();
  ASSERT_EQ(packages.size(), 2u);
  EXPECT_EQ(packages[0]->DriverCount, 0);
  EXPECT_EQ(packages[0]->Drivers, nullptr);
  // Printers are not asked for by this question.
  EXPECT_EQ(M().CallCount("EnumPrintersW"), 0);
}

TEST_F(InventoryTest, ADriverAloneMakesARecordFromItsInfPath) {
  AddDriver(u"Korvane KP-80", StoredInf(u"korvv6.inf_amd64_bbbb"));

  EXPECT_TRUE(IsInstallationPresent());
  auto packages = Packages();
  ASSERT_EQ(packages.size(), 1u);
  EXPECT_TRUE(packages[0]->PackageName.empty());
  EXPECT_TRUE(packages[0]->DriverVer.empty());
  EXPECT_EQ(U8(packages[0]->DriverStorePath.view()), U8(StoredInf(u"korvv6.inf_amd64_bbbb")));
  EXPECT_EQ(DriverNames(packages[0]), (Strings{"Korvane KP-80"}));
  EXPECT_EQ(packages[0]->DriverCount, 1);
}

TEST_F(InventoryTest, ADriverWithoutInfPathGetsAPlaceholderThatALaterDriverNames) {
  AddDriver(u"Korvane KP-58");
  AddDriver(u"Korvane KP-80", StoredInf(u"korvv6.inf_amd64_bbbb"));
  AddDriver(u"Korvane KP-90", StoredInf(u"korvv6.inf_amd64_cccc"));

  EXPECT_TRUE(IsInstallationPresent());
  auto packages = Packages();
  ASSERT_EQ(packages.size(), 1u);
  const PackageRecord* p = packages[0];
  // The first INF path offered fills the empty path; later ones do not.
  EXPECT_EQ(U8(p->DriverStorePath.view()), U8(StoredInf(u"korvv6.inf_amd64_bbbb")));
  EXPECT_TRUE(p->PackageName.empty());
  EXPECT_EQ(DriverNames(p), (Strings{"Korvane KP-90", "Korvane KP-80", "Korvane KP-58"}));
  EXPECT_EQ(p->DriverCount, 3);
  // The placeholder's own driver is shown straight from the enumeration.
  EXPECT_EQ(Drivers(p)[2]->Details, &(*DriverEnumBuffer)[0]);
  EXPECT_NE(Drivers(p)[1]->Details, &(*DriverEnumBuffer)[1]);
}

TEST_F(InventoryTest, APlaceholderAloneKeepsAllTextsEmpty) {
  AddDriver(u"Korvane KP-58");
  AddDriver(u"Korvane KP-80");

  CollectAll();
  auto packages = Packages();
  // The second driver joins the placeholder the first one made.
  ASSERT_EQ(packages.size(), 1u);
  EXPECT_TRUE(packages[0]->DriverStorePath.empty());
  EXPECT_TRUE(packages[0]->PackageName.empty());
  EXPECT_TRUE(packages[0]->DriverVer.empty());
  EXPECT_EQ(DriverNames(packages[0]), (Strings{"Korvane KP-80", "Korvane KP-58"}));
  EXPECT_EQ(packages[0]->DriverCount, 2);
}

TEST_F(InventoryTest, FileNamesAndDriverNamesAreMatchedWithLetterCase) {
  AddPackage(u"korvv6.inf_amd64_aaaa", Text(kStore) + u"KORVV6.INF_amd64_aaaa\\KORVV6.INF");
  AddDriver(u"Korvane KP-58", Text(), Text(), u"C:\\Windows\\system32\\spool\\DRIVERS\\x64\\3\\KORVDRV6.DLL");
  AddDriver(u"Korvane KP-80", Text(), Text(), kDriverFile);
  AddQueue(u"Upper", u"KORVANE KP-80");
  AddQueue(u"Exact", u"Korvane KP-80");
  AddQueue(u"Other", u"Korvane KP-58");

  CollectAll();
  auto packages = Packages();
  ASSERT_EQ(packages.size(), 1u);
  EXPECT_TRUE(packages[0]->DriverStorePath.empty());  // the registry one was not taken
  EXPECT_EQ(DriverNames(packages[0]), (Strings{"Korvane KP-80"}));
  EXPECT_EQ(QueueNames(Drivers(packages[0])[0]), (Strings{"Exact"}));
}

TEST_F(InventoryTest, TheNativeArchitectureChoosesTheEnvironment) {
  struct Case {
    std::uint16_t arch;
    const char16_t* environment;
  };
  const Case cases[] = {{arch::Intel, u"Windows NT x86"},
                        {arch::Arm, u"Windows ARM"},
                        {arch::Amd64, u"Windows x64"},
                        {arch::Arm64, u"Windows ARM64"}};
  const Text base = u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\PackageInstallation\\";
  for (const Case& c : cases) {
    AddPackage(u"p", StoredInf(Text(u"korvv6.inf_") + c.environment), Text(),
               base + c.environment + u"\\DriverPackages");
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(U8(c.environment));
    ResetInventory();
    M().kernel.nativeArch = c.arch;
    EXPECT_EQ(CollectDriverPackages(), 1);
    auto packages = Packages();
    ASSERT_EQ(packages.size(), 1u);
    EXPECT_EQ(U8(packages[0]->DriverStorePath.view()), U8(StoredInf(Text(u"korvv6.inf_") + c.environment)));
  }
}

TEST_F(InventoryTest, AnUnknownArchitectureCollectsNoPackagesButStillTheDrivers) {
  AddPackage(u"korvv6.inf_amd64_aaaa", StoredInf(u"korvv6.inf_amd64_aaaa"));
  AddDriver(u"Korvane KP-80", StoredInf(u"korvv6.inf_amd64_bbbb"));
  for (std::uint16_t a : {arch::Ia64, arch::Unknown}) {
    ResetInventory();
    M().calls.clear();
    M().kernel.nativeArch = a;
    EXPECT_EQ(CollectDriverPackages(), 0);
    EXPECT_EQ(M().CallNames({"RegOpenKeyExW"}).size(), 0u);
    CollectPrinterDrivers();
    auto packages = Packages();
    ASSERT_EQ(packages.size(), 1u);
    EXPECT_EQ(U8(packages[0]->DriverStorePath.view()), U8(StoredInf(u"korvv6.inf_amd64_bbbb")));
  }
}

// The package records are the 64-bit spooler's, under HKLM\SOFTWARE in the
// native view: the shipped 32-bit program reads them there, not in the
// WOW6432Node view Windows would give it by default.
TEST_F(InventoryTest, PackageRecordsAreReadInTheNativeRegistryView) {
  const Text k32BitView =
      u"SOFTWARE\\WOW6432Node\\Microsoft\\Windows NT\\CurrentVersion\\Print\\PackageInstallation\\Windows "
      u"x64\\DriverPackages";
  AddPackage(u"native", StoredInf(u"korvv6.inf_amd64_aaaa"));
  AddPackage(u"wow", StoredInf(u"korvv6.inf_amd64_wwww"), Text(), k32BitView);
  for (std::uint16_t program : {arch::Intel, arch::Amd64}) {
    ResetInventory();
    M().kernel.programArch = program;
    EXPECT_EQ(CollectDriverPackages(), 1);
    auto packages = Packages();
    ASSERT_EQ(packages.size(), 1u);
    EXPECT_EQ(U8(packages[0]->DriverStorePath.view()), U8(StoredInf(u"korvv6.inf_amd64_aaaa")));
  }
}

TEST_F(InventoryTest, AKeyWithoutReadablePathIsPassedOver) {
  // Keys enumerate in name order: a, b, c, d, e.
  AddPackage(u"a", StoredInf(u"korvv6.inf_amd64_aaaa"));
  M().registry.Create(Text(kPackagesKeyX64) + u"\\b");  // no value at all
  M().registry.Create(Text(kPackagesKeyX64) + u"\\c").values[u"DriverStorePath"] =
      sim::RegistryState::String(StoredInf(u"korvv6.inf_amd64_cccc"));  // REG_SZ: filtered out
  M().registry.Create(Text(kPackagesKeyX64) + u"\\d").values[u"DriverStorePath"] =
      sim::RegistryState::MultiString({});  // empty list
  AddPackage(u"e", StoredInf(u"korvv6.inf_amd64_eeee"));

  EXPECT_EQ(CollectDriverPackages(), 1);
  auto packages = Packages();
  ASSERT_EQ(packages.size(), 2u);
  EXPECT_EQ(U8(packages[0]->DriverStorePath.view()), U8(StoredInf(u"korvv6.inf_amd64_eeee")));
  EXPECT_EQ(U8(packages[1]->DriverStorePath.view()), U8(StoredInf(u"korvv6.inf_amd64_aaaa")));
  // Every key was opened and closed again.
  EXPECT_EQ(M().CallCount("RegOpenKeyExW"), 6);
  EXPECT_TRUE(M().openHandles.empty());
}

TEST_F(InventoryTest, AKeyThatCannotBeOpenedIsSkippedAndAnEnumerationErrorEndsTheWalk) {
  AddPackage(u"a", StoredInf(u"korvv6.inf_amd64_aaaa"));
  AddPackage(u"b", StoredInf(u"korvv6.inf_amd64_bbbb"));
  AddPackage(u"c", StoredInf(u"korvv6.inf_amd64_cccc"));
  AddPackage(u"d", StoredInf(u"korvv6.inf_amd64_dddd"));
  // Call 1 opens the list; call 3 is key "b".
  M().faults.Set("RegOpenKeyExW", {err::AccessDenied, 0, 3, 0});
  // The fourth enumeration (index 3, key "d") fails with another error.
  M().faults.Set("RegEnumKeyW", {err::AccessDenied, 0, 4, 0});

  EXPECT_EQ(CollectDriverPackages(), 1);
  auto packages = Packages();
  ASSERT_EQ(packages.size(), 2u);
  EXPECT_EQ(U8(packages[0]->DriverStorePath.view()), U8(StoredInf(u"korvv6.inf_amd64_cccc")));
  EXPECT_EQ(U8(packages[1]->DriverStorePath.view()), U8(StoredInf(u"korvv6.inf_amd64_aaaa")));
  EXPECT_EQ(M().CallCount("RegEnumKeyW"), 4);
}

TEST_F(InventoryTest, NoPackageIsKeptUnderACutPath) {
  // The value is a list with two terminators: a store path of 1022 units
  // fits the 1024-unit buffer; one of 1023 does not and is passed over.
  auto pathOf = [](std::size_t length, char16_t fill) {
    Text tail = u"\\korvv6.inf";
    Text path = Text(kStore) + Text(length - TextLength(kStore) - tail.size(), fill) + tail;
    EXPECT_EQ(path.size(), length);
    return path;
  };
  const Text fits = pathOf(1022, u'f');
  AddPackage(u"a", fits);
  AddPackage(u"b", pathOf(1023, u'g'));
  // A last component of 60 units is shown cut; the path stays whole.
  const Text longName = Text(kStore) + u"korvv6.inf_amd64\\" + Text(50, u'n') + u"korvv6.inf";
  AddPackage(u"c", longName);

  CollectDriverPackages();
  auto packages = Packages();
  ASSERT_EQ(packages.size(), 2u);
  EXPECT_EQ(packages[0]->DriverStorePath.view(), longName);
  EXPECT_EQ(packages[0]->PackageName.view(), (Text(49, u'n')));
  EXPECT_EQ(packages[1]->DriverStorePath.view(), fits);
  EXPECT_EQ(packages[1]->PackageName.view(), u"korvv6.inf");
}

TEST_F(InventoryTest, ADriverInfPathThatDoesNotFitCountsAsNone) {
  const Text tooLong = Text(kStore) + Text(1024 - TextLength(kStore) - 11, u'x') + u"\\korvv6.inf";
  ASSERT_EQ(tooLong.size(), 1024u);
  AddDriver(u"Korvane KP-58", tooLong);
  CollectPrinterDrivers();
  auto packages = Packages();
  ASSERT_EQ(packages.size(), 1u);
  EXPECT_TRUE(packages[0]->DriverStorePath.empty());
  EXPECT_EQ(DriverNames(packages[0]), (Strings{"Korvane KP-58"}));

  // One unit shorter, it names the package.
  ResetInventory();
  M().spooler.drivers.clear();
  const Text fits = tooLong.substr(1);
  AddDriver(u"Korvane KP-58", fits);
  CollectPrinterDrivers();
  ASSERT_NE(InstalledPackages, nullptr);
  EXPECT_EQ(InstalledPackages->DriverStorePath.view(), fits);
}

TEST_F(InventoryTest, AllocationFailuresDropOnlyWhatTheyConcern) {
  AddPackage(u"a", StoredInf(u"korvv6.inf_amd64_aaaa"));
  AddPackage(u"b", StoredInf(u"korvv6.inf_amd64_bbbb"));
  AddDriver(u"Korvane KP-80");
  AddQueue(u"Shop 80", u"Korvane KP-80");
  // Blocks: 1 record a, 2 record b, 3 the driver enumeration, 4 driver record
  // under b, 5 its copy (fails), 6 driver record under a, 7 its copy, 8 the
  // printer enumeration, 9 the queue record under a.
  M().faults.Set("LocalAlloc", {err::NotEnoughMemory, 0, 5, 0});

  CollectAll();
  auto packages = Packages();
  ASSERT_EQ(packages.size(), 2u);
  ASSERT_EQ(Drivers(packages[0]).size(), 1u);
  EXPECT_EQ(Drivers(packages[0])[0]->Details, nullptr);  // kept, without description
  EXPECT_EQ(packages[0]->DriverCount, 0);
  EXPECT_EQ(Drivers(packages[0])[0]->Queues, nullptr);  // a queue needs the driver's name
  EXPECT_EQ(packages[1]->DriverCount, 1);
  EXPECT_EQ(QueueNames(Drivers(packages[1])[0]), (Strings{"Shop 80"}));

  // Everything still allocated is held by the inventory on purpose, and its
  // reset gives every block back.
  EXPECT_EQ(M().kernel.liveAllocations, InventoryBlockCount());
  EXPECT_EQ(InventoryBlockCount(), 8u);
  ResetInventory();
  EXPECT_EQ(M().kernel.liveAllocations, 0u);
  EXPECT_EQ(InstalledPackages, nullptr);
  EXPECT_EQ(DriverEnumBuffer, nullptr);
}

// Which lost allocation leaves the inventory incomplete: only one after
// which no record shows a driver or queue of the machine. A driver whose copy
// under its package failed is still shown, by the placeholder record.
TEST_F(InventoryTest, OnlyARecordReallyMissingMakesTheInventoryIncomplete) {
  struct Case {
    const char* what;
    bool twoPackages;
    int failingBlock;
    bool complete;
  };
  // Blocks with one package: 1 package record, 2 driver enumeration,
  // 3 driver record, 4 its copy, 5 printer enumeration, 6 queue record.
  // Two packages: 1 a, 2 b, 3 driver enumeration, 4 and 5 under b, 6 and 7
  // under a.
  const Case cases[] = {
      {"nothing fails", false, 0, true},
      {"the driver's copy fails: the placeholder shows it", false, 4, true},
      {"the driver record fails: the placeholder shows it", false, 3, true},
      {"the copy under b fails: a shows the driver", true, 5, true},
      {"the package record fails", false, 1, false},
      {"the queue record fails", false, 6, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TearDown();
    SetUp();
    AddPackage(u"a", StoredInf(u"korvv6.inf_amd64_aaaa"));
    if (c.twoPackages) AddPackage(u"b", StoredInf(u"korvv6.inf_amd64_bbbb"));
    AddDriver(u"Korvane KP-80");
    AddQueue(u"Shop 80", u"Korvane KP-80");
    if (c.failingBlock != 0) M().faults.Set("LocalAlloc", {err::NotEnoughMemory, 0, c.failingBlock, 0});
    CollectAll();
    MarkInventoryCollected();
    EXPECT_EQ(InventoryIsComplete(), c.complete);
  }
}

}  // namespace
}  // namespace korv::test

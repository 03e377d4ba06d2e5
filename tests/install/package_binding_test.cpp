#include "install/package_binding.h"

#include "install_machine.h"
#include "platform/devices.h"

namespace korv::test {
namespace {

class PackageBindingTest : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    PrepareInstallMachine(M());
  }
  std::string StoredInf() { return U8(M().spooler.uploadDestination); }
};

TEST_F(PackageBindingTest, UploadTracesWhereThePackageLanded) {
  EXPECT_EQ(DoUploadDriverPackage(kInf), 1);
  EXPECT_EQ(TraceLines(M()), std::vector<std::string>{"DoUploadDriverPackage, " + StoredInf() + ", code:0."});
  ASSERT_EQ(M().spooler.store.size(), 1u);
  EXPECT_EQ(U8(M().spooler.store[0].sourceInf), U8(kInf));

  // Already in the store: uploaded again all the same.
  EXPECT_EQ(DoUploadDriverPackage(kInf), 1);
  EXPECT_EQ(M().CallCount("UploadPrinterDriverPackageW"), 2);
  EXPECT_EQ(M().spooler.store.size(), 1u);
}

TEST_F(PackageBindingTest, OnlyExactlySOkCountsAsUploaded) {
  M().spooler.uploadResult = hr::False;
  EXPECT_EQ(DoUploadDriverPackage(kInf), 0);
  EXPECT_EQ(TraceLines(M()).back(), "DoUploadDriverPackage, " + StoredInf() + ", code:1.");

  // A failure returns no path; the code is traced as a signed number.
  M().spooler.uploadResult = hr::Fail;
  EXPECT_EQ(DoUploadDriverPackage(kInf), 0);
  EXPECT_EQ(TraceLines(M()).back(), "DoUploadDriverPackage, , code:-2147467259.");

  // No INF where it was looked for.
  M().spooler.uploadResult = hr::Ok;
  EXPECT_EQ(DoUploadDriverPackage(u"C:\\Elsewhere\\korvv6.inf"), 0);
  EXPECT_EQ(TraceLines(M()).back(), "DoUploadDriverPackage, , code:-2147024894.");
}

TEST_F(PackageBindingTest, ReenumerationIsOnlyRequestedFromTheRoot) {
  ReenumerateDevices(os::CM_REENUMERATE_NORMAL, RootLookup::kLocated);
  EXPECT_EQ(Calls(M()), (std::vector<std::string>{"CM_Locate_DevNodeW", "CM_Reenumerate_DevNode"}));
  EXPECT_EQ(CallDetails(M(), "CM_Reenumerate_DevNode"), std::vector<std::string>{"normal"});
  EXPECT_EQ(M().devices.reenumerations, 1);

  // No root found: nothing to re-enumerate.
  M().faults.Set("CM_Locate_DevNodeW", {0x0D /* CR_NO_SUCH_DEVNODE */});
  ReenumerateDevices(os::CM_REENUMERATE_NORMAL, RootLookup::kLocated);
  EXPECT_EQ(M().CallCount("CM_Reenumerate_DevNode"), 1);
}

TEST_F(PackageBindingTest, BindingAnUploadedPackageLetsPlugAndPlayCreateTheQueue) {
  PlugPrinter(M(), 3000);
  ASSERT_EQ(DoUploadDriverPackage(kInf), 1);
  BindDriverToDevice(kHardwareId, kInf);
  // The shipped INF is bound, not the store's copy.
  EXPECT_EQ(CallDetails(M(), "UpdateDriverForPlugAndPlayDevicesW"),
            std::vector<std::string>{U8(kHardwareId) + " " + U8(kInf)});
  EXPECT_EQ(QueueNamed(M(), kModel), nullptr);  // not yet

  M().clock.Sleep(2999);
  EXPECT_EQ(QueueNamed(M(), kModel), nullptr);
  M().clock.Sleep(1);
  const sim::SimQueue* q = QueueNamed(M(), kModel);
  ASSERT_NE(q, nullptr);
  EXPECT_EQ(U8(q->info.pPortName), "USB001");
  const os::DriverInfo8* d = DriverNamed(M(), kModel);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(U8(d->pszInfPath), StoredInf());
  EXPECT_TRUE(TraceLines(M()).size() == 1);  // the binding writes nothing
}

TEST_F(PackageBindingTest, BindingWithoutDeviceOrPackageCreatesNothing) {
  // No device with the ID.
  BindDriverToDevice(kHardwareId, kInf);
  // A device, but the package was never given to the spooler.
  PlugPrinter(M(), 1000);
  BindDriverToDevice(kHardwareId, kInf);
  M().clock.Sleep(60000);
  EXPECT_TRUE(M().spooler.queues.empty());
  EXPECT_TRUE(M().spooler.drivers.empty());
}

}  // namespace
}  // namespace korv::test

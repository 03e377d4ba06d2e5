#include "install/install_printer.h"

#include "install_machine.h"
#include "platform/kernel.h"

namespace korv::test {
namespace {

class InstallPrinterTest : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    PrepareInstallMachine(M());
  }
  int Install(std::uint8_t options = 0) { return InstallPrinter(MakeRequest(options), kInf); }
  // Skips the driver-store road: the spooler refuses the package.
  void RefuseUpload() { M().spooler.uploadResult = hr::Fail; }
  bool Copied(const std::string& fileName) {
    for (const auto& d : CallDetails(M(), "CopyFileW")) {
      if (d.find(fileName) != std::string::npos) return true;
    }
    return false;
  }
  std::string ContentAt(const Text& path) {
    const sim::SimFile* f = FileAt(M(), path);
    return f != nullptr ? f->content : "<missing>";
  }
  void ExpectQueueOnPort(const Text& port) {
    const sim::SimQueue* q = QueueNamed(M(), kModel);
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(U8(q->info.pPortName), U8(port));
    EXPECT_EQ(U8(q->info.pDriverName), U8(kModel));
  }
};

TEST_F(InstallPrinterTest, ExistingQueueOnAnyPortEndsAtOnceTouchingNothing) {
  M().spooler.ports.push_back(u"USB002");
  M().spooler.drivers.push_back({FamilyDriver(kModel)});
  AddQueue(M(), kModel, u"USB002", kModel);
  PlugPrinter(M(), 0);

  EXPECT_EQ(Install(kOptionLanguageMonitor), kAlreadyInstalled);
  EXPECT_EQ(Calls(M()), (std::vector<std::string>{"OpenPrinterW", "GetPrinterW"}));
  EXPECT_EQ(Now(), 0u);
  EXPECT_EQ(U8(QueueNamed(M(), kModel)->info.pPortName), "USB002");
  EXPECT_TRUE(TraceLines(M()).empty());
}

TEST_F(InstallPrinterTest, DriverStoreRoadWithoutMonitorWaitsAllTenChecks) {
  PlugPrinter(M(), 0);  // the queue is there from the second check on

  EXPECT_EQ(Install(), 1);
  EXPECT_EQ(Now(), 10000u);

  std::vector<std::string> expected = {"OpenPrinterW", "EnumPrinterDriversW", "UploadPrinterDriverPackageW",
                                       "CM_Locate_DevNodeW", "CM_Reenumerate_DevNode",
                                       "UpdateDriverForPlugAndPlayDevicesW", "OpenPrinterW"};
  for (int check = 2; check <= 10; ++check) expected.insert(expected.end(), {"OpenPrinterW", "GetPrinterW"});
  expected.insert(expected.end(), {"OpenPrinterW", "GetPrinterW", "EnumPortsW"});
  EXPECT_EQ(Calls(M()), expected);
  EXPECT_EQ(FirstCallAt(M(), "EnumPortsW"), 10000u);

  ExpectQueueOnPort(kPort);
  ASSERT_NE(DriverNamed(M(), kModel), nullptr);  // brought by Plug and Play
  EXPECT_EQ(M().spooler.monitors.size(), 0u);
  EXPECT_EQ(FileAt(M(), Text(kSystemDir) + u"\\korvmon.dll"), nullptr);
  EXPECT_EQ(Spooler(M()).stopRequests, 0);
  EXPECT_EQ(OpenPrinterHandles(M()), 0);
}

TEST_F(InstallPrinterTest, QueueAppearingAfterTheLastCheckIsAcceptedWithoutTheMonitor) {
  PlugPrinter(M(), 9500);  // after the tenth check (at 9 s)
  EXPECT_EQ(Install(kOptionLanguageMonitor), 1);
  EXPECT_EQ(Now(), 10000u);
  ExpectQueueOnPort(kPort);
  EXPECT_EQ(Spooler(M()).stopRequests, 0);
  EXPECT_EQ(M().CallCount("CopyFileW"), 0);
}

// The queue shows up at some check: for a monitor model the wait ends there,
// the monitor is staged with a spooler restart (3.5 s) and the queue is
// accepted.
class MonitorWaitTest : public InstallPrinterTest,
                        public ::testing::WithParamInterface<std::pair<std::uint64_t, std::uint64_t>> {};

TEST_P(MonitorWaitTest, WaitEndsAtTheCheckThatSeesTheQueue) {
  const auto [delay, seenAt] = GetParam();
  PlugPrinter(M(), delay);

  EXPECT_EQ(Install(kOptionLanguageMonitor), 1);
  EXPECT_EQ(FirstCallAt(M(), "ControlService"), seenAt);
  EXPECT_EQ(Now(), seenAt + 3500);

  const std::string monitor = sim::InstallerFileContent(u"amd64", u"korvmon.dll");
  EXPECT_EQ(ContentAt(Text(kDriverDir) + u"\\korvmon.dll"), monitor);
  EXPECT_EQ(ContentAt(Text(kSystemDir) + u"\\korvmon.dll"), monitor);
  EXPECT_EQ(Spooler(M()).stopRequests, 1);
  EXPECT_EQ(Spooler(M()).startRequests, 1);
  EXPECT_EQ(Spooler(M()).state, os::SERVICE_RUNNING);
  // Only the monitor: the rest came with the package.
  EXPECT_EQ(M().CallCount("CopyFileW"), 2);
  EXPECT_EQ(M().CallCount("AddMonitorW"), 0);
  EXPECT_EQ(M().CallCount("AddPrinterDriverW"), 0);
  EXPECT_EQ(M().CallCount("AddPrinterW"), 0);
  ExpectQueueOnPort(kPort);
}

INSTANTIATE_TEST_SUITE_P(QueueSeenAt, MonitorWaitTest,
                         ::testing::Values(std::make_pair(0ull, 1000ull), std::make_pair(2500ull, 3000ull),
                                           std::make_pair(8500ull, 9000ull)));

TEST_F(InstallPrinterTest, QueueCreatedOnAnotherPortIsMoved) {
  M().spooler.ports.push_back(u"USB002");
  PlugPrinter(M(), 1000, u"USB002");

  EXPECT_EQ(Install(), 1);
  EXPECT_EQ(Now(), 10000u);
  EXPECT_EQ(M().CallCount("SetPrinterW"), 1);
  EXPECT_EQ(M().CallCount("AddPrinterW"), 0);
  ExpectQueueOnPort(kPort);
}

TEST_F(InstallPrinterTest, MoveRefusedBySpoolerFailsTheInstallation) {
  M().spooler.ports.push_back(u"USB002");
  PlugPrinter(M(), 1000, u"USB002");
  M().faults.Set("SetPrinterW", {err::AccessDenied});

  EXPECT_EQ(Install(), 0);
  EXPECT_EQ(os::GetLastError(), err::AccessDenied);
  ExpectQueueOnPort(u"USB002");
  EXPECT_EQ(M().CallCount("EnumPortsW"), 0);  // no port check after a failure
}

TEST_F(InstallPrinterTest, SeagullDriverOfTheMakerSkipsTheDriverStore) {
  M().spooler.drivers.push_back({OtherDriver(u"Korvane KP-80 Seagull", Text(kDriverDir) + u"\\3\\KP80SeagullUI.dll",
                                             u"Korvane")});
  PlugPrinter(M(), 0);

  EXPECT_EQ(Install(), 1);
  EXPECT_EQ(M().CallCount("UploadPrinterDriverPackageW"), 0);
  EXPECT_EQ(M().CallCount("CM_Reenumerate_DevNode"), 0);
  EXPECT_EQ(M().CallCount("UpdateDriverForPlugAndPlayDevicesW"), 0);
  EXPECT_EQ(Now(), 0u);  // straight to the manual road, which finds everything at once

  // The manual road: the family's driver next to the Seagull one, and the queue.
  const os::DriverInfo8* d = DriverNamed(M(), kModel);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(U8(d->pConfigFile), U8(Text(kDriverDir) + u"\\3\\korvdrv6ui.dll"));
  EXPECT_EQ(M().spooler.drivers.size(), 2u);
  ExpectQueueOnPort(kPort);
  EXPECT_FALSE(Copied("korvmon.dll"));  // not a monitor model
  EXPECT_EQ(M().CallCount("AddMonitorW"), 0);
}

TEST_F(InstallPrinterTest, ForeignDriverUnderTheNameIsLeftAloneAndAMissingPortRestartsTheSpooler) {
  M().spooler.drivers.push_back({OtherDriver(kModel, Text(kDriverDir) + u"\\3\\OTHERUI.DLL", u"Other")});
  // The printer's port is reported only once the spooler starts again.
  M().spooler.ports.erase(M().spooler.ports.end() - 1);
  M().spooler.portsAfterCycle.push_back(kPort);

  EXPECT_EQ(Install(kOptionLanguageMonitor), 1);
  // No device took the package: the full wait, then the restart.
  EXPECT_EQ(FirstCallAt(M(), "ControlService"), 10000u);
  EXPECT_EQ(Now(), 13300u);
  EXPECT_EQ(Spooler(M()).stopRequests, 1);
  EXPECT_EQ(Spooler(M()).startRequests, 1);

  EXPECT_EQ(M().CallCount("GetPrinterDriverDirectoryW"), 0);
  EXPECT_EQ(M().CallCount("CopyFileW"), 0);
  EXPECT_EQ(M().CallCount("AddMonitorW"), 0);
  EXPECT_EQ(M().CallCount("AddPrinterDriverW"), 0);
  EXPECT_EQ(M().CallCount("AddPrinterW"), 0);
  EXPECT_TRUE(M().spooler.queues.empty());
  EXPECT_EQ(U8(DriverNamed(M(), kModel)->pConfigFile), U8(Text(kDriverDir) + u"\\3\\OTHERUI.DLL"));
  // After the restart the spooler lists the port.
  EXPECT_TRUE(M().spooler.portsAfterCycle.empty());
  EXPECT_EQ(U8(M().spooler.ports.back()), "USB001");
}

TEST_F(InstallPrinterTest, ManualRoadForAMonitorModelInOrder) {
  RefuseUpload();
  EXPECT_EQ(Install(kOptionLanguageMonitor), 1);

  EXPECT_EQ(Calls(M()).size(), M().calls.size() - M().CallCount("MultiByteToWideChar"));  // no allocations
  const std::vector<std::string> steps = {"CopyFileW",     "CopyFileW",         "CopyFileW",  "CopyFileW",
                                          "ControlService", "CopyFileW",        "StartServiceW",
                                          "AddMonitorW",    "AddPrinterDriverW", "AddPrinterW"};
  EXPECT_EQ(M().CallNames({"CopyFileW", "ControlService", "StartServiceW", "AddMonitorW", "AddPrinterDriverW",
                           "AddPrinterW", "UpdateDriverForPlugAndPlayDevicesW"}),
            steps);
  EXPECT_EQ(CallDetails(M(), "CopyFileW"),
            (std::vector<std::string>{
                "C:\\Korvane\\amd64\\korvdrv6.dll -> " + U8(kDriverDir) + "\\korvdrv6.dll",
                "C:\\Korvane\\amd64\\korvdrv6ui.dll -> " + U8(kDriverDir) + "\\korvdrv6ui.dll",
                "C:\\Korvane\\dat\\korvdrv6.dat -> " + U8(kDriverDir) + "\\korvdrv6.dat",
                "C:\\Korvane\\amd64\\korvmon.dll -> " + U8(kDriverDir) + "\\korvmon.dll",
                "C:\\Korvane\\amd64\\korvmon.dll -> " + U8(kSystemDir) + "\\korvmon.dll",
            }));
  EXPECT_EQ(Now(), 3500u);  // the one spooler restart

  ASSERT_EQ(M().spooler.monitors.size(), 1u);
  const os::DriverInfo8* d = DriverNamed(M(), kModel);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(U8(d->pMonitorName), "Language Monitor");
  ExpectQueueOnPort(kPort);
  EXPECT_TRUE(Traced(M(), "DoUploadDriverPackage, , code:-2147467259."));

  // Installed: a second run finds the queue and does nothing.
  M().calls.clear();
  EXPECT_EQ(Install(kOptionLanguageMonitor), kAlreadyInstalled);
  EXPECT_EQ(Calls(M()), (std::vector<std::string>{"OpenPrinterW", "GetPrinterW"}));
}

// The shipped 32-bit program puts the language monitor where the native
// spooler loads it from: the real system folder, never SysWOW64, on x64 and
// ARM64 alike; the spooler then accepts the monitor.
TEST_F(InstallPrinterTest, TheMonitorLandsInTheNativeSystemFolderOnEveryProcessor) {
  const Text kWow64Monitor = u"C:\\Windows\\SysWOW64\\korvmon.dll";
  const std::pair<std::uint16_t, const char16_t*> machines[] = {
      {arch::Amd64, u"amd64"}, {arch::Arm64, u"arm64"}, {arch::Intel, u"i386"}};
  for (const auto& [native, folder] : machines) {
    SCOPED_TRACE(U8(folder));
    TearDown();
    SetUp();
    M().kernel.nativeArch = native;
    M().kernel.folders.insert(u"C:\\Windows\\SysWOW64");
    RefuseUpload();
    EXPECT_EQ(Install(kOptionLanguageMonitor), 1);
    EXPECT_EQ(ContentAt(Text(kSystemDir) + u"\\korvmon.dll"), sim::InstallerFileContent(folder, u"korvmon.dll"));
    EXPECT_EQ(ContentAt(kWow64Monitor), "<missing>");
    EXPECT_EQ(M().spooler.monitors.size(), 1u);
  }
}

TEST_F(InstallPrinterTest, RegisteredDriverIsNotRegisteredAgain) {
  RefuseUpload();
  M().spooler.drivers.push_back({FamilyDriver(kModel)});
  EXPECT_EQ(Install(), 1);
  EXPECT_EQ(M().CallCount("CopyFileW"), 3);  // the files are still refreshed
  EXPECT_EQ(M().CallCount("AddPrinterDriverW"), 0);
  ExpectQueueOnPort(kPort);
}

TEST_F(InstallPrinterTest, UnknownProcessorCannotRegisterTheDriver) {
  M().kernel.nativeArch = arch::Ia64;
  EXPECT_EQ(Install(kOptionLanguageMonitor), 0);
  // 10 s for Plug and Play (nothing plugged), 5 s for the queue.
  EXPECT_EQ(Now(), 15000u);
  EXPECT_EQ(CallDetails(M(), "CopyFileW"),
            std::vector<std::string>{"C:\\Korvane\\dat\\korvdrv6.dat -> " + U8(kDriverDir) + "\\korvdrv6.dat"});
  EXPECT_EQ(Spooler(M()).stopRequests, 0);
  EXPECT_EQ(M().CallCount("AddPrinterDriverW"), 0);
  EXPECT_TRUE(Traced(M(), "AddPrinter Korvane KP-80 failed, errcode:1797."));
  EXPECT_TRUE(M().spooler.queues.empty());
  EXPECT_EQ(M().CallCount("EnumPortsW"), 0);
}

TEST_F(InstallPrinterTest, UnknownProcessorStillAddsTheQueueOnAnEarlierDriver) {
  M().kernel.nativeArch = arch::Ia64;
  M().spooler.drivers.push_back({FamilyDriver(kModel)});
  EXPECT_EQ(Install(), 1);
  EXPECT_EQ(Now(), 10000u);
  EXPECT_EQ(M().CallCount("AddPrinterDriverW"), 0);
  ExpectQueueOnPort(kPort);
}

TEST_F(InstallPrinterTest, EveryStagingStepFailingStillSucceedsWithTheQueue) {
  RefuseUpload();
  M().spooler.drivers.push_back({FamilyDriver(kModel)});
  M().faults.Set("CopyFileW", {err::AccessDenied});
  M().faults.Set("MoveFileExW", {err::AccessDenied});

  EXPECT_EQ(Install(kOptionLanguageMonitor), 1);
  EXPECT_EQ(M().CallCount("MoveFileExW"), 3);    // each processor-specific file
  EXPECT_EQ(M().CallCount("AddMonitorW"), 1);    // refused: no monitor in the system folder
  EXPECT_EQ(M().CallCount("AddPrinterDriverW"), 0);
  EXPECT_TRUE(Traced(M(), "InstallPrinterLanguageMonitor failed, errcode:126."));
  ExpectQueueOnPort(kPort);
  EXPECT_TRUE(M().kernel.pendingRenames.empty());
}

TEST_F(InstallPrinterTest, LockedTargetIsScheduledAndTheInstallationGoesOn) {
  RefuseUpload();
  const Text target = Text(kDriverDir) + u"\\korvdrv6.dll";
  M().kernel.files[target] = sim::SimFile{"build in use", true};

  EXPECT_EQ(Install(), 1);
  ASSERT_EQ(M().kernel.pendingRenames.size(), 1u);
  EXPECT_EQ(U8(M().kernel.pendingRenames[0].source), "C:\\Korvane\\amd64\\korvdrv6.dll");
  EXPECT_EQ(U8(M().kernel.pendingRenames[0].target), U8(target));
  EXPECT_EQ(ContentAt(target), "build in use");
  EXPECT_TRUE(Traced(M(), "CopyFile file:C:\\Korvane\\amd64\\korvdrv6.dll to " + U8(target) + ", 0, errcode:32."));
  ASSERT_NE(DriverNamed(M(), kModel), nullptr);
  ExpectQueueOnPort(kPort);
}

TEST_F(InstallPrinterTest, SpoolerDownFailsWithoutStartingIt) {
  M().services.services.at(u"Spooler").state = os::SERVICE_STOPPED;
  PlugPrinter(M(), 0);

  EXPECT_EQ(Install(kOptionLanguageMonitor), 0);
  EXPECT_EQ(os::GetLastError(), 1722u);
  EXPECT_EQ(Now(), 5000u);  // the queue checks only
  EXPECT_EQ(Spooler(M()).state, os::SERVICE_STOPPED);
  EXPECT_EQ(M().CallCount("StartServiceW"), 0);
  EXPECT_EQ(M().CallCount("ControlService"), 0);
  EXPECT_EQ(M().CallCount("UpdateDriverForPlugAndPlayDevicesW"), 0);
  EXPECT_EQ(M().CallCount("CopyFileW"), 0);
  EXPECT_EQ(FileAt(M(), Text(kSystemDir) + u"\\korvmon.dll"), nullptr);
  EXPECT_TRUE(Traced(M(), "DoUploadDriverPackage, , code:-2147023174."));
  EXPECT_TRUE(Traced(M(), "InstallPrinterLanguageMonitor failed, errcode:1722."));
  EXPECT_TRUE(Traced(M(), "AddPrinter Korvane KP-80 failed, errcode:1722."));
}

TEST_F(InstallPrinterTest, DriverAcceptedButNeverListedFailsAfterFiveSeconds) {
  RefuseUpload();
  M().spooler.acceptedNeverListed.push_back(kModel);

  EXPECT_EQ(Install(), 0);
  EXPECT_EQ(Now(), 5000u);
  EXPECT_EQ(M().CallCount("AddPrinterDriverW"), 1);
  EXPECT_EQ(M().CallCount("AddPrinterW"), 0);
  EXPECT_TRUE(M().spooler.queues.empty());
  EXPECT_EQ(M().CallCount("EnumPortsW"), 0);
}

TEST_F(InstallPrinterTest, QueueNeverAddedAfterCompleteStagingStillCountsAsInstalled) {
  RefuseUpload();
  M().faults.Set("AddPrinterW", {err::AccessDenied});

  EXPECT_EQ(Install(), 1);
  EXPECT_EQ(Now(), 5000u);  // five queue checks
  EXPECT_EQ(M().CallCount("OpenPrinterW"), 1 + 1 + 1 + 5);  // the look, the manual road's look, 5 checks, the choice
  EXPECT_TRUE(Traced(M(), "AddPrinter Korvane KP-80 failed, errcode:5."));
  EXPECT_TRUE(M().spooler.queues.empty());
  ASSERT_NE(DriverNamed(M(), kModel), nullptr);
}

TEST_F(InstallPrinterTest, PortSpelledDifferentlyIsMovedToAndTheSpoolerRestarted) {
  M().spooler.ports = {u"LPT1:", u"usb001"};
  PlugPrinter(M(), 1000, u"usb001");

  EXPECT_EQ(Install(), 1);
  EXPECT_EQ(M().CallCount("SetPrinterW"), 1);  // "usb001" is not "USB001"
  EXPECT_EQ(Spooler(M()).stopRequests, 1);     // nor is the port listed
  EXPECT_EQ(Now(), 13300u);
  ExpectQueueOnPort(u"usb001");  // the spooler keeps its own spelling
}

TEST_F(InstallPrinterTest, UploadSuccessOtherThanSOkIsNotBound) {
  M().spooler.uploadResult = hr::False;
  PlugPrinter(M(), 0);

  EXPECT_EQ(Install(), 1);
  EXPECT_EQ(M().CallCount("CM_Locate_DevNodeW"), 0);
  EXPECT_EQ(M().CallCount("UpdateDriverForPlugAndPlayDevicesW"), 0);
  EXPECT_EQ(Now(), 0u);  // no Plug and Play wait
  EXPECT_EQ(FirstCallAt(M(), "AddPrinterW"), 0u);
  EXPECT_TRUE(Traced(M(), "DoUploadDriverPackage, " + U8(M().spooler.uploadDestination) + ", code:1."));
  ExpectQueueOnPort(kPort);
}

}  // namespace
}  // namespace korv::test

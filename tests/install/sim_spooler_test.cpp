// The simulated spooler and Plug and Play, as the installer and the
// uninstaller meet them: the Windows behaviour both rely on.
#include "install/file_staging.h"
#include "install_machine.h"
#include "platform/devices.h"
#include "platform/kernel.h"
#include "platform/spooler.h"

namespace korv::test {
namespace {

class SimSpoolerTest : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    PrepareInstallMachine(M());
    M().spooler.drivers.push_back({FamilyDriver(kModel)});
  }
  void Stop() { M().services.services.at(u"Spooler").state = os::SERVICE_STOPPED; }
  os::Handle Open(const Text& name) {
    os::Handle h;
    os::OpenPrinterW(name.c_str(), os::PRINTER_ALL_ACCESS, &h);
    return h;
  }
};

TEST_F(SimSpoolerTest, NothingAnswersWhileTheSpoolerIsStopped) {
  AddQueue(M(), kModel, kPort, kModel);
  os::Handle queue = Open(kModel);
  ASSERT_TRUE(queue);
  Stop();

  std::vector<os::DriverInfo8> drivers;
  std::vector<Text> ports;
  std::vector<os::PrinterInfo2> printers;
  os::PrinterInfo2 info;
  char16_t dir[260];
  os::Handle h;
  const bool results[] = {
      os::EnumPrinterDriversW(&drivers),
      os::AddPrinterDriverW(FamilyDriver(u"x")),
      os::DeletePrinterDriverExW(kModel, 0, 0),
      os::GetPrinterDriverDirectoryW(dir, 260),
      os::AddMonitorW({u"m", u"", u"korvmon.dll"}),
      os::DeleteMonitorW(u"m"),
      os::EnumPortsW(&ports),
      os::OpenPrinterW(kModel, os::PRINTER_ALL_ACCESS, &h),
      os::GetPrinterW(queue, &info),
      os::SetPrinterW(queue, nullptr, os::PRINTER_CONTROL_PURGE),
      static_cast<bool>(os::AddPrinterW(info)),
      os::DeletePrinter(queue),
      os::EnumPrintersW(os::PRINTER_ENUM_LOCAL, &printers),
  };
  for (std::size_t i = 0; i < std::size(results); ++i) EXPECT_FALSE(results[i]) << i;
  EXPECT_EQ(os::GetLastError(), 1722u);
  Dword size = 260;
  EXPECT_EQ(os::UploadPrinterDriverPackageW(kInf, os::UPDP_UPLOAD_ALWAYS, dir, &size), hr::FromWin32(1722));
  EXPECT_EQ(os::DeletePrinterDriverPackageW(kInf), hr::FromWin32(1722));
  EXPECT_EQ(M().spooler.queues.size(), 1u);
  EXPECT_EQ(M().spooler.drivers.size(), 1u);
}

TEST_F(SimSpoolerTest, DriverDeletionWaitsForQueuesAndForARestart) {
  EXPECT_FALSE(os::DeletePrinterDriverExW(u"Korvane KP-58", os::DPD_DELETE_UNUSED_FILES, 0));
  EXPECT_EQ(os::GetLastError(), err::UnknownPrinterDriver);

  AddQueue(M(), u"Shop", kPort, u"korvane kp-80");  // names are found in any case
  EXPECT_FALSE(os::DeletePrinterDriverExW(kModel, os::DPD_DELETE_UNUSED_FILES, 0));
  EXPECT_EQ(os::GetLastError(), err::PrinterDriverInUse);
  M().spooler.queues.clear();

  M().spooler.drivers[0].inUseUntilCycle = true;
  EXPECT_FALSE(os::DeletePrinterDriverExW(kModel, os::DPD_DELETE_UNUSED_FILES, 0));
  EXPECT_EQ(os::GetLastError(), err::PrinterDriverInUse);
  RestartSpooler(nullptr, nullptr);
  EXPECT_FALSE(M().spooler.drivers[0].inUseUntilCycle);  // let go as the new spooler came up

  // Its files go unless another driver still uses them.
  for (const auto* path : {&M().spooler.drivers[0].info.pDriverPath, &M().spooler.drivers[0].info.pConfigFile}) {
    M().kernel.files[*path] = sim::SimFile{"f", false};
  }
  os::DriverInfo8 sibling = FamilyDriver(u"Korvane KP-58");
  sibling.pConfigFile = Text(kDriverDir) + u"\\3\\other.dll";
  M().spooler.drivers.push_back({sibling});
  EXPECT_TRUE(os::DeletePrinterDriverExW(kModel, os::DPD_DELETE_UNUSED_FILES, 0));
  EXPECT_NE(FileAt(M(), Text(kDriverDir) + u"\\3\\korvdrv6.dll"), nullptr);
  EXPECT_EQ(FileAt(M(), Text(kDriverDir) + u"\\3\\korvdrv6ui.dll"), nullptr);
  EXPECT_EQ(DriverNamed(M(), kModel), nullptr);
}

TEST_F(SimSpoolerTest, MonitorsAreKnownByNameAndHeldByTheirQueues) {
  M().kernel.files[Text(kSystemDir) + u"\\korvmon.dll"] = sim::SimFile{"m", false};
  ASSERT_TRUE(os::AddMonitorW({u"Language Monitor", u"", u"korvmon.dll"}));
  EXPECT_FALSE(os::AddMonitorW({u"language monitor", u"", u"korvmon.dll"}));
  EXPECT_EQ(os::GetLastError(), err::PrintMonitorAlreadyInstalled);

  EXPECT_FALSE(os::DeleteMonitorW(u"Other Monitor"));
  EXPECT_EQ(os::GetLastError(), 3000u);

  M().spooler.drivers[0].info.pMonitorName = u"Language Monitor";
  AddQueue(M(), kModel, kPort, kModel);
  EXPECT_FALSE(os::DeleteMonitorW(u"Language Monitor"));
  EXPECT_EQ(os::GetLastError(), err::PrintMonitorInUse);
  M().spooler.queues.clear();
  EXPECT_TRUE(os::DeleteMonitorW(u"Language Monitor"));
  EXPECT_TRUE(M().spooler.monitors.empty());
}

// The spooler finds a queue's driver without regard to letter case but keeps
// the name as it was written.
TEST_F(SimSpoolerTest, AQueueKeepsItsDriverNameAsWritten) {
  os::PrinterInfo2 q;
  q.pPrinterName = u"Counter";
  q.pPortName = kPort;
  q.pDriverName = u"KORVANE kp-80";
  q.pPrintProcessor = u"winprint";
  ASSERT_TRUE(os::AddPrinterW(q));
  EXPECT_EQ(U8(QueueNamed(M(), u"Counter")->info.pDriverName), "KORVANE kp-80");
}

TEST_F(SimSpoolerTest, QueuesWithJobsGoOnlyOnceThePurgeEmptiedThem) {
  ASSERT_TRUE(os::AddPrinterW([] {
    os::PrinterInfo2 q;
    q.pPrinterName = kModel;
    q.pPortName = u"usb001";
    q.pDriverName = kModel;
    q.pPrintProcessor = u"WinPrint";
    return q;
  }()));
  EXPECT_EQ(U8(QueueNamed(M(), kModel)->info.pPortName), "USB001");  // the port's own spelling
  ASSERT_EQ(M().devices.nodes.size(), 1u);
  EXPECT_EQ(U8(M().devices.nodes[0].friendlyName), U8(kModel));
  M().spooler.queues[0].info.cJobs = 2;

  os::Handle queue = Open(u"KORVANE KP-80");
  ASSERT_TRUE(queue);
  EXPECT_TRUE(os::DeletePrinter(queue));
  ASSERT_NE(QueueNamed(M(), kModel), nullptr);  // pending deletion
  EXPECT_NE(QueueNamed(M(), kModel)->info.Status & 0x4, 0u);
  EXPECT_TRUE(os::SetPrinterW(queue, nullptr, os::PRINTER_CONTROL_PURGE));
  EXPECT_EQ(QueueNamed(M(), kModel), nullptr);
  EXPECT_TRUE(M().devices.nodes[0].removed);
  os::PrinterInfo2 info;
  EXPECT_FALSE(os::GetPrinterW(queue, &info));
  EXPECT_EQ(os::GetLastError(), err::InvalidHandle);

  os::Handle none;
  EXPECT_FALSE(os::OpenPrinterW(kModel, os::PRINTER_ALL_ACCESS, &none));
  EXPECT_EQ(os::GetLastError(), err::InvalidPrinterName);

  AddQueue(M(), u"Locked", kPort, kModel);
  M().spooler.queues.back().undeletable = true;
  M().spooler.queues.back().deleteError = 1234;
  os::Handle locked = Open(u"Locked");
  EXPECT_FALSE(os::DeletePrinter(locked));
  EXPECT_EQ(os::GetLastError(), 1234u);
  std::vector<os::PrinterInfo2> printers;
  ASSERT_TRUE(os::EnumPrintersW(os::PRINTER_ENUM_LOCAL, &printers));
  ASSERT_EQ(printers.size(), 1u);
  EXPECT_EQ(U8(printers[0].pPrinterName), "Locked");
}

TEST_F(SimSpoolerTest, QueuesNeedANewNameAKnownDriverAndAKnownPort) {
  os::PrinterInfo2 q;
  q.pPrinterName = kModel;
  q.pPortName = kPort;
  q.pDriverName = u"Unknown";
  q.pPrintProcessor = u"winprint";
  EXPECT_FALSE(os::AddPrinterW(q));
  EXPECT_EQ(os::GetLastError(), err::UnknownPrinterDriver);
  q.pDriverName = kModel;
  q.pPortName = u"USB042";
  EXPECT_FALSE(os::AddPrinterW(q));
  EXPECT_EQ(os::GetLastError(), err::UnknownPort);
  q.pPortName = kPort;
  EXPECT_TRUE(os::AddPrinterW(q));
  q.pPrinterName = u"korvane kp-80";
  EXPECT_FALSE(os::AddPrinterW(q));
  EXPECT_EQ(os::GetLastError(), err::PrinterAlreadyExists);
}

TEST_F(SimSpoolerTest, PackagesAreRecordedAndDeletedWithTheScriptedResults) {
  Dword size = 10;
  char16_t small[10] = {};
  EXPECT_EQ(os::UploadPrinterDriverPackageW(kInf, os::UPDP_UPLOAD_ALWAYS, small, &size),
            hr::FromWin32(err::InsufficientBuffer));
  EXPECT_EQ(size, M().spooler.uploadDestination.size() + 1);
  EXPECT_TRUE(M().spooler.store.empty());

  FixedText<260> stored;
  size = 260;
  ASSERT_EQ(os::UploadPrinterDriverPackageW(kInf, os::UPDP_UPLOAD_ALWAYS, stored.data(), &size), hr::Ok);
  const Text key =
      u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\PackageInstallation\\Windows x64\\DriverPackages\\"
      u"korvv6.inf_amd64_5d1f3c2b7e9a4f10";
  ASSERT_NE(M().registry.Find(key), nullptr);
  EXPECT_EQ(M().registry.Find(key)->values.at(u"DriverStorePath").type, 7u);

  M().spooler.packageDeleteResults = {hr::InfInUseByDevices};
  EXPECT_EQ(os::DeletePrinterDriverPackageW(stored.c_str()), hr::InfInUseByDevices);
  EXPECT_EQ(M().spooler.store.size(), 1u);
  EXPECT_EQ(os::DeletePrinterDriverPackageW(stored.c_str()), hr::Ok);
  EXPECT_TRUE(M().spooler.store.empty());
  EXPECT_EQ(M().registry.Find(key), nullptr);
}

TEST_F(SimSpoolerTest, PlugAndPlayNeedsAPluggedDeviceAndWaitsForTheSpooler) {
  M().spooler.drivers.clear();
  PlugPrinter(M(), 1000);
  M().spooler.pnp[0].plugged = false;
  FixedText<260> stored;
  Dword size = 260;
  os::UploadPrinterDriverPackageW(kInf, os::UPDP_UPLOAD_ALWAYS, stored.data(), &size);
  EXPECT_FALSE(os::UpdateDriverForPlugAndPlayDevicesW(kHardwareId, kInf, os::INSTALLFLAG_FORCE));
  EXPECT_EQ(os::GetLastError(), 0xE000020Bu);

  // Plugged, but the spooler is down when the class installer gets to it:
  // the queue comes once the spooler is back.
  M().spooler.pnp[0].plugged = true;
  EXPECT_TRUE(os::UpdateDriverForPlugAndPlayDevicesW(u"USBPRINT\\KORVANEKP-80C1D2", kInf, os::INSTALLFLAG_FORCE));
  M().clock.After(500, [this] { Stop(); });
  M().clock.After(4200, [this] { M().services.services.at(u"Spooler").state = os::SERVICE_RUNNING; });
  M().clock.Sleep(4999);
  EXPECT_TRUE(M().spooler.queues.empty());
  M().clock.Sleep(1);
  ASSERT_EQ(M().spooler.queues.size(), 1u);
  EXPECT_EQ(U8(M().spooler.queues[0].info.pPortName), "USB001");
  ASSERT_NE(DriverNamed(M(), kModel), nullptr);
}

TEST(SimFixturesTest, InstallerFolderHoldsEveryBuild) {
  sim::Machine& m = sim::Machine::Reset();
  sim::SetUpInstallerFolder(m, u"D:\\Drivers\\Korvane");
  for (const char16_t* arch : {u"i386", u"arm", u"amd64", u"arm64"}) {
    for (const char16_t* f : {u"korvdrv6.dll", u"korvdrv6ui.dll", u"korvmon.dll", u"vcomp140.dll"}) {
      auto it = m.kernel.files.find(Text(u"D:\\Drivers\\Korvane\\") + arch + u"\\" + f);
      ASSERT_NE(it, m.kernel.files.end()) << U8(arch) << " " << U8(f);
      EXPECT_EQ(it->second.content, sim::InstallerFileContent(arch, f));
    }
  }
  EXPECT_EQ(m.kernel.files.count(u"D:\\Drivers\\Korvane\\dat\\korvdrv6.dat"), 1u);
  EXPECT_EQ(m.kernel.files.count(u"D:\\Drivers\\Korvane\\korvv6.inf"), 1u);
  EXPECT_EQ(m.kernel.files.count(u"D:\\Drivers\\Korvane\\unins000.exe"), 1u);
  EXPECT_EQ(m.kernel.files.size(), 19u);
  EXPECT_EQ(m.kernel.folders.count(u"C:\\Windows\\system32\\spool\\DRIVERS\\x64"), 1u);
  EXPECT_EQ(m.kernel.folders.count(u"C:\\Windows\\system32"), 1u);
}

}  // namespace
}  // namespace korv::test

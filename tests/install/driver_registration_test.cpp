#include "install/driver_registration.h"

#include "install/file_time.h"
#include "install_machine.h"

namespace korv::test {
namespace {

class DriverRegistrationTest : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    PrepareInstallMachine(M());
  }
  // The family's files where the staging puts them.
  void StageFiles(bool monitor) {
    for (const char16_t* f : {u"korvdrv6.dll", u"korvdrv6ui.dll", u"korvdrv6.dat", u"korvmon.dll"}) {
      if (!monitor && Text(f) == u"korvmon.dll") continue;
      M().kernel.files[Text(kDriverDir) + u"\\" + f] = sim::SimFile{"staged", false};
    }
    if (monitor) M().kernel.files[Text(kSystemDir) + u"\\korvmon.dll"] = sim::SimFile{"monitor", false};
  }
};

TEST(DriverBuildTest, VersionAndDateComeFromTheBuildString) {
  EXPECT_EQ(DriverVersion(), 0x07EA000400070006ull);
  // 7 April 2026, 00:00:00 UTC; the fourth number ("06") takes no part.
  EXPECT_EQ(DriverDate(), 0x01DCC6217A290000ull);
}

TEST(FileTimeTest, CountsFrom1601WithGregorianLeapYears) {
  std::uint64_t ft = 123;
  SystemTime t;
  t.wYear = 1601, t.wMonth = 1, t.wDay = 1;
  ASSERT_TRUE(SystemTimeToFileTime(t, &ft));
  EXPECT_EQ(ft, 0u);

  t.wYear = 1970;  // the Unix epoch, a well-known FILETIME
  ASSERT_TRUE(SystemTimeToFileTime(t, &ft));
  EXPECT_EQ(ft, 116444736000000000ull);

  t.wYear = 2000, t.wMonth = 2, t.wDay = 29;  // divisible by 400: leap
  ASSERT_TRUE(SystemTimeToFileTime(t, &ft));
  const std::uint64_t feb29 = ft;
  t.wMonth = 3, t.wDay = 1;
  ASSERT_TRUE(SystemTimeToFileTime(t, &ft));
  EXPECT_EQ(ft - feb29, 864000000000ull);  // one day

  t.wYear = 2026, t.wMonth = 4, t.wDay = 7, t.wHour = 23, t.wMinute = 59, t.wSecond = 59,
  t.wMilliseconds = 999, t.wDayOfWeek = 6;  // the day of the week is not looked at
  ASSERT_TRUE(SystemTimeToFileTime(t, &ft));
  EXPECT_EQ(ft, 0x01DCC6217A290000ull + 864000000000ull - 10000);

  // Refused, output untouched.
  const std::uint64_t before = ft;
  for (auto bad : {SystemTime{1900, 2, 0, 29}, SystemTime{2023, 2, 0, 29}, SystemTime{1600, 12, 0, 31},
                   SystemTime{2026, 13, 0, 1}, SystemTime{2026, 4, 0, 31}, SystemTime{2026, 4, 0, 0},
                   SystemTime{2026, 4, 0, 7, 24}, SystemTime{2026, 4, 0, 7, 0, 60},
                   SystemTime{2026, 4, 0, 7, 0, 0, 0, 1000}, SystemTime{30828, 1, 0, 1}}) {
    EXPECT_FALSE(SystemTimeToFileTime(bad, &ft)) << bad.wYear << "-" << bad.wMonth << "-" << bad.wDay;
  }
  EXPECT_EQ(ft, before);
}

TEST_F(DriverRegistrationTest, ChecksReadNamesExactlyAndTheConfigFile) {
  const InstallRequest request = MakeRequest();
  EXPECT_EQ(IsDriverRegistered(request), 0);
  EXPECT_EQ(IsForeignDriverRegistered(request), 0);
  EXPECT_EQ(IsSeagullDriverInstalled(), 0);

  // Another letter case is another name.
  M().spooler.drivers.push_back({FamilyDriver(u"korvane kp-80")});
  EXPECT_EQ(IsDriverRegistered(request), 0);
  EXPECT_EQ(IsForeignDriverRegistered(request), 0);

  M().spooler.drivers.push_back({FamilyDriver(kModel)});
  EXPECT_EQ(IsDriverRegistered(request), 1);
  EXPECT_EQ(IsForeignDriverRegistered(request), 0);

  M().spooler.drivers.back().info.pConfigFile = Text(kDriverDir) + u"\\3\\OTHERUI.DLL";
  EXPECT_EQ(IsDriverRegistered(request), 1);
  EXPECT_EQ(IsForeignDriverRegistered(request), 1);
  // "korvdrv" is looked for with its letter case.
  M().spooler.drivers.back().info.pConfigFile = Text(kDriverDir) + u"\\3\\KORVDRV6UI.DLL";
  EXPECT_EQ(IsForeignDriverRegistered(request), 1);

  // Nothing listed when the spooler cannot be asked.
  M().faults.Set("EnumPrinterDriversW", {err::NotEnoughMemory});
  EXPECT_EQ(IsDriverRegistered(request), 0);
  EXPECT_EQ(IsForeignDriverRegistered(request), 0);
}

TEST_F(DriverRegistrationTest, SeagullDriverNeedsTheMakersProviderSpelling) {
  auto& drivers = M().spooler.drivers;
  drivers.push_back({OtherDriver(u"KP-80 (Seagull)", u"C:\\x\\SeagullUI.dll", u"korvane")});
  drivers.push_back({OtherDriver(u"Other", u"C:\\x\\other.dll", u"Korvane")});
  drivers.push_back({OtherDriver(u"KP-58 (seagull)", u"C:\\x\\seagullui.dll", u"Korvane")});
  EXPECT_EQ(IsSeagullDriverInstalled(), 0);
  // A record that meets only one condition does not end the walk.
  drivers.push_back({OtherDriver(u"KP-58 (Seagull)", u"C:\\x\\SeagullUI.dll", u"Korvane")});
  EXPECT_EQ(IsSeagullDriverInstalled(), 1);
}

TEST_F(DriverRegistrationTest, RegistersTheRecordFieldByField) {
  StageFiles(false);
  ASSERT_EQ(RegisterPrinterDriver(MakeRequest()), 1);
  EXPECT_EQ(Now(), 0u);  // listed at the first check: no pause

  const os::DriverInfo8* d = DriverNamed(M(), kModel);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->cVersion, 3u);
  // The spooler took the bare names from its driver directory.
  EXPECT_EQ(U8(d->pDriverPath), U8(Text(kDriverDir) + u"\\3\\korvdrv6.dll"));
  EXPECT_EQ(U8(d->pDataFile), U8(Text(kDriverDir) + u"\\3\\korvdrv6.dat"));
  EXPECT_EQ(U8(d->pConfigFile), U8(Text(kDriverDir) + u"\\3\\korvdrv6ui.dll"));
  EXPECT_TRUE(d->pHelpFile.empty());
  EXPECT_TRUE(d->pDependentFiles.empty());
  EXPECT_TRUE(d->pMonitorName.empty());
  EXPECT_EQ(U8(d->pDefaultDataType), "RAW");
  EXPECT_TRUE(d->pszzPreviousNames.empty());
  EXPECT_EQ(d->ftDriverDate, 0x01DCC6217A290000ull);
  EXPECT_EQ(d->dwlDriverVersion, 0x07EA000400070006ull);
  EXPECT_TRUE(d->pszMfgName.empty() && d->pszOEMUrl.empty() && d->pszHardwareID.empty());
  EXPECT_EQ(U8(d->pszProvider), "korvane");
  EXPECT_EQ(U8(d->pszPrintProcessor), "winprint");
  EXPECT_TRUE(d->pszVendorSetup.empty() && d->pszInfPath.empty() && d->pszzColorProfiles.empty());
  EXPECT_EQ(d->dwPrinterDriverAttributes, 0u);
  EXPECT_EQ(d->ftMinInboxDriverVerDate, 0u);
  EXPECT_EQ(d->dwlMinInboxDriverVerVersion, 0u);
}

TEST_F(DriverRegistrationTest, MonitorModelsNameTheMonitorAndItsFile) {
  StageFiles(true);
  const InstallRequest request = MakeRequest(kOptionLanguageMonitor);

  // Without the monitor registered first, the spooler refuses the driver.
  EXPECT_EQ(RegisterPrinterDriver(request), 0);
  EXPECT_TRUE(Traced(M(), "AddPrinterDriver failed, errcode:3000."));
  EXPECT_EQ(M().CallCount("EnumPrinterDriversW"), 0);
  EXPECT_EQ(Now(), 0u);

  ASSERT_EQ(InstallPrinterLanguageMonitor(u"Language Monitor", u"korvmon.dll"), 1);
  ASSERT_EQ(M().spooler.monitors.size(), 1u);
  EXPECT_EQ(U8(M().spooler.monitors[0].pName), "Language Monitor");
  EXPECT_EQ(U8(M().spooler.monitors[0].pDLLName), "korvmon.dll");
  EXPECT_TRUE(M().spooler.monitors[0].pEnvironment.empty());

  ASSERT_EQ(RegisterPrinterDriver(request), 1);
  const os::DriverInfo8* d = DriverNamed(M(), kModel);
  ASSERT_NE(d, nullptr);
  ASSERT_EQ(d->pDependentFiles.size(), 1u);
  EXPECT_EQ(U8(d->pDependentFiles[0]), U8(Text(kDriverDir) + u"\\3\\korvmon.dll"));
  EXPECT_EQ(U8(d->pMonitorName), "Language Monitor");
}

TEST_F(DriverRegistrationTest, MonitorAlreadyThereIsSuccessOtherFailuresAreTraced) {
  M().kernel.files[Text(kSystemDir) + u"\\korvmon.dll"] = sim::SimFile{"monitor", false};
  ASSERT_EQ(InstallPrinterLanguageMonitor(u"Language Monitor", u"korvmon.dll"), 1);
  const auto traced = M().kernel.debugOutput.size();
  EXPECT_EQ(InstallPrinterLanguageMonitor(u"Language Monitor", u"korvmon.dll"), 1);
  EXPECT_EQ(M().kernel.debugOutput.size(), traced);  // 3006 is not an error
  EXPECT_EQ(M().spooler.monitors.size(), 1u);

  // A monitor whose file the spooler cannot load.
  EXPECT_EQ(InstallPrinterLanguageMonitor(u"Other Monitor", u"othermon.dll"), 0);
  EXPECT_TRUE(Traced(M(), "InstallPrinterLanguageMonitor failed, errcode:126."));

  M().services.services.at(u"Spooler").state = os::SERVICE_STOPPED;
  EXPECT_EQ(InstallPrinterLanguageMonitor(u"Third Monitor", u"korvmon.dll"), 0);
  EXPECT_TRUE(Traced(M(), "InstallPrinterLanguageMonitor failed, errcode:1722."));
}

TEST_F(DriverRegistrationTest, DriverAcceptedButNeverListedFailsAfterFiveSeconds) {
  StageFiles(false);
  M().spooler.acceptedNeverListed.push_back(kModel);
  EXPECT_EQ(RegisterPrinterDriver(MakeRequest()), 0);
  EXPECT_EQ(Now(), 5000u);  // a pause after each of the five checks
  EXPECT_EQ(M().CallCount("EnumPrinterDriversW"), 5);
  EXPECT_EQ(M().CallCount("AddPrinterDriverW"), 1);
  EXPECT_FALSE(Traced(M(), "AddPrinterDriver failed, errcode:0."));
}

TEST_F(DriverRegistrationTest, DriverListedLateIsFoundAtTheCheckThatSeesIt) {
  StageFiles(false);
  M().spooler.acceptedNeverListed.push_back(kModel);
  // The spooler lists it 2.5 s after the call: the fourth check sees it.
  M().clock.After(2500, [this] { M().spooler.drivers.push_back({FamilyDriver(kModel)}); });
  EXPECT_EQ(RegisterPrinterDriver(MakeRequest()), 1);
  EXPECT_EQ(Now(), 3000u);
  EXPECT_EQ(M().CallCount("EnumPrinterDriversW"), 4);
}

TEST_F(DriverRegistrationTest, MissingFilesAreRefusedWithTheSpoolersError) {
  // Nothing staged: the spooler cannot find the files.
  EXPECT_EQ(RegisterPrinterDriver(MakeRequest()), 0);
  EXPECT_TRUE(Traced(M(), "AddPrinterDriver failed, errcode:2."));
  EXPECT_EQ(DriverNamed(M(), kModel), nullptr);
}

}  // namespace
}  // namespace korv::test

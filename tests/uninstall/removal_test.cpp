// Removal runs through the uninstall window: what is deleted, in which order,
// with which pauses and retries, what each line says afterwards, and how the
// run ends.
#include <gtest/gtest.h>

#include "common/resource_ids.h"
#include "common/text_util.h"
#include "platform/kernel.h"
#include "uninstall/removal.h"
#include "uninstall/uninstall_dialog.h"
#include "uninstall_fixture.h"

namespace korv::test {
namespace {

using Strings = std::vector<std::string>;

constexpr char16_t kMonitor[] = u"Korvane Language Monitor";
constexpr char16_t kInstallDir[] = u"C:\\Korvane\\";
constexpr char16_t kSystemMonitorFile[] = u"C:\\Windows\\system32\\korvmon.dll";
const std::string kInUseText = "Failed. Error:" + std::to_string(static_cast<int>(0x800F023Du));

std::string Render(const std::vector<sim::SimTreeItem>& items, int level = 0) {
  std::string out;
  for (const auto& item : items) {
    out += std::string(static_cast<std::size_t>(level) * 2, ' ') + U8(item.text) + "\n";
    out += Render(item.children, level + 1);
  }
  return out;
}

class RemovalTest : public UninstallTest {
 protected:
  void SetUp() override {
    UninstallTest::SetUp();
    InstallDir.assign(kInstallDir);
    sim::SetUpInstallerFolder(M(), kInstallDir);
    M().kernel.files[kSystemMonitorFile] = sim::SimFile{"korvmon", false};
  }

  // One package of the family with one driver (using the language monitor)
  // and the given queues of that driver.
  void InstallFamily(const std::vector<Text>& queues) {
    AddPackage(u"korvv6.inf_amd64_bbbb", StoredInf(u"korvv6.inf_amd64_bbbb"), u"04/07/2026,2026.4.7.6");
    AddMonitor(kMonitor);
    AddDriver(u"Korvane KP-80", StoredInf(u"korvv6.inf_amd64_bbbb"), kMonitor);
    int port = 1;
    for (const Text& q : queues) AddQueue(q, u"Korvane KP-80", u"USB00" + Text(1, static_cast<char16_t>(u'0' + port++)));
  }

  void Press(std::uint64_t at, int control) { M().ui.presses.push_back(sim::ScriptedPress{at, IDD_UNINSTALL, control}); }

  std::intptr_t RunWindow() { return os::DialogBoxParamW(AppInstance, IDD_UNINSTALL, &UninstallDialogProc, 0); }

  const sim::SimDialog& Window() { return M().ui.dialogs.front(); }
  std::string Tree() { return Render(Window().controls.at(IDC_TREE).tree); }

  Strings ProgressEvents() {
    Strings out;
    for (const auto& e : M().ui.events) {
      std::string what = U8(e.what);
      if (e.controlId != IDC_PROGRESS || what.find("progress") == std::string::npos) continue;
      // Posted positions may arrive after the bar is hidden again; the order
      // of the positions is what matters here.
      auto hidden = what.find(" (hidden)");
      if (hidden != std::string::npos) what.erase(hidden);
      out.push_back(what);
    }
    return out;
  }
  Strings MessageBoxes() {
    Strings out;
    for (const auto& b : M().ui.messageBoxes) out.push_back(U8(b.caption) + "|" + U8(b.text));
    return out;
  }
  bool FileExists(const Text& path) { return M().kernel.files.count(path) != 0; }
};

TEST_F(RemovalTest, WithNothingInstalledARunDeletesTheMonitorFileRecyclesTheFolderAndCloses) {
  Press(1000, 1);
  EXPECT_EQ(RunWindow(), 2);

  EXPECT_EQ(Tree(), "Nothing need to be removed there\n");
  EXPECT_EQ(M().CallNames({"ControlService", "DeleteFileW", "StartServiceW", "SHChangeNotify", "SHFileOperationW",
                           "MessageBoxW", "PostMessageW"})
                .back(),
            "PostMessageW");  // the closing command comes last
  EXPECT_EQ(M().CallNames({"ControlService", "DeleteFileW", "StartServiceW", "SHChangeNotify", "SHFileOperationW",
                           "MessageBoxW"}),
            (Strings{"ControlService", "DeleteFileW", "StartServiceW", "SHChangeNotify", "SHFileOperationW",
                     "MessageBoxW"}));
  EXPECT_EQ(CallDetails("DeleteFileW"), (Strings{U8(kSystemMonitorFile)}));
  EXPECT_FALSE(FileExists(kSystemMonitorFile));
  EXPECT_EQ(M().services.services.at(u"Spooler").state, 4u);  // running again

  ASSERT_EQ(M().shell.recycled.size(), 1u);
  // Recycled by its name without the trailing backslash the shell refuses.
  EXPECT_EQ(M().shell.recycled[0], u"C:\\Korvane");
  EXPECT_EQ(M().shell.notifications, (std::vector<Text>{kInstallDir}));
  EXPECT_FALSE(FileExists(u"C:\\Korvane\\korvv6.inf"));
  EXPECT_FALSE(FileExists(u"C:\\Korvane\\amd64\\korvmon.dll"));

  EXPECT_EQ(MessageBoxes(), (Strings{"Message|The driver is uninstalled."}));
  EXPECT_GE(Window().closedAt, M().ui.messageBoxes[0].at);
  EXPECT_EQ(ProgressEvents(), (Strings{"105/1003 progress 80", "105/1003 progress 20", "105/1003 progress 30",
                                       "105/1003 progress 100"}));
}

// Under WOW64 the monitor goes from the native system folder, where the
// installation put it; a file of that name in SysWOW64 is none of ours.
TEST_F(RemovalTest, TheMonitorIsDeletedFromTheNativeSystemFolderUnderWow64) {
  const Text kWow64File = u"C:\\Windows\\SysWOW64\\korvmon.dll";
  M().kernel.folders.insert(u"C:\\Windows\\SysWOW64");
  M().kernel.files[kWow64File] = sim::SimFile{"someone else's", false};
  Press(1000, 1);
  EXPECT_EQ(RunWindow(), 2);
  EXPECT_FALSE(FileExists(kSystemMonitorFile));
  EXPECT_TRUE(FileExists(kWow64File));
}

// An inventory the spooler would not give whole hides what is installed: the
// run removes what it lists but must not report the family gone, delete the
// monitor or recycle the folder.
TEST_F(RemovalTest, AnIncompleteInventoryNeverEndsInUninstalled) {
  InstallFamily({u"Korvane KP-80"});
  M().faults.Set("EnumPrintersW", sim::FaultRule{1722});
  Press(1000, 1);
  Press(600000, 2);  // after the driver's ten tries with the queue still on it
  EXPECT_EQ(RunWindow(), 2);

  EXPECT_EQ(MessageBoxes(), (Strings{"|Uninstall driver failed. Please try again, or reboot your OS then try "
                                     "again, or contact our support for assistance."}));
  EXPECT_TRUE(M().shell.recycled.empty());
  EXPECT_TRUE(FileExists(kSystemMonitorFile));
  EXPECT_TRUE(FileExists(u"C:\\Korvane\\korvv6.inf"));
}

TEST_F(RemovalTest, ARunRemovesQueuesThenDriverThenPackageWithItsPauses) {
  InstallFamily({u"Shop 80"});
  Press(1000, 1);
  EXPECT_EQ(RunWindow(), 2);

  EXPECT_EQ(M().CallNames({"OpenPrinterW", "SetPrinterW", "DeletePrinter", "SetupDiGetClassDevsExW", "DeleteMonitorW",
                           "DeletePrinterDriverExW", "DeletePrinterDriverPackageW", "DeleteFileW",
                           "SHFileOperationW", "MessageBoxW"}),
            (Strings{"OpenPrinterW", "SetPrinterW", "DeletePrinter", "SetupDiGetClassDevsExW", "DeleteMonitorW",
                     "DeletePrinterDriverExW", "DeletePrinterDriverPackageW", "DeleteFileW", "SHFileOperationW",
                     "MessageBoxW"}));
  // 300 ms after the queue, 300 ms after the driver.
  EXPECT_EQ(CallTimes("DeleteMonitorW")[0], CallTimes("DeletePrinter")[0] + 300);
  EXPECT_EQ(CallTimes("DeletePrinterDriverPackageW")[0], CallTimes("DeletePrinterDriverExW")[0] + 300);
  EXPECT_EQ(CallDetails("DeletePrinterDriverPackageW"), (Strings{U8(StoredInf(u"korvv6.inf_amd64_bbbb"))}));

  EXPECT_TRUE(M().spooler.queues.empty());
  EXPECT_TRUE(M().spooler.drivers.empty());
  EXPECT_TRUE(M().spooler.monitors.empty());
  EXPECT_EQ(M().registry.Find(Text(kPackagesKeyX64) + u"\\korvv6.inf_amd64_bbbb"), nullptr);
  EXPECT_TRUE(M().devices.nodes[0].removed);

  // The tree was rebuilt with the results before the window closed.
  EXPECT_EQ(Tree(),
            "The driver folder: C:\\Korvane\\\n"
            "Driver Package:korvv6.inf, version:04/07/2026,2026.4.7.6, "
            "C:\\Windows\\System32\\DriverStore\\FileRepository\\korvv6.inf_amd64_bbbb\\korvv6.inf, Removed.\n"
            "  Printer Driver:Korvane KP-80, Korvane, version:2026.4.7.6, Removed.\n"
            "    Printer:Shop 80 on the port: USB001. Removed.\n");
  EXPECT_EQ(ProgressEvents(), (Strings{"105/1003 progress 80", "105/1003 progress 20", "105/1003 progress 30",
                                       "105/1003 progress 60", "105/1003 progress 80", "105/1003 progress 100"}));
  EXPECT_EQ(MessageBoxes(), (Strings{"Message|The driver is uninstalled."}));
  EXPECT_EQ(M().shell.recycled.size(), 1u);
}

TEST_F(RemovalTest, AQueueDeletedMeanwhileCountsAsRemoved) {
  InstallFamily({u"Shop 80"});
  M().clock.At(500, [] { sim::Machine::Get().spooler.queues.clear(); });
  Press(1000, 1);
  EXPECT_EQ(RunWindow(), 2);

  EXPECT_EQ(M().CallCount("OpenPrinterW"), 1);
  EXPECT_EQ(M().CallCount("DeletePrinter"), 0);
  EXPECT_NE(Tree().find("Printer:Shop 80 on the port: USB001. Removed.\n"), std::string::npos);
  EXPECT_TRUE(M().spooler.drivers.empty());
  EXPECT_EQ(MessageBoxes(), (Strings{"Message|The driver is uninstalled."}));
}

TEST_F(RemovalTest, TwoPackagesListingTheSameDriverAndQueueAreBothRemoved) {
  AddPackage(u"korvv6.inf_amd64_aaaa", StoredInf(u"korvv6.inf_amd64_aaaa"));
  InstallFamily({u"Shop 80"});
  Press(1000, 1);
  EXPECT_EQ(RunWindow(), 2);

  // The second time, the queue and the driver are already gone.
  EXPECT_EQ(M().CallCount("OpenPrinterW"), 2);
  EXPECT_EQ(M().CallCount("DeletePrinter"), 1);
  EXPECT_EQ(M().CallCount("DeletePrinterDriverExW"), 2);
  EXPECT_EQ(CallDetails("DeletePrinterDriverPackageW"),
            (Strings{U8(StoredInf(u"korvv6.inf_amd64_bbbb")), U8(StoredInf(u"korvv6.inf_amd64_aaaa"))}));
  const std::string tree = Tree();
  std::size_t removed = 0;
  for (std::size_t at = tree.find("Removed."); at != std::string::npos; at = tree.find("Removed.", at + 1)) ++removed;
  EXPECT_EQ(removed, 6u);
  EXPECT_EQ(MessageBoxes(), (Strings{"Message|The driver is uninstalled."}));
  EXPECT_EQ(M().registry.Find(kPackagesKeyX64)->subkeys.size(), 0u);
}

TEST_F(RemovalTest, APackageInUseIsTriedFiveTimesASecondApartThenShowsTheResult) {
  InstallFamily({});
  for (int i = 0; i < 6; ++i) M().spooler.packageDeleteResults.push_back(hr::InfInUseByDevices);
  Press(1000, 1);
  Press(60000, 2);
  EXPECT_EQ(RunWindow(), 2);

  const auto at = CallTimes("DeletePrinterDriverPackageW");
  ASSERT_EQ(at.size(), 5u);
  for (std::size_t i = 1; i < at.size(); ++i) EXPECT_EQ(at[i], at[i - 1] + 1000);
  EXPECT_EQ(M().spooler.packageDeleteResults.size(), 1u);
  EXPECT_NE(Tree().find("korvv6.inf, " + kInUseText + "\n"), std::string::npos) << Tree();
  // A failed run reports it with no caption of its own and leaves the rest.
  EXPECT_EQ(MessageBoxes(), (Strings{"|Uninstall driver failed. Please try again, or reboot your OS then try again, "
                                     "or contact our support for assistance."}));
  EXPECT_EQ(M().CallCount("ControlService"), 0);
  EXPECT_EQ(M().CallCount("SHFileOperationW"), 0);
  EXPECT_TRUE(FileExists(kSystemMonitorFile));
  EXPECT_EQ(Window().closedAt, 60000u);  // closed by the person, not by the run
}

TEST_F(RemovalTest, AQueueThatCannotBeDeletedKeepsItsDriverAndIsRetriedOnTheNextPress) {
  InstallFamily({u"Shop 80", u"Kitchen 80"});
  M().spooler.queues[0].undeletable = true;  // "Shop 80": access denied
  std::string treeAfterFirstRun;
  M().clock.At(20000, [&] {
    treeAfterFirstRun = Tree();
    sim::Machine::Get().spooler.queues[0].undeletable = false;
  });
  Press(1000, 1);
  Press(30000, 1);
  EXPECT_EQ(RunWindow(), 2);

  EXPECT_EQ(treeAfterFirstRun,
            "The driver folder: C:\\Korvane\\\n"
            "Driver Package:korvv6.inf, version:04/07/2026,2026.4.7.6, "
            "C:\\Windows\\System32\\DriverStore\\FileRepository\\korvv6.inf_amd64_bbbb\\korvv6.inf, \n"
            "  Printer Driver:Korvane KP-80, Korvane, version:2026.4.7.6, \n"
            "    Printer:Kitchen 80 on the port: USB002. Removed.\n"
            "    Printer:Shop 80 on the port: USB001. Failed. Error:5\n");
  // The first run left the driver and the package alone.
  for (const auto& c : M().calls) {
    if (c.at >= 30000) break;
    EXPECT_NE(c.operation, "DeletePrinterDriverExW");
    EXPECT_NE(c.operation, "DeleteMonitorW");
    EXPECT_NE(c.operation, "DeletePrinterDriverPackageW");
  }
  // The second run tried only the queue still there, then went on.
  Strings opened;
  for (const auto& c : M().calls) {
    if (c.at >= 30000 && c.operation == "OpenPrinterW") opened.push_back(U8(c.detail));
  }
  EXPECT_EQ(opened, (Strings{"Shop 80"}));
  EXPECT_TRUE(M().spooler.drivers.empty());
  EXPECT_TRUE(M().spooler.store.empty());
  EXPECT_EQ(Tree(),
            "The driver folder: C:\\Korvane\\\n"
            "Driver Package:korvv6.inf, version:04/07/2026,2026.4.7.6, "
            "C:\\Windows\\System32\\DriverStore\\FileRepository\\korvv6.inf_amd64_bbbb\\korvv6.inf, Removed.\n"
            "  Printer Driver:Korvane KP-80, Korvane, version:2026.4.7.6, Removed.\n"
            "    Printer:Kitchen 80 on the port: USB002. Removed.\n"
            "    Printer:Shop 80 on the port: USB001. Removed.\n");
  ASSERT_EQ(M().ui.messageBoxes.size(), 2u);
  EXPECT_EQ(U8(M().ui.messageBoxes[0].text).rfind("Uninstall driver failed.", 0), 0u);
  EXPECT_EQ(U8(M().ui.messageBoxes[1].text), "The driver is uninstalled.");
  EXPECT_GT(Window().closedAt, 30000u);
}

TEST_F(RemovalTest, ADriverThatCannotBeDeletedIsTriedTenTimesASecondApart) {
  InstallFamily({});
  M().faults.Set("DeletePrinterDriverExW", {err::AccessDenied, 0, 0, 0});
  Press(1000, 1);
  Press(60000, 2);
  EXPECT_EQ(RunWindow(), 2);

  const auto at = CallTimes("DeletePrinterDriverExW");
  ASSERT_EQ(at.size(), 10u);
  for (std::size_t i = 1; i < at.size(); ++i) EXPECT_EQ(at[i], at[i - 1] + 1000);
  EXPECT_EQ(M().CallCount("DeleteMonitorW"), 10);
  EXPECT_EQ(M().CallCount("DeletePrinterDriverPackageW"), 0);
  EXPECT_NE(Tree().find("version:2026.4.7.6, Failed. Error:5\n"), std::string::npos) << Tree();
  ASSERT_EQ(M().ui.messageBoxes.size(), 1u);
  EXPECT_TRUE(M().ui.messageBoxes[0].caption.empty());
}

TEST_F(RemovalTest, ADriverInUseGetsOneSpoolerRestartAndOneMoreTry) {
  AddMonitor(kMonitor);
  os::DriverInfo8 details = AddDriver(u"Korvane KP-80", Text(), kMonitor);
  M().spooler.drivers[0].inUseUntilCycle = true;

  EXPECT_EQ(DeleteDriver(details), 1);
  EXPECT_EQ(M().CallNames({"DeleteMonitorW", "DeletePrinterDriverExW", "ControlService", "StartServiceW"}),
            (Strings{"DeleteMonitorW", "DeletePrinterDriverExW", "ControlService", "StartServiceW",
                     "DeletePrinterDriverExW"}));
  const auto at = CallTimes("DeletePrinterDriverExW");
  EXPECT_GE(at[1] - at[0], 6000u);  // two 3 s pauses around the restart
  EXPECT_TRUE(M().spooler.drivers.empty());

  // Still in use after the restart: not deleted, with that error.
  details = AddDriver(u"Korvane KP-58");
  AddQueue(u"Bar 58", u"Korvane KP-58");
  EXPECT_EQ(DeleteDriver(details), 0);
  EXPECT_EQ(os::GetLastError(), err::PrinterDriverInUse);
  EXPECT_EQ(M().CallCount("DeletePrinterDriverExW"), 4);

  // A driver already gone counts as deleted.
  os::DriverInfo8 gone;
  gone.pName = u"Korvane KP-90";
  EXPECT_EQ(DeleteDriver(gone), 1);
  EXPECT_EQ(M().CallCount("DeletePrinterDriverExW"), 5);
}

TEST_F(RemovalTest, DeletePrintQueueKeepsTheErrorOfTheFailedCall) {
  AddDriver(u"Korvane KP-80");
  AddQueue(u"Shop 80", u"Korvane KP-80");
  M().spooler.queues[0].undeletable = true;
  M().spooler.queues[0].deleteError = err::AccessDenied;
  // Devices of other classes with the same name go too; other names and
  // other letter case stay.
  M().devices.nodes.push_back(sim::DeviceNode{u"Printer", u"Shop 80", u"USBPRINT\\KorvaneKP-80", false});
  M().devices.nodes.push_back(sim::DeviceNode{u"PrintQueue", u"shop 80", u"PRINTENUM\\LocalPrintQueue", false});
  M().devices.nodes.push_back(sim::DeviceNode{u"USB", Text(), u"USB\\ROOT_HUB30", false});

  Dword error = 1234;
  EXPECT_EQ(DeletePrintQueue(u"Shop 80", &error), 0);
  EXPECT_EQ(error, err::AccessDenied);  // not the device enumeration's end
  EXPECT_EQ(M().CallNames({"OpenPrinterW", "SetPrinterW", "DeletePrinter", "SetupDiGetClassDevsExW"}),
            (Strings{"OpenPrinterW", "SetPrinterW", "DeletePrinter", "SetupDiGetClassDevsExW"}));
  // The queue's handle was closed before the device set was opened.
  ASSERT_FALSE(M().closedHandles.empty());
  EXPECT_EQ(M().closedHandles.front().kind, os::HandleKind::Printer);
  EXPECT_TRUE(M().devices.nodes[0].removed);
  EXPECT_TRUE(M().devices.nodes[1].removed);
  EXPECT_FALSE(M().devices.nodes[2].removed);
  EXPECT_FALSE(M().devices.nodes[3].removed);
  EXPECT_TRUE(M().openHandles.empty());

  // Another open failure is a failure with its own code.
  M().faults.Set("OpenPrinterW", {err::AccessDenied, 0, 0, 0});
  EXPECT_EQ(DeletePrintQueue(u"Shop 80", &error), 0);
  EXPECT_EQ(error, err::AccessDenied);
  M().faults.Clear("OpenPrinterW");
  // A queue that is not there any more is gone.
  EXPECT_EQ(DeletePrintQueue(u"Nowhere", &error), 1);
  EXPECT_EQ(error, 0u);

  EXPECT_EQ(RemovePrintQueueDevice(nullptr), 0);
  EXPECT_EQ(RemovePrintQueueDevice(u"Nowhere"), 0);  // no device of that name
}

TEST_F(RemovalTest, TheMonitorFileIsDeletedOnlyWhileTheSpoolerIsStopped) {
  // A spooler that does not stop: nothing is touched, nothing restarted.
  M().services.services.at(u"Spooler").neverStops = true;
  DeleteSystemFile(u"korvmon.dll");
  EXPECT_EQ(M().CallCount("DeleteFileW"), 0);
  EXPECT_EQ(M().CallCount("StartServiceW"), 0);
  EXPECT_TRUE(FileExists(kSystemMonitorFile));
}

TEST_F(RemovalTest, ALockedMonitorFileIsTriedFiveTimesAndTheSpoolerStartedAgain) {
  M().kernel.files[kSystemMonitorFile].locked = true;
  DeleteSystemFile(u"korvmon.dll");
  const auto at = CallTimes("DeleteFileW");
  ASSERT_EQ(at.size(), 5u);
  for (std::size_t i = 1; i < at.size(); ++i) EXPECT_EQ(at[i], at[i - 1] + 1000);
  EXPECT_TRUE(FileExists(kSystemMonitorFile));
  EXPECT_EQ(CallTimes("StartServiceW").size(), 1u);
  EXPECT_GE(CallTimes("StartServiceW")[0], at.back() + 1000);
  EXPECT_EQ(M().services.services.at(u"Spooler").state, 4u);

  // A file that is not there is not tried again.
  M().kernel.files.erase(kSystemMonitorFile);
  M().calls.clear();
  DeleteSystemFile(u"korvmon.dll");
  EXPECT_EQ(CallTimes("DeleteFileW").size(), 1u);
}

TEST_F(RemovalTest, ADriveRootGivenAsFolderIsNotRecycled) {
  InstallDir.assign(u"C:\\");
  M().kernel.files[u"C:\\korvv6.inf"] = sim::SimFile{"inf", false};
  M().kernel.files[u"C:\\Users\\Shop\\Documents\\accounts.xlsx"] = sim::SimFile{"books", false};
  Press(1000, 1);
  EXPECT_EQ(RunWindow(), 2);

  EXPECT_EQ(M().CallCount("SHFileOperationW"), 0);
  EXPECT_EQ(M().CallCount("SHChangeNotify"), 0);
  EXPECT_TRUE(M().shell.recycled.empty());
  EXPECT_TRUE(FileExists(u"C:\\Users\\Shop\\Documents\\accounts.xlsx"));
  EXPECT_TRUE(FileExists(u"C:\\Korvane\\korvv6.inf"));
  bool traced = false;
  for (const Text& line : M().kernel.debugOutput) traced = traced || U8(line).find("C:\\ is not the installer folder") != std::string::npos;
  EXPECT_TRUE(traced);
  // The rest of the ending is as usual.
  EXPECT_FALSE(FileExists(kSystemMonitorFile));
  EXPECT_EQ(MessageBoxes(), (Strings{"Message|The driver is uninstalled."}));
}

TEST_F(RemovalTest, OnlyTheInstallerFolderItselfMayBeRecycled) {
  // Every folder below holds "korvv6.inf" under exactly the name the check
  // asks for, so each refusal is for the reason its case names.
  auto holdsInf = [this](const char16_t* folder) {
    Text f(folder);
    const bool separated = !f.empty() && (f.back() == u'\\' || f.back() == u'/');
    M().kernel.files[f + (separated ? u"" : u"\\") + u"korvv6.inf"] = sim::SimFile{"inf", false};
  };
  const char16_t* const yes[] = {u"C:\\Korvane\\", u"C:\\Korvane", u"C:/Korvane/", u"\\\\server\\share\\Korvane\\",
                                 u"\\\\?\\C:\\Korvane", u"\\\\?\\UNC\\server\\share\\Korvane"};
  const char16_t* const no[] = {
      u"C:\\", u"C:", u"C:/", u"\\\\server\\share\\", u"\\\\server\\share", u"\\\\?\\C:\\",
      u"\\\\?\\UNC\\server\\share\\", u"C:\\Korvane\\amd64\\..", u"C:\\Korvane\\amd64\\. .", u"C:\\Korvane\\.",
      u"C:\\Kor*", u"C:\\Korvan?", u"Korvane", u"C:Korvane", u"\\Korvane"};
  for (const char16_t* folder : yes) holdsInf(folder);
  for (const char16_t* folder : no) holdsInf(folder);

  for (const char16_t* folder : yes) EXPECT_TRUE(IsInstallerFolder(folder)) << U8(folder);
  for (const char16_t* folder : no) EXPECT_FALSE(IsInstallerFolder(folder)) << U8(folder);
  // A folder without the INF is somebody else's.
  M().kernel.folders.insert(u"C:\\Users\\Shop\\Downloads");
  EXPECT_FALSE(IsInstallerFolder(u"C:\\Users\\Shop\\Downloads"));
  EXPECT_FALSE(IsInstallerFolder(u""));
  EXPECT_FALSE(IsInstallerFolder(nullptr));
}

TEST_F(RemovalTest, AFolderThatFillsInstallDirIsPassedWhole) {
  Text dir = u"C:\\";
  dir += Text(259 - 4, u'k');
  dir += u"\\";
  ASSERT_EQ(dir.size(), 259u);
  sim::SetUpInstallerFolder(M(), dir);
  InstallDir.assign(dir);
  ASSERT_EQ(InstallDir.view(), dir);

  FinishUninstall(nullptr);
  EXPECT_EQ(M().shell.recycled, (std::vector<Text>{dir.substr(0, dir.size() - 1)}));
  EXPECT_FALSE(FileExists(dir + u"korvv6.inf"));
  EXPECT_TRUE(FileExists(u"C:\\Korvane\\korvv6.inf"));
}

// A message box of the removal is laid out like the window it belongs to:
// mirrored with right-to-left reading in Arabic, whose dialogs are mirrored,
// plain in a language written left to right. Both endings of a run: the
// failure (text 114) and the finish (text 115).
struct MessageBoxCase {
  std::uint16_t language;
  bool fails;
  Dword type;
};

class RemovalMessageBox : public RemovalTest, public ::testing::WithParamInterface<MessageBoxCase> {};

TEST_P(RemovalMessageBox, FollowsTheLayoutOfTheWindow) {
  const MessageBoxCase c = GetParam();
  M().ui.uiLanguage = c.language;
  if (c.fails) {
    InstallFamily({u"Korvane KP-80"});
    M().faults.Set("EnumPrintersW", sim::FaultRule{1722});  // an incomplete inventory never finishes
  }
  Press(1000, 1);
  Press(600000, 2);
  RunWindow();

  ASSERT_EQ(M().ui.messageBoxes.size(), 1u);
  EXPECT_EQ(M().ui.messageBoxes[0].type, c.type);
}

constexpr Dword kMirrored = os::MB_RTLREADING | os::MB_RIGHT;
INSTANTIATE_TEST_SUITE_P(Languages, RemovalMessageBox,
                         ::testing::Values(MessageBoxCase{0x0409, false, os::MB_OK},
                                           MessageBoxCase{0x0409, true, os::MB_OK},
                                           MessageBoxCase{0x0407, true, os::MB_OK},
                                           MessageBoxCase{0x0401, false, os::MB_OK | kMirrored},
                                           MessageBoxCase{0x0401, true, os::MB_OK | kMirrored}));

}  // namespace
}  // namespace korv::test

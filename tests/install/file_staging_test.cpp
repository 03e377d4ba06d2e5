#include "install/file_staging.h"

#include "install/split_path.h"
#include "install_machine.h"

namespace korv::test {
namespace {

const Text kTarget = Text(kDriverDir) + u"\\korvdrv6.dll";

class FileStagingTest : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    PrepareInstallMachine(M());
  }
  std::string ContentAt(const Text& path) {
    const sim::SimFile* f = FileAt(M(), path);
    return f != nullptr ? f->content : "<missing>";
  }
};

int g_actionCalls = 0;
Text g_actionArgument;
std::uint64_t g_actionAt = 0;
Dword g_spoolerStateDuringAction = 0;
int RecordingAction(const char16_t* argument) {
  ++g_actionCalls;
  g_actionArgument = argument;
  g_actionAt = sim::Machine::Get().clock.Now();
  g_spoolerStateDuringAction = sim::Machine::Get().services.services.at(u"Spooler").state;
  return 1;
}

TEST_F(FileStagingTest, TakesTheBuildOfTheRealProcessor) {
  const std::pair<std::uint16_t, const char16_t*> machines[] = {
      {arch::Amd64, u"amd64"}, {arch::Arm64, u"arm64"}, {arch::Intel, u"i386"}, {arch::Arm, u"arm"}};
  for (const auto& [processor, folder] : machines) {
    M().kernel.nativeArch = processor;
    EXPECT_NE(StageArchFile(u"korvdrv6.dll"), 0);
    EXPECT_EQ(ContentAt(kTarget), sim::InstallerFileContent(folder, u"korvdrv6.dll")) << U8(folder);
  }
  EXPECT_EQ(M().CallCount("OpenSCManagerW"), 0);  // only the monitor touches the spooler service
}

TEST_F(FileStagingTest, DeletesThenCopiesAndTracesBoth) {
  EXPECT_EQ(StageArchFile(u"korvdrv6ui.dll"), 1);
  const std::string target = U8(kDriverDir) + "\\korvdrv6ui.dll";
  // The target did not exist: the deletion fails, which is only reported.
  EXPECT_EQ(TraceLines(M()), (std::vector<std::string>{
                                 "Remove file:" + target + ", 0, errcode:2.",
                                 "CopyFile file:C:\\Korvane\\amd64\\korvdrv6ui.dll to " + target + ", 1, errcode:0.",
                             }));
  // Staged again over the existing file.
  EXPECT_EQ(StageArchFile(u"korvdrv6ui.dll"), 1);
  EXPECT_EQ(TraceLines(M())[2], "Remove file:" + target + ", 1, errcode:0.");
  EXPECT_EQ(M().CallCount("MoveFileExW"), 0);
}

TEST_F(FileStagingTest, InstallDirWithoutTrailingSeparatorGetsOne) {
  InstallDir.assign(u"C:\\Korvane");
  EXPECT_EQ(StageArchFile(u"korvdrv6.dll"), 1);
  EXPECT_EQ(StageDataFile(u"korvdrv6.dat"), 1);
  EXPECT_EQ(CallDetails(M(), "CopyFileW"),
            (std::vector<std::string>{"C:\\Korvane\\amd64\\korvdrv6.dll -> " + U8(kTarget),
                                      "C:\\Korvane\\dat\\korvdrv6.dat -> " + U8(kDriverDir) + "\\korvdrv6.dat"}));
}

TEST_F(FileStagingTest, UnknownProcessorStagesNothingButTheDataFile) {
  M().kernel.nativeArch = arch::Ia64;
  EXPECT_EQ(StageArchFile(u"korvdrv6.dll"), 0);
  EXPECT_EQ(StageArchFile(u"korvmon.dll"), 0);
  EXPECT_TRUE(Calls(M()).empty());
  EXPECT_TRUE(TraceLines(M()).empty());
  EXPECT_EQ(StageDataFile(u"korvdrv6.dat"), 1);
  EXPECT_EQ(ContentAt(Text(kDriverDir) + u"\\korvdrv6.dat"), sim::InstallerFileContent(u"dat", u"korvdrv6.dat"));
}

TEST_F(FileStagingTest, NoDriverDirectoryMeansNoPathAndNoFileTouched) {
  M().faults.Set("GetPrinterDriverDirectoryW", {err::InsufficientBuffer});
  EXPECT_EQ(StageArchFile(u"korvdrv6.dll"), 0);
  EXPECT_EQ(StageArchFile(u"korvmon.dll"), 0);
  EXPECT_EQ(StageDataFile(u"korvdrv6.dat"), 0);
  M().faults.Clear("GetPrinterDriverDirectoryW");
  M().spooler.driverDirectory.clear();  // answered, but with no name
  EXPECT_EQ(StageArchFile(u"korvdrv6.dll"), 0);
  EXPECT_EQ(StageDataFile(u"korvdrv6.dat"), 0);

  EXPECT_EQ(Calls(M()), std::vector<std::string>(5, "GetPrinterDriverDirectoryW"));
  EXPECT_TRUE(TraceLines(M()).empty());
  EXPECT_EQ(Spooler(M()).stopRequests, 0);
  EXPECT_EQ(FileAt(M(), u"\\korvdrv6.dll"), nullptr);
}

TEST_F(FileStagingTest, LockedTargetIsReplacedAtTheNextSystemStart) {
  M().kernel.files[kTarget] = sim::SimFile{"old build", true};
  EXPECT_EQ(StageArchFile(u"korvdrv6.dll"), 1);
  EXPECT_EQ(TraceLines(M())[1], "CopyFile file:C:\\Korvane\\amd64\\korvdrv6.dll to " + U8(kTarget) +
                                    ", 0, errcode:32.");
  ASSERT_EQ(M().kernel.pendingRenames.size(), 1u);
  EXPECT_EQ(U8(M().kernel.pendingRenames[0].source), "C:\\Korvane\\amd64\\korvdrv6.dll");
  EXPECT_EQ(U8(M().kernel.pendingRenames[0].target), U8(kTarget));
  EXPECT_EQ(ContentAt(kTarget), "old build");

  // The result is the scheduling's.
  M().faults.Set("MoveFileExW", {err::AccessDenied});
  EXPECT_EQ(StageArchFile(u"korvdrv6.dll"), 0);
  EXPECT_EQ(M().kernel.pendingRenames.size(), 1u);

  // The data file has no such fallback.
  M().kernel.files[Text(kDriverDir) + u"\\korvdrv6.dat"] = sim::SimFile{"old data", true};
  EXPECT_EQ(StageDataFile(u"korvdrv6.dat"), 0);
  EXPECT_EQ(M().CallCount("MoveFileExW"), 2);
  EXPECT_EQ(TraceLines(M()).back(), "CopyFile file:C:\\Korvane\\dat\\korvdrv6.dat to " + U8(kDriverDir) +
                                        "\\korvdrv6.dat, 0, errcode:32.");
}

TEST_F(FileStagingTest, DataFileIsCopiedWithoutARemoveLine) {
  M().kernel.files[Text(kDriverDir) + u"\\korvdrv6.dat"] = sim::SimFile{"old data", false};
  EXPECT_EQ(StageDataFile(u"korvdrv6.dat"), 1);
  EXPECT_EQ(M().CallCount("DeleteFileW"), 1);
  EXPECT_EQ(TraceLines(M()), std::vector<std::string>{"CopyFile file:C:\\Korvane\\dat\\korvdrv6.dat to " +
                                                      U8(kDriverDir) + "\\korvdrv6.dat, 1, errcode:0."});
  M().kernel.files.erase(u"C:\\Korvane\\dat\\korvdrv6.dat");
  EXPECT_EQ(StageDataFile(u"korvdrv6.dat"), 0);
  EXPECT_EQ(TraceLines(M()).back(), "CopyFile file:C:\\Korvane\\dat\\korvdrv6.dat to " + U8(kDriverDir) +
                                        "\\korvdrv6.dat, 0, errcode:2.");
}

TEST_F(FileStagingTest, MonitorGoesIntoTheSystemFolderWhileTheSpoolerIsStopped) {
  EXPECT_EQ(StageArchFile(u"korvmon.dll"), 1);
  const std::string monitor = sim::InstallerFileContent(u"amd64", u"korvmon.dll");
  EXPECT_EQ(ContentAt(Text(kDriverDir) + u"\\korvmon.dll"), monitor);
  EXPECT_EQ(ContentAt(Text(kSystemDir) + u"\\korvmon.dll"), monitor);
  EXPECT_EQ(Spooler(M()).stopRequests, 1);
  EXPECT_EQ(Spooler(M()).startRequests, 1);
  EXPECT_EQ(Spooler(M()).state, os::SERVICE_RUNNING);
  EXPECT_EQ(Calls(M()), (std::vector<std::string>{
                            "GetPrinterDriverDirectoryW", "DeleteFileW", "CopyFileW", "OpenSCManagerW",
                            "OpenServiceW", "QueryServiceStatusEx", "ControlService",
                            "QueryServiceStatusEx", "QueryServiceStatusEx", "QueryServiceStatusEx",
                            "GetSystemDirectoryW", "Wow64DisableWow64FsRedirection", "CopyFileW", "StartServiceW",
                            "QueryServiceStatusEx", "QueryServiceStatusEx",
                            "QueryServiceStatusEx", "QueryServiceStatusEx", "QueryServiceStatusEx"}));
  // Stopped after 100 ms, 200 ms pause, the copy, 3 s pause, running 200 ms
  // after the start.
  EXPECT_EQ(FirstCallAt(M(), "StartServiceW"), 3300u);
  EXPECT_EQ(Now(), 3500u);
  EXPECT_EQ(M().openHandles.size(), 0u);
}

TEST_F(FileStagingTest, MonitorCopyFailureStillRestartsTheSpooler) {
  const Text target = Text(kDriverDir) + u"\\korvmon.dll";
  M().kernel.files[target] = sim::SimFile{"loaded monitor", true};
  EXPECT_EQ(StageArchFile(u"korvmon.dll"), 1);  // scheduled
  EXPECT_EQ(Spooler(M()).stopRequests, 1);
  EXPECT_EQ(ContentAt(Text(kSystemDir) + u"\\korvmon.dll"), sim::InstallerFileContent(u"amd64", u"korvmon.dll"));
  ASSERT_EQ(M().kernel.pendingRenames.size(), 1u);
  EXPECT_EQ(U8(M().kernel.pendingRenames[0].target), U8(target));
}

TEST_F(FileStagingTest, StoppedSpoolerStaysStoppedAndTheSystemFolderUnwritten) {
  M().services.services.at(u"Spooler").state = os::SERVICE_STOPPED;
  EXPECT_EQ(StageArchFile(u"korvmon.dll"), 0);  // it cannot name its driver directory either
  RestartSpooler(RecordingAction, u"C:\\Korvane\\amd64\\korvmon.dll");
  RestartSpooler(CopyToSystemFolder, u"C:\\Korvane\\amd64\\korvmon.dll");
  EXPECT_EQ(Spooler(M()).state, os::SERVICE_STOPPED);
  EXPECT_EQ(M().CallCount("ControlService"), 0);
  EXPECT_EQ(M().CallCount("StartServiceW"), 0);
  EXPECT_EQ(M().CallCount("CopyFileW"), 0);
  EXPECT_EQ(FileAt(M(), Text(kSystemDir) + u"\\korvmon.dll"), nullptr);
  EXPECT_EQ(Now(), 0u);

  // Nor is one on its way up or down touched.
  M().services.services.at(u"Spooler").state = os::SERVICE_START_PENDING;
  RestartSpooler(nullptr, nullptr);
  EXPECT_EQ(M().CallCount("ControlService"), 0);
  EXPECT_EQ(M().openHandles.size(), 0u);
}

TEST_F(FileStagingTest, RestartRunsTheActionOnlyWithItsArgument) {
  g_actionCalls = 0;
  RestartSpooler(RecordingAction, nullptr);
  EXPECT_EQ(g_actionCalls, 0);
  EXPECT_EQ(Now(), 3300u);  // no 200 ms pause without an action
  RestartSpooler(nullptr, u"x");
  EXPECT_EQ(Now(), 6600u);
  RestartSpooler(RecordingAction, u"arg");
  EXPECT_EQ(g_actionCalls, 1);
  EXPECT_EQ(U8(g_actionArgument), "arg");
  EXPECT_EQ(g_actionAt, 6600u + 100 + 200);
  EXPECT_EQ(g_spoolerStateDuringAction, os::SERVICE_STOPPED);
  EXPECT_EQ(Spooler(M()).startRequests, 3);
}

TEST_F(FileStagingTest, SpoolerThatNeverStopsGetsTheWholeSequenceAfterFiftySeconds) {
  g_actionCalls = 0;
  M().services.services.at(u"Spooler").neverStops = true;
  RestartSpooler(RecordingAction, u"arg");
  EXPECT_EQ(g_actionCalls, 1);
  EXPECT_EQ(g_actionAt, 999u * 50 + 200);
  EXPECT_EQ(M().CallCount("StartServiceW"), 1);  // refused: the service is still stopping
  // 1 look, 1000 polls for the stop and 1000 for the start.
  EXPECT_EQ(M().CallCount("QueryServiceStatusEx"), 2001);
  EXPECT_EQ(Now(), 999u * 50 + 200 + 3000 + 999u * 50);
}

TEST_F(FileStagingTest, RestartWithoutServiceAccessDoesNothing) {
  M().faults.Set("OpenServiceW", {err::AccessDenied});
  RestartSpooler(RecordingAction, u"arg");
  M().faults.Clear("OpenServiceW");
  M().faults.Set("OpenSCManagerW", {err::AccessDenied});
  RestartSpooler(RecordingAction, u"arg");
  M().faults.Clear("OpenSCManagerW");
  M().faults.Set("QueryServiceStatusEx", {err::AccessDenied});
  RestartSpooler(RecordingAction, u"arg");
  EXPECT_EQ(M().CallCount("ControlService"), 0);
  EXPECT_EQ(M().CallCount("OpenServiceW"), 2);
  EXPECT_EQ(M().openHandles.size(), 0u);
}

TEST_F(FileStagingTest, CopiesIntoTheSystemFolderUnderItsOwnName) {
  EXPECT_EQ(CopyToSystemFolder(u"C:\\Korvane\\arm64\\korvmon.dll"), 1);
  EXPECT_EQ(ContentAt(Text(kSystemDir) + u"\\korvmon.dll"), sim::InstallerFileContent(u"arm64", u"korvmon.dll"));
  EXPECT_EQ(CopyToSystemFolder(u"C:\\Korvane\\arm64\\missing.dll"), 0);

  // No system folder name, no copy to the drive's root.
  M().faults.Set("GetSystemDirectoryW", {err::AccessDenied});
  EXPECT_EQ(CopyToSystemFolder(u"C:\\Korvane\\amd64\\korvmon.dll"), 0);
  M().faults.Clear("GetSystemDirectoryW");
  M().kernel.systemFolder = Text(260, u'S');  // does not fit the buffer
  EXPECT_EQ(CopyToSystemFolder(u"C:\\Korvane\\amd64\\korvmon.dll"), 0);
  EXPECT_EQ(M().CallCount("CopyFileW"), 2);
}

TEST(SplitPathTest, SplitsLikeTheRuntime) {
  SplitPath p = SplitPathOf(u"C:\\Korvane\\amd64\\korvmon.v2.dll");
  EXPECT_EQ(U8(p.drive.view()), "C:");
  EXPECT_EQ(U8(p.folder.view()), "\\Korvane\\amd64\\");
  EXPECT_EQ(U8(p.name.view()), "korvmon.v2");
  EXPECT_EQ(U8(p.extension.view()), ".dll");

  p = SplitPathOf(u"dir.d/name");
  EXPECT_EQ(U8(p.drive.view()), "");
  EXPECT_EQ(U8(p.folder.view()), "dir.d/");
  EXPECT_EQ(U8(p.name.view()), "name");
  EXPECT_EQ(U8(p.extension.view()), "");

  p = SplitPathOf(u"korvmon.dll");
  EXPECT_EQ(U8(p.folder.view()), "");
  EXPECT_EQ(U8(p.name.view()), "korvmon");

  // Parts are cut to the runtime's sizes.
  const Text longName(300, u'n');
  p = SplitPathOf((u"C:\\" + longName + u".dll").c_str());
  EXPECT_EQ(p.name.size(), 255u);
  EXPECT_EQ(U8(p.extension.view()), ".dll");
}

}  // namespace
}  // namespace korv::test

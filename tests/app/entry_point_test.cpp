// The program's start: single instance, start-up order, command-line options
// and the choice among the five run modes.
#include <string>
#include <vector>

#include "common/path_split.h"
#include "app_machine.h"
#include "common/resource_ids.h"
#include "platform/services.h"
#include "platform/sim/sim_shell.h"

namespace korv::test {
namespace {

class EntryPointTest : public AppTest {};

TEST_F(EntryPointTest, SecondInstanceEndsAtOnceWithoutDoingAnything) {
  M().kernel.mutexes[kMutexName] = 1;  // the first instance holds it
  M().services.services[u"Spooler"].state = os::SERVICE_STOPPED;

  EXPECT_EQ(Run(u"/silence"), 0);

  EXPECT_EQ(M().CallNames(), (std::vector<std::string>{"LoadIconW", "CreateMutexW"}));
  EXPECT_TRUE(M().ui.dialogs.empty());
  EXPECT_TRUE(M().ui.events.empty());
  EXPECT_TRUE(M().kernel.processes.empty());
  EXPECT_TRUE(M().kernel.debugOutput.empty());
  EXPECT_EQ(M().services.services[u"Spooler"].state, os::SERVICE_STOPPED);
  // Its own handle is closed: the first instance still holds the name alone.
  EXPECT_EQ(M().kernel.mutexes[kMutexName], 1);
}

TEST_F(EntryPointTest, StartUpRunsInOrderAndTheMutexIsHeldUntilTheWindowCloses) {
  M().services.services[u"Spooler"].state = os::SERVICE_STOPPED;
  M().kernel.nativeArch = arch::Amd64;
  Press(5000, IDD_INSTALLER, IDC_INSTALLER_CANCEL);

  EXPECT_EQ(Run(u""), 0);

  EXPECT_EQ(AppInstance, os::CurrentInstance());
  const long icon = FirstCall("LoadIconW");
  const long mutex = FirstCall("CreateMutexW");
  const long deploy = FirstCall("GetSystemDirectoryW");
  const long split = FirstCall("CommandLineToArgvW");
  const long spooler = FirstCall("StartServiceW");
  const long module = FirstCall("GetModuleFileNameW");
  const long window = FirstCall("DialogBoxParamW");
  const long release = FirstCall("ReleaseMutex");
  ASSERT_EQ(icon, 0);
  EXPECT_LT(icon, mutex);
  EXPECT_LT(mutex, deploy);
  EXPECT_LT(deploy, split);
  EXPECT_LT(split, spooler);
  EXPECT_LT(spooler, window);
  EXPECT_LT(window, release);
  EXPECT_GE(module, 0);
  // The runtime was deployed and the spooler started before the window.
  EXPECT_EQ(M().kernel.files.count(M().kernel.systemFolder + u"\\vcomp140.dll"), 1u);
  EXPECT_EQ(M().services.services[u"Spooler"].state, os::SERVICE_RUNNING);
  EXPECT_GT(M().ui.dialogs.front().openedAt, 0u);  // waited for the spooler

  // Held while the window was open, released and closed at the end.
  EXPECT_EQ(M().CallCount("ReleaseMutex"), 1);
  EXPECT_EQ(M().kernel.mutexes.count(kMutexName), 0u);
  EXPECT_EQ(U8(InstallDir.view()), "C:\\Korvane\\");
}

TEST_F(EntryPointTest, RunContinuesWithoutTheMutexWhenItCannotBeCreated) {
  M().faults.Set("CreateMutexW", sim::FaultRule{err::AccessDenied});
  Press(100, IDD_INSTALLER, IDC_INSTALLER_CANCEL);
  EXPECT_EQ(Run(u""), 0);
  EXPECT_EQ(DialogsOpened(), (std::vector<Dword>{IDD_INSTALLER}));
  EXPECT_EQ(M().CallCount("ReleaseMutex"), 0);
}

// One command line, and what the run did with it.
struct OptionCase {
  const char16_t* line;
  std::string mode;
  std::string installDir;
};

class CommandLineOptions : public AppTest, public ::testing::WithParamInterface<OptionCase> {};

TEST_P(CommandLineOptions, SelectTheRunMode) {
  const OptionCase& c = GetParam();
  M().clock.SetTimeLimit(3000);  // the silent search has no printer to find
  Press(100, IDD_INSTALLER, IDC_INSTALLER_CANCEL);
  Press(100, IDD_UNINSTALL, IDC_CLOSE);

  const int exitCode = Run(c.line);

  EXPECT_EQ(ModeTaken(), c.mode) << U8(c.line);
  EXPECT_EQ(U8(InstallDir.view()), c.installDir) << U8(c.line);
  if (c.mode == "silent") {
    EXPECT_EQ(exitCode, -1) << "a silent search without a printer runs until ended from outside";
  } else {
    EXPECT_EQ(exitCode, 0) << U8(c.line);
  }
}

const Text k259 = u"C:\\" + Text(256, u'd');  // 259 code units
const Text k260 = k259 + u"e";
const Text kLine259 = u"-u " + k259;
const Text kLine260 = u"-u " + k260;
const Text kLineEarlierKept = u"-u C:\\a -u " + k260;

INSTANTIATE_TEST_SUITE_P(
    EntryPoint, CommandLineOptions,
    ::testing::Values(
        OptionCase{u"", "installer window", "C:\\Korvane\\"},
        OptionCase{u"/silence", "silent", "C:\\Korvane\\"},
        OptionCase{u"/SILENCE", "silent", "C:\\Korvane\\"},
        OptionCase{u"x /Silence y", "silent", "C:\\Korvane\\"},
        OptionCase{u"-silence", "installer window", "C:\\Korvane\\"},
        OptionCase{u"--silence", "installer window", "C:\\Korvane\\"},
        OptionCase{u"/silence2", "installer window", "C:\\Korvane\\"},
        OptionCase{u"-u C:\\Old", "uninstall window", "C:\\Old"},
        OptionCase{u"-U C:\\Old\\", "uninstall window", "C:\\Old\\"},
        OptionCase{u"/u C:\\Old", "installer window", "C:\\Korvane\\"},
        OptionCase{u"-u", "installer window", "C:\\Korvane\\"},
        OptionCase{u"/silence -u", "silent", "C:\\Korvane\\"},
        OptionCase{u"-u C:\\A -u C:\\B", "uninstall window", "C:\\B"},
        OptionCase{u"-u -u C:\\B", "uninstall window", "-u"},
        OptionCase{u"-u C:\\A /silence", "uninstall window", "C:\\A"},
        OptionCase{u"/silence -u C:\\A", "uninstall window", "C:\\A"},
        OptionCase{u"\"-u\" \"C:\\Program Files\\Korvane\\", "uninstall window",
                   "C:\\Program Files\\Korvane\\"},
        OptionCase{u"-u \"C:\\Program Files\\Korvane\\\\\" /silence", "uninstall window",
                   "C:\\Program Files\\Korvane\\"},
        OptionCase{kLine259.c_str(), "uninstall window", "C:\\" + std::string(256, 'd')},
        OptionCase{kLine260.c_str(), "installer window", "C:\\Korvane\\"},
        OptionCase{kLineEarlierKept.c_str(), "uninstall window", "C:\\a"}));

TEST_F(EntryPointTest, UninstallWindowIgnoresTheExecutableNameAndTheSilentFlag) {
  PlaceProgram(u"C:\\Korvane\\unins000.exe");
  InstallFamilyDriver();
  Press(5000, IDD_UNINSTALL, IDC_CLOSE);

  EXPECT_EQ(Run(u"/silence -u C:\\Korvane"), 0);

  EXPECT_EQ(DialogsOpened(), (std::vector<Dword>{IDD_UNINSTALL}));
  EXPECT_TRUE(M().kernel.processes.empty());
  EXPECT_EQ(U8(InstallDir.view()), "C:\\Korvane");
  EXPECT_EQ(M().CallCount("GetTempFileNameW"), 0) << "no relaunch";
  EXPECT_EQ(M().kernel.mutexes.count(kMutexName), 0u);
  EXPECT_TRUE(M().kernel.pendingRenames.empty()) << "a program outside the temporary folder stays";
}

TEST_F(EntryPointTest, UninstallerCopyRelaunchesFromTheTemporaryFolder) {
  PlaceProgram(u"C:\\Korvane\\unins000.exe");
  InstallFamilyDriver();  // the relaunch comes first

  EXPECT_EQ(Run(u""), 0);

  const Text temp = Text(kTempFolder) + u"uni1A2B.tmp";
  ASSERT_EQ(StartedCommandLines(),
            (std::vector<Text>{u"\"" + temp + u"\" -u \"C:\\Korvane\\"}));
  ASSERT_EQ(M().kernel.files.count(temp), 1u);
  EXPECT_EQ(M().kernel.files[temp].content, "korvsetup program");
  EXPECT_TRUE(M().ui.dialogs.empty());
  EXPECT_EQ(M().CallCount("SetupDiGetClassDevsW"), 0);
  // Released before the child started, so the child's own check passes.
  EXPECT_LT(FirstCall("ReleaseMutex"), FirstCall("CreateProcessW"));
  EXPECT_EQ(M().kernel.mutexes.count(kMutexName), 0u);
  // The copy is held open from its writing until the child has started, so
  // that nobody can put another file in its place; then let go.
  auto names = M().CallNames({"GetTempPathW", "GetTempFileNameW", "CopyFileW", "CreateFileW", "ReleaseMutex",
                              "CreateProcessW"});
  names.erase(names.begin());  // the runtime deployment's copy
  EXPECT_EQ(names, (std::vector<std::string>{"GetTempPathW", "GetTempFileNameW", "CopyFileW", "CreateFileW",
                                             "ReleaseMutex", "CreateProcessW"}));
  EXPECT_FALSE(M().kernel.files[temp].locked);
  EXPECT_EQ(U8(M().closedHandles.back().name), "file:" + U8(temp));
}

TEST_F(EntryPointTest, RelaunchedChildGetsTheFolderWholeAndOpensTheUninstallWindow) {
  PlaceProgram(u"C:\\Program Files\\Korvane Driver\\unins000.exe");
  sim::SetUpInstallerFolder(M(), u"C:\\Program Files\\Korvane Driver\\");
  ASSERT_EQ(Run(u""), 0);
  ASSERT_EQ(M().kernel.processes.size(), 1u);
  const Text childLine = M().kernel.processes[0].commandLine;
  EXPECT_EQ(U8(childLine),
            "\"C:\\Users\\Shop\\AppData\\Local\\Temp\\uni1A2B.tmp\" -u \"C:\\Program Files\\Korvane Driver\\");

  // The child, on the same machine: what its wWinMain gets, then its run.
  const Text childArguments = sim::ArgumentsAfterProgramName(childLine);
  EXPECT_EQ(sim::SplitCommandLine(childArguments),
            (std::vector<Text>{u"-u", u"C:\\Program Files\\Korvane Driver\\"}));
  ResetProgramState();
  M().kernel.modulePath = Text(kTempFolder) + u"uni1A2B.tmp";
  Press(M().clock.Now() + 5000, IDD_UNINSTALL, IDC_CLOSE);
  EXPECT_EQ(Run(childArguments.c_str()), 0);
  EXPECT_EQ(DialogsOpened(), (std::vector<Dword>{IDD_UNINSTALL}));
  EXPECT_EQ(U8(InstallDir.view()), "C:\\Program Files\\Korvane Driver\\");
  EXPECT_EQ(M().kernel.processes.size(), 1u) << "the child starts nothing";
  // It cannot delete the file it runs from: the system does at its next start.
  ASSERT_EQ(M().kernel.pendingRenames.size(), 1u);
  EXPECT_EQ(U8(M().kernel.pendingRenames[0].source), U8(Text(kTempFolder) + u"uni1A2B.tmp"));
  EXPECT_TRUE(M().kernel.pendingRenames[0].target.empty());
}

TEST_F(EntryPointTest, OnlyTheExactLowerCaseNameIsTheUninstallerCopy) {
  struct Case {
    const char16_t* path;
    bool relaunch;
  };
  const Case cases[] = {
      {u"C:\\Korvane\\unins000.exe", true},      {u"C:\\Korvane\\unins000", true},
      {u"C:\\Korvane\\unins000.tmp", true},      {u"C:/Korvane/unins000.EXE", true},
      {u"C:\\Korvane\\UNINS000.exe", false},     {u"C:\\Korvane\\Unins000.exe", false},
      {u"C:\\Korvane\\unins000.exe.bak", false}, {u"C:\\Korvane\\unins0000.exe", false},
      {u"C:\\Korvane\\xunins000.exe", false},
  };
  for (const Case& c : cases) {
    Fresh();
    PlaceProgram(c.path);
    Press(100, IDD_INSTALLER, IDC_INSTALLER_CANCEL);

    EXPECT_EQ(Run(u""), 0) << U8(c.path);
    EXPECT_EQ(M().kernel.processes.size(), c.relaunch ? 1u : 0u) << U8(c.path);
    EXPECT_EQ(M().ui.dialogs.size(), c.relaunch ? 0u : 1u) << U8(c.path);
  }
}

TEST_F(EntryPointTest, RelaunchThatCannotCopyStartsNothingAndStillLetsGoOfTheMutex) {
  PlaceProgram(u"C:\\Korvane\\unins000.exe");
  for (const char* failing : {"GetTempPathW", "GetTempFileNameW", "CopyFileW", "CreateFileW"}) {
    M().faults.ClearAll();
    M().kernel.processes.clear();
    M().faults.Set(failing, sim::FaultRule{err::AccessDenied});
    ResetProgramState();
    EXPECT_EQ(Run(u""), 0) << failing;
    EXPECT_TRUE(M().kernel.processes.empty()) << failing;
    EXPECT_EQ(M().kernel.mutexes.count(kMutexName), 0u) << failing;
    EXPECT_TRUE(M().ui.dialogs.empty()) << failing;
  }
  // A temporary folder longer than its 256-unit buffer is not used either.
  M().faults.ClearAll();
  M().kernel.tempFolder = u"C:\\" + Text(260, u't') + u"\\";
  M().kernel.folders.insert(u"C:\\" + Text(260, u't'));
  ResetProgramState();
  EXPECT_EQ(Run(u""), 0);
  EXPECT_TRUE(M().kernel.processes.empty());
}

TEST_F(EntryPointTest, InstalledFamilyHandsOverToTheUninstallerCopyWithOrWithoutSilence) {
  for (const char16_t* line : {u"", u"/silence"}) {
    M().kernel.processes.clear();
    M().calls.clear();
    ResetProgramState();
    InstallFamilyDriver();
    Plug(u"KorvaneKP-80", 1);

    EXPECT_EQ(Run(line), 0) << U8(line);

    EXPECT_EQ(StartedCommandLines(), (std::vector<Text>{u"\"C:\\Korvane\\unins000.exe\""})) << U8(line);
    EXPECT_TRUE(M().ui.dialogs.empty());
    EXPECT_EQ(M().CallCount("SetupDiGetClassDevsW"), 0) << "no installation attempted";
    EXPECT_EQ(M().CallCount("EnumPrintersW"), 0) << "queues are not collected for the check";
    EXPECT_LT(FirstCall("ReleaseMutex"), FirstCall("CreateProcessW"));
    EXPECT_EQ(M().kernel.mutexes.count(kMutexName), 0u);
  }
  // The child's own start: its wWinMain gets an empty line, which splits to
  // its own path, so it relaunches as the uninstaller copy.
  EXPECT_EQ(sim::ArgumentsAfterProgramName(u"\"C:\\Korvane\\unins000.exe\""), u"");
}

TEST_F(EntryPointTest, HandOffWithoutTheUninstallerCopyEndsQuietly) {
  InstallFamilyDriver();
  M().kernel.files.erase(u"C:\\Korvane\\unins000.exe");

  EXPECT_EQ(Run(u""), 0);

  EXPECT_TRUE(M().kernel.processes.empty());
  EXPECT_EQ(M().CallCount("CreateProcessW"), 1);
  EXPECT_TRUE(M().ui.dialogs.empty());
  EXPECT_TRUE(M().ui.events.empty());
  EXPECT_EQ(M().kernel.mutexes.count(kMutexName), 0u);
}

TEST_F(EntryPointTest, ModulePathTooLongForItsBufferGivesNoInstallDir) {
  // Cut to 259 units, the path would end inside the long folder name and
  // InstallDir would become C:\Korvane\, another installation's folder.
  InstallFamilyDriver();
  PlaceProgram(u"C:\\Korvane\\" + Text(250, u'f') + u"\\korvsetup.exe");

  EXPECT_EQ(Run(u""), 0);

  EXPECT_TRUE(InstallDir.empty());
  EXPECT_EQ(StartedCommandLines(), std::vector<Text>{}) << "C:\\Korvane\\unins000.exe must not start";
}

TEST_F(EntryPointTest, NoArrayFromTheSplitterMeansNoOption) {
  M().faults.Set("CommandLineToArgvW", sim::FaultRule{err::NotEnoughMemory});
  Press(100, IDD_INSTALLER, IDC_INSTALLER_CANCEL);
  EXPECT_EQ(Run(u"-u C:\\Old"), 0);
  EXPECT_EQ(ModeTaken(), "installer window");
  EXPECT_EQ(U8(InstallDir.view()), "C:\\Korvane\\");
}

TEST(PathSplit, PiecesAndTheAllOrNothingRule) {
  PathPieces p;
  ASSERT_TRUE(SplitPathChecked(u"C:\\Korvane\\unins000.exe", &p));
  EXPECT_EQ(p.drive, u"C:");
  EXPECT_EQ(p.folder, u"\\Korvane\\");
  EXPECT_EQ(p.name, u"unins000");
  EXPECT_EQ(p.extension, u".exe");

  ASSERT_TRUE(SplitPathChecked(u"\\\\server\\share\\a.b.c", &p));
  EXPECT_EQ(p.drive, u"");
  EXPECT_EQ(p.folder, u"\\\\server\\share\\");
  EXPECT_EQ(p.name, u"a.b");
  EXPECT_EQ(p.extension, u".c");

  ASSERT_TRUE(SplitPathChecked(u"C:dir.x/name", &p));
  EXPECT_EQ(p.folder, u"dir.x/");
  EXPECT_EQ(p.name, u"name");
  EXPECT_EQ(p.extension, u"");

  // Folder of exactly 255 units fits its 256-unit buffer; 256 does not, and
  // then nothing is kept.
  const Text folder255 = u"\\" + Text(253, u'a') + u"\\";
  ASSERT_TRUE(SplitPathChecked((u"C:" + folder255 + u"x.exe").c_str(), &p));
  EXPECT_EQ(p.folder.size(), 255u);
  EXPECT_FALSE(SplitPathChecked((u"C:\\" + Text(254, u'a') + u"\\x.exe").c_str(), &p));
  EXPECT_TRUE(p.drive.empty() && p.folder.empty() && p.name.empty() && p.extension.empty());

  // A name of 259 units fits; 260 does not.
  EXPECT_TRUE(SplitPathChecked((u"C:\\" + Text(259, u'n')).c_str(), &p));
  EXPECT_FALSE(SplitPathChecked((u"C:\\" + Text(260, u'n')).c_str(), &p));
  EXPECT_TRUE(p.name.empty());
  EXPECT_FALSE(SplitPathChecked(nullptr, &p));
}

}  // namespace
}  // namespace korv::test

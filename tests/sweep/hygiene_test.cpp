// Over-long paths are refused, never cut: with administrator rights a cut path
// could copy a planted file into the driver or system folder, or delete one not
// the family's. Each test plants a file where the cut path would point and runs
// the longest length that fits (works, whole path) and the first that does not.
#include <gtest/gtest.h>

#include "common/resource_ids.h"
#include "sweep_checks.h"

namespace korv::test::sweep {
namespace {

constexpr char kPlanted[] = "planted by somebody else";

// A folder path of exactly `units` code units, ending with a backslash,
// made of components of at most 100 units.
Text FolderOfLength(std::size_t units) {
  Text path = u"C:\\Shop\\";
  for (char16_t letter = u'a'; path.size() < units; letter = letter == u'z' ? u'a' : letter + 1) {
    const std::size_t room = units - path.size();
    std::size_t n = std::min<std::size_t>(100, room - 1);
    if (room - (n + 1) == 1) --n;  // leave room for a component of one unit
    path += Text(n, letter) + u"\\";
  }
  return path;
}

class LongPaths : public SimTest {
 protected:
  sim::Machine& Mach() { return sim::Machine::Get(); }

  // The installer folder at `dir` with the program in it as `exe`, files
  // planted by somebody else, and `more` merged in.
  void Set(const Text& dir, const std::vector<Text>& planted, const std::vector<Json>& more, const char16_t* exe = u"k.exe") {
    Json j = {{"machine", {{"installerFolders", {U8(dir)}}, {"modulePath", U8(dir + exe)}}}};
    for (const Text& p : planted) j["machine"]["files"].push_back({{"path", U8(p)}, {"content", kPlanted}});
    for (const Json& part : more) Merge(j, part);
    korvsim::ApplyScenario(j.dump(), Mach());
    Mach().clock.SetTimeLimit(600000);
    planted_ = planted;
  }

  // Every planted file is still there, unchanged, and nothing holds a copy of one.
  void ExpectPlantedUntouched() {
    for (const Text& p : planted_) {
      const auto it = Mach().kernel.files.find(p);
      EXPECT_TRUE(it != Mach().kernel.files.end() && it->second.content == kPlanted) << U8(p);
    }
    for (const auto& [path, f] : Mach().kernel.files) EXPECT_TRUE(f.content != kPlanted || std::count(planted_.begin(), planted_.end(), path)) << U8(path);
  }

  // The run's exit code (the time limit is far beyond any of these runs).
  int RunLine(const char16_t* line) { return RunProgram(os::CurrentInstance(), line); }

  std::vector<std::string> Details(const std::string& op) {
    std::vector<std::string> out;
    for (const auto& c : Mach().calls) out.insert(out.end(), c.operation == op ? 1 : 0, U8(c.detail));
    return out;
  }

  // Ends this machine's process and starts again on a fresh one.
  void Fresh() {
    Mach().clock.EndProcess();
    ResetProgramState();
    sim::Machine::Reset();
  }

  std::vector<Text> planted_;
};

// The driver files are copied from InstallDir's processor subfolder and
// "dat"; InstallDir may fit InfPath (249 units) but not a source path.
TEST_F(LongPaths, DriverFilesAreNotCopiedFromACutSourcePath) {
  for (const std::size_t length : {239u, 245u}) {
    SCOPED_TRACE(length);
    const Text dir = FolderOfLength(length);
    std::vector<Text> planted;
    for (const char16_t* piece : {u"amd64\\korvdrv6.dll", u"amd64\\korvdrv6ui.dll", u"dat\\korvdrv6.dat"}) {
      if ((dir + piece).size() >= 260) planted.push_back((dir + piece).substr(0, 259));
    }
    Set(dir, planted, {Json::parse(kPort1), Json::parse(kPrinter)});
    EXPECT_EQ(RunLine(u"/silence"), 0);
    ExpectPlantedUntouched();
    // At 239 every source fits and the manual path installs from them; at
    // 245 nothing is staged (only the runtime is copied), so nothing registered.
    EXPECT_EQ(FindQueue(Mach(), kModel) != nullptr, length == 239);
    EXPECT_EQ(DriverThere(Mach(), kModel), length == 239);
    EXPECT_EQ(planted.size(), length == 239 ? 0u : 3u);
    if (length == 239) {
      EXPECT_EQ(Mach().kernel.files.at(Text(kDriverDir) + u"\\korvdrv6ui.dll").content,
                sim::InstallerFileContent(u"amd64", u"korvdrv6ui.dll"));
    } else {
      EXPECT_EQ(Mach().CallCount("CopyFileW") + Mach().CallCount("MoveFileExW"), 1);
    }
    Fresh();
  }
}

// "korvmon.dll" goes into the system folder on installation and is deleted
// from there at the end of a removal.
TEST_F(LongPaths, MonitorFileIsNeitherCopiedNorDeletedThroughACutSystemPath) {
  for (const std::size_t length : {247u, 250u}) {
    SCOPED_TRACE(length);
    Text system = FolderOfLength(length + 1);
    system.pop_back();  // GetSystemDirectoryW gives no trailing backslash
    const Text monitor = system + u"\\korvmon.dll", cut = monitor.substr(0, 259);
    const bool fits = monitor.size() < 260;
    const Json systemFolder = {{"machine", {{"systemFolder", U8(system)}}}};
    Set(kInstallDir, fits ? std::vector<Text>{} : std::vector<Text>{cut}, {systemFolder, Json::parse(kPort1)});
    InstallMonitorModel();
    ExpectPlantedUntouched();
    const auto copied = Mach().kernel.files.find(monitor);
    EXPECT_EQ(copied != Mach().kernel.files.end() && copied->second.content == sim::InstallerFileContent(u"amd64", u"korvmon.dll"), fits);
    Fresh();

    // Removal of nothing: it succeeds and deletes the monitor file, whole or not at all.
    Set(kInstallDir, fits ? std::vector<Text>{monitor} : std::vector<Text>{cut, monitor}, {systemFolder, Press(1000, 105, 1)});
    EXPECT_EQ(RunLine(u"-u C:\\Korvane\\"), 0);
    ASSERT_EQ(Mach().ui.messageBoxes.size(), 1u);
    EXPECT_EQ(U8(Mach().ui.messageBoxes[0].text), English(IDS_UNINSTALLED));
    EXPECT_EQ(Mach().services.services.at(u"Spooler").state, os::SERVICE_RUNNING);
    EXPECT_EQ(Details("DeleteFileW"), fits ? std::vector<std::string>{U8(monitor)} : std::vector<std::string>{});
    if (!fits) ExpectPlantedUntouched();
    Fresh();
  }
}

// The uninstall window's folder comes from the command line and is recycled
// at the end: one that does not fit InstallDir is not taken at all.
TEST_F(LongPaths, UninstallFolderFromTheCommandLineIsTakenWholeOrNotAtAll) {
  for (const std::size_t length : {259u, 260u}) {
    SCOPED_TRACE(length);
    const Text folder = FolderOfLength(length);
    Set(kInstallDir, {}, {Press(1000, 105, 2), Press(1000, 106, 2)});
    EXPECT_EQ(RunLine((u"-u \"" + folder).c_str()), 0);
    ASSERT_EQ(Mach().ui.dialogs.size(), 1u);
    EXPECT_EQ(Mach().ui.dialogs[0].templateId, length == 259 ? 105u : 106u);
    EXPECT_EQ(Text(InstallDir.view()), length == 259 ? folder : Text(kInstallDir));
    Fresh();
  }
}

// The executable's path gives InstallDir, the hand-off's program and the
// runtime's source; cut inside its last folder name it would name the parent.
TEST_F(LongPaths, ModulePathThatDoesNotFitGivesNoInstallDirAndNoChild) {
  for (const std::size_t length : {259u, 267u}) {
    SCOPED_TRACE(length);
    const Text dir = FolderOfLength(length - 5);  // the program is "k.exe"
    const Text parent = dir.substr(0, dir.rfind(u'\\', dir.size() - 2) + 1);
    Set(dir, {u"C:\\amd64\\vcomp140.dll", parent + u"amd64\\vcomp140.dll", parent + u"unins000.exe"},
        {Expand(kFamily), Press(1000, 106, 2)});
    EXPECT_EQ(RunLine(u""), 0);
    ExpectPlantedUntouched();
    EXPECT_EQ(Text(InstallDir.view()), length == 259 ? dir : Text());
    EXPECT_EQ(Details("CreateProcessW"),
              length == 259 ? std::vector<std::string>{"\"" + U8(dir) + "unins000.exe\""} : std::vector<std::string>{});
    EXPECT_TRUE(length == 259 || Mach().CallCount("CopyFileW") == 0) << "a cut folder's program was copied";
    Fresh();
  }
  // Without the family the installer window opens; without InstallDir its
  // worker refuses to build InfPath and installs nothing.
  Set(FolderOfLength(255), {}, {Json::parse(kPrinter), Press(5000, 106, 2)}, u"kx.exe");
  EXPECT_EQ(RunLine(u""), 0);
  char16_t refused[256] = {};
  wsprintfW(refused, 256, res::LoadText(0x0409, IDS_INSTALL_FAILED), static_cast<int>(err::PathNotFound));
  EXPECT_EQ(Mach().ui.dialogs.at(0).controls.at(IDC_STATUS).text, refused);
  EXPECT_EQ(Mach().CallCount("UploadPrinterDriverPackageW") + Mach().CallCount("CopyFileW") +
                Mach().CallCount("SetupDiGetClassDevsW"), 0);
}

// The relaunch copies the program into the temporary folder as "uniXXXX.tmp"
// (11 units) and starts the copy: only a copy whose name fitted.
TEST_F(LongPaths, RelaunchStartsOnlyACopyWithAWholeName) {
  for (const std::size_t length : {248u, 249u, 256u}) {
    SCOPED_TRACE(length);
    Set(kInstallDir, {}, {{{"machine", {{"tempFolder", U8(FolderOfLength(length))}}}}}, u"unins000.exe");
    EXPECT_EQ(RunLine(u""), 0);
    EXPECT_TRUE(Mach().kernel.mutexes.empty());
    ASSERT_EQ(Mach().kernel.processes.size(), length == 248 ? 1u : 0u);
    if (length == 248) {
      const std::vector<Text> args = sim::SplitCommandLine(Mach().kernel.processes[0].commandLine);
      ASSERT_EQ(args.size(), 3u);
      EXPECT_EQ(args[0].size(), 259u);
      EXPECT_EQ(Mach().kernel.files.at(args[0]).content, korvsim::kProgramContent);
      EXPECT_EQ(args[2], kInstallDir);
    }
    Fresh();
  }
}

// The wizard's command line has room for an InfPath of 212 units.
TEST_F(LongPaths, WizardGetsTheWholeInfPathOrIsNotStarted) {
  for (const std::size_t length : {212u, 213u}) {
    SCOPED_TRACE(length);
    const Text dir = FolderOfLength(length - 10);
    Set(dir, {}, {Press(1500, 106, 3), Press(3000, 106, 2)});
    EXPECT_EQ(RunLine(u""), 0);
    ASSERT_EQ(Mach().kernel.processes.size(), length == 212 ? 1u : 0u);
    EXPECT_TRUE(length != 212 || sim::SplitCommandLine(Mach().kernel.processes[0].commandLine).back() == dir + u"korvv6.inf");
    Fresh();
  }
}

// A package path of the spooler's records that does not fit the inventory's
// 1024-unit buffer with its terminators is passed over: cut, it would name
// another package, which the removal would then delete.
TEST_F(LongPaths, PackageRecordTooLongForTheInventoryIsNeverDeleted) {
  const Text fits = FolderOfLength(993) + u"korvv6.inf_amd64_1\\korvv6.inf";
  const Text tooLong = FolderOfLength(994) + u"korvv6.inf_amd64_2\\korvv6.inf";
  ASSERT_EQ(fits.size() + 1, tooLong.size());
  ASSERT_EQ(tooLong.size(), 1023u);
  // Somebody else's package where the cut path points, listed before the long one.
  const Text cut = tooLong.substr(0, 1022);
  Json scenario;
  for (const Text& stored : {fits, cut, tooLong}) {
    scenario["machine"]["spooler"]["store"].push_back({{"sourceInf", "C:\\Korvane\\korvv6.inf"}, {"storedInf", U8(stored)}});
  }
  Set(kInstallDir, {}, {scenario, Press(1000, 105, 1), Press(60000, 105, 2)});
  EXPECT_EQ(RunLine(u"-u C:\\Korvane\\"), 0);
  EXPECT_EQ(Details("DeletePrinterDriverPackageW"), std::vector<std::string>{U8(fits)});
  EXPECT_FALSE(PackageInStore(Mach(), fits));
  EXPECT_TRUE(PackageInStore(Mach(), tooLong));
  EXPECT_TRUE(PackageInStore(Mach(), cut));
}

}  // namespace
}  // namespace korv::test::sweep

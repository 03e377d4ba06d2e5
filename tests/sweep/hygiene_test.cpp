// Over-long paths are refused, never cut. A cut path names another file: the
// program runs with administrator rights, copies into the spooler's driver
// directory and the system folder, deletes from them and recycles a folder,
// so a cut path could copy a file somebody planted, or delete one that is
// not the family's. Each test puts such a planted file exactly where the cut
// path would point, runs the whole program at the longest length that fits
// and at the first that does not, and checks that the first works with the
// whole path and the second touches nothing.
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
  char16_t letter = u'a';
  while (path.size() < units) {
    const std::size_t room = units - path.size();
    std::size_t n = std::min<std::size_t>(100, room - 1);
    if (room - (n + 1) == 1) --n;  // leave room for a component of one unit
    path += Text(n, letter) + u"\\";
    letter = letter == u'z' ? u'a' : static_cast<char16_t>(letter + 1);
  }
  return path;
}

// A scenario with the installer folder at `installDir` and the program in
// it as "k.exe", and files planted by somebody else.
Json InstallerAt(const Text& installDir, const std::vector<Text>& planted = {}) {
  Json j = {{"machine", {{"installerFolders", {U8(installDir)}}, {"modulePath", U8(installDir + u"k.exe")}}}};
  for (const Text& p : planted) j["machine"]["files"].push_back({{"path", U8(p)}, {"content", kPlanted}});
  return j;
}

class LongPaths : public SimTest {
 protected:
  sim::Machine& Mach() { return sim::Machine::Get(); }

  void Set(Json scenario, const std::vector<Json>& more = {}) {
    for (const Json& part : more) Merge(scenario, part);
    korvsim::ApplyScenario(scenario.dump(), Mach());
    Mach().clock.SetTimeLimit(600000);
  }

  // Files whose content came from a planted file, other than the planted
  // files themselves.
  std::vector<std::string> CopiesOfPlanted(const std::vector<Text>& planted) {
    std::vector<std::string> copies;
    for (const auto& [path, file] : Mach().kernel.files) {
      if (file.content == kPlanted && std::find(planted.begin(), planted.end(), path) == planted.end()) {
        copies.push_back(U8(path));
      }
    }
    return copies;
  }

  bool Intact(const Text& path) {
    const auto it = Mach().kernel.files.find(path);
    return it != Mach().kernel.files.end() && it->second.content == kPlanted;
  }

  int RunLine(const char16_t* line) {
    try {
      return RunProgram(os::CurrentInstance(), line);
    } catch (const sim::ProcessEnded&) {
      return -1;
    }
  }

  std::vector<std::string> Details(const std::string& op) {
    std::vector<std::string> out;
    for (const auto& c : Mach().calls) {
      if (c.operation == op) out.push_back(U8(c.detail));
    }
    return out;
  }

  // Ends this machine's process and starts again on a fresh one.
  void Fresh() {
    Mach().clock.EndProcess();
    ResetProgramState();
    sim::Machine::Reset();
    ResetProgramState();
  }
};

// The driver files are copied from the processor's subfolder and "dat" of
// InstallDir into the driver directory, and the spooler loads them. InstallDir
// may be long enough for InfPath (249 units) and too long for a source path.
TEST_F(LongPaths, DriverFilesAreNotCopiedFromACutSourcePath) {
  for (const std::size_t length : {239u, 245u}) {
    SCOPED_TRACE(length);
    const Text dir = FolderOfLength(length);
    std::vector<Text> planted;
    for (const char16_t* piece : {u"amd64\\korvdrv6.dll", u"amd64\\korvdrv6ui.dll", u"dat\\korvdrv6.dat"}) {
      if ((dir + piece).size() >= 260) planted.push_back((dir + piece).substr(0, 259));
    }
    Set(InstallerAt(dir, planted), {Json::parse(kPort1), Json::parse(kPrinter)});

    EXPECT_EQ(RunLine(u"/silence"), 0);

    EXPECT_EQ(CopiesOfPlanted(planted), std::vector<std::string>{});
    for (const Text& p : planted) EXPECT_TRUE(Intact(p)) << U8(p);
    const sim::SimQueue* queue = FindQueue(Mach(), kModel);
    if (length == 239) {
      // Every source path fits: the manual path installs from them.
      ASSERT_NE(queue, nullptr);
      EXPECT_EQ(Mach().kernel.files.at(Text(kDriverDir) + u"\\korvdrv6ui.dll").content,
                sim::InstallerFileContent(u"amd64", u"korvdrv6ui.dll"));
      EXPECT_TRUE(DriverThere(Mach(), kModel));
    } else {
      // Nothing staged, so no driver is registered and no queue added.
      EXPECT_EQ(planted.size(), 3u);
      EXPECT_EQ(queue, nullptr);
      EXPECT_FALSE(DriverThere(Mach(), kModel));
      EXPECT_EQ(Mach().CallCount("CopyFileW"), 1) << "only the runtime deployment copies";
      EXPECT_EQ(Mach().CallCount("MoveFileExW"), 0);
    }
    Fresh();
  }
}

// "korvmon.dll" goes into the system folder while the spooler is stopped,
// and the uninstaller deletes it from there at its end.
TEST_F(LongPaths, MonitorFileIsNeitherCopiedNorDeletedThroughACutSystemPath) {
  for (const std::size_t length : {247u, 250u}) {
    SCOPED_TRACE(length);
    Text system = FolderOfLength(length + 1);
    system.pop_back();  // GetSystemDirectoryW gives no trailing backslash
    const Text cut = (system + u"\\korvmon.dll").substr(0, 259);
    const bool fits = system.size() + 12 < 260;

    // Installation of a model with the language monitor.
    const Json systemFolder = {{"machine", {{"systemFolder", U8(system)}}}};
    Set(InstallerAt(kInstallDir, fits ? std::vector<Text>{} : std::vector<Text>{cut}),
        {systemFolder, Json::parse(kPort1)});
    InstallMonitorModel();
    const auto copied = Mach().kernel.files.find(system + u"\\korvmon.dll");
    if (fits) {
      ASSERT_NE(copied, Mach().kernel.files.end());
      EXPECT_EQ(copied->second.content, sim::InstallerFileContent(u"amd64", u"korvmon.dll"));
    } else {
      EXPECT_TRUE(Intact(cut));
      EXPECT_EQ(CopiesOfPlanted({cut}), std::vector<std::string>{});
    }
    Fresh();

    // Uninstallation of nothing: the run succeeds and deletes the file.
    Set(InstallerAt(kInstallDir, fits ? std::vector<Text>{system + u"\\korvmon.dll"} : std::vector<Text>{cut, system + u"\\korvmon.dll"}),
        {systemFolder, Press(1000, 105, 1)});
    EXPECT_EQ(RunLine(u"-u C:\\Korvane\\"), 0);
    ASSERT_EQ(Mach().ui.messageBoxes.size(), 1u);
    EXPECT_EQ(U8(Mach().ui.messageBoxes[0].text), English(IDS_UNINSTALLED));
    EXPECT_EQ(Mach().services.services.at(u"Spooler").state, os::SERVICE_RUNNING);
    if (fits) {
      EXPECT_EQ(Details("DeleteFileW"), std::vector<std::string>{U8(system + u"\\korvmon.dll")});
    } else {
      EXPECT_EQ(Mach().CallCount("DeleteFileW"), 0);
      EXPECT_TRUE(Intact(cut));
    }
    Fresh();
  }
}

// The uninstall window's folder comes from the command line and is recycled
// at the end: one that does not fit InstallDir is not taken at all.
TEST_F(LongPaths, UninstallFolderFromTheCommandLineIsTakenWholeOrNotAtAll) {
  for (const std::size_t length : {259u, 260u}) {
    SCOPED_TRACE(length);
    const Text folder = FolderOfLength(length);
    Set(InstallerAt(kInstallDir), {Press(1000, 105, 2), Press(1000, 106, 2)});
    const Text line = u"-u \"" + folder;

    EXPECT_EQ(RunLine(line.c_str()), 0);

    ASSERT_EQ(Mach().ui.dialogs.size(), 1u);
    if (length == 259) {
      EXPECT_EQ(Mach().ui.dialogs[0].templateId, 105u);
      EXPECT_EQ(InstallDir.view(), folder);
    } else {
      EXPECT_EQ(Mach().ui.dialogs[0].templateId, 106u) << "no uninstall window for a folder that does not fit";
      EXPECT_EQ(InstallDir.view(), std::u16string_view(kInstallDir));
    }
    Fresh();
  }
}

// The executable's own path gives InstallDir, the hand-off's program and
// the runtime's source. Cut at 259 units inside its last folder's name, it
// would end in the parent folder.
TEST_F(LongPaths, ModulePathThatDoesNotFitGivesNoInstallDirAndNoChild) {
  for (const std::size_t length : {259u, 267u}) {
    SCOPED_TRACE(length);
    const Text dir = FolderOfLength(length - 5);  // the program is "k.exe"
    // Where the runtime and the uninstaller would be taken from with the
    // folder missing or cut.
    const Text parent = dir.substr(0, dir.rfind(u'\\', dir.size() - 2) + 1);
    const std::vector<Text> planted = {u"C:\\amd64\\vcomp140.dll", parent + u"amd64\\vcomp140.dll",
                                       parent + u"unins000.exe"};
    Set(InstallerAt(dir, planted), {Json::parse(kFamily), Press(1000, 106, 2)});

    EXPECT_EQ(RunLine(u""), 0);

    EXPECT_EQ(CopiesOfPlanted(planted), std::vector<std::string>{});
    if (length == 259) {
      EXPECT_EQ(InstallDir.view(), dir);
      EXPECT_EQ(Details("CreateProcessW"), std::vector<std::string>{"\"" + U8(dir) + "unins000.exe\""});
    } else {
      EXPECT_TRUE(InstallDir.empty());
      EXPECT_EQ(Mach().CallCount("CreateProcessW"), 0);
      EXPECT_EQ(Mach().CallCount("CopyFileW"), 0);
    }
    Fresh();
  }

  // Without the family the installer window opens; without InstallDir its
  // worker refuses to build InfPath and installs nothing.
  const Text dir = FolderOfLength(255);
  Json scenario = InstallerAt(dir);
  scenario["machine"]["modulePath"] = U8(dir + u"kx.exe");
  Set(scenario, {Json::parse(kPrinter), Press(5000, 106, 2)});
  EXPECT_EQ(RunLine(u""), 0);
  char16_t refused[256] = {};
  wsprintfW(refused, 256, res::LoadText(0x0409, IDS_INSTALL_FAILED), static_cast<int>(err::PathNotFound));
  EXPECT_EQ(Mach().ui.dialogs.at(0).controls.at(IDC_STATUS).text, refused);
  EXPECT_EQ(Mach().CallCount("UploadPrinterDriverPackageW") + Mach().CallCount("CopyFileW") +
                Mach().CallCount("SetupDiGetClassDevsW"),
            0);
}

// The relaunch copies the program into the temporary folder and starts the
// copy: only a copy whose name fitted is started.
TEST_F(LongPaths, RelaunchStartsOnlyACopyWithAWholeName) {
  // GetTempFileNameW adds "uni", four digits and ".tmp" (11 units).
  for (const std::size_t length : {248u, 249u, 256u}) {
    SCOPED_TRACE(length);
    const Text temp = FolderOfLength(length);
    Json scenario = InstallerAt(kInstallDir);
    scenario["machine"]["modulePath"] = U8(kUninstallerCopy);
    scenario["machine"]["tempFolder"] = U8(temp);
    Set(scenario);

    EXPECT_EQ(RunLine(u""), 0);

    EXPECT_TRUE(Mach().kernel.mutexes.empty());
    if (length == 248) {
      ASSERT_EQ(Mach().kernel.processes.size(), 1u);
      const std::vector<Text> args = sim::SplitCommandLine(Mach().kernel.processes[0].commandLine);
      ASSERT_EQ(args.size(), 3u);
      EXPECT_EQ(args[0].size(), 259u);
      EXPECT_EQ(Mach().kernel.files.at(args[0]).content, korvsim::kProgramContent);
      EXPECT_EQ(args[2], kInstallDir);
    } else {
      EXPECT_TRUE(Mach().kernel.processes.empty());
      EXPECT_EQ(Mach().CallCount("CreateProcessW"), 0);
    }
    Fresh();
  }
}

// The wizard's command line has room for an InfPath of 212 units.
TEST_F(LongPaths, WizardGetsTheWholeInfPathOrIsNotStarted) {
  for (const std::size_t length : {212u, 213u}) {
    SCOPED_TRACE(length);
    const Text dir = FolderOfLength(length - 10);
    Set(InstallerAt(dir), {Press(1500, 106, 3), Press(3000, 106, 2)});

    EXPECT_EQ(RunLine(u""), 0);

    if (length == 212) {
      ASSERT_EQ(Mach().kernel.processes.size(), 1u);
      const std::vector<Text> args = sim::SplitCommandLine(Mach().kernel.processes[0].commandLine);
      ASSERT_EQ(args.size(), 6u);
      EXPECT_EQ(args[5], dir + u"korvv6.inf");
    } else {
      EXPECT_EQ(Mach().CallCount("CreateProcessW"), 0);
    }
    Fresh();
  }
}

// A package path of the spooler's records that does not fit the inventory's
// 1024-unit buffer with its terminators is passed over: cut, it would name
// another package, which the removal would then delete.
TEST_F(LongPaths, PackageRecordTooLongForTheInventoryIsNeverDeleted) {
  const Text tail1 = u"korvv6.inf_amd64_1\\korvv6.inf";
  const Text tail2 = u"korvv6.inf_amd64_2\\korvv6.inf";
  const Text fits = FolderOfLength(1022 - tail1.size()) + tail1;
  const Text tooLong = FolderOfLength(1023 - tail2.size()) + tail2;
  ASSERT_EQ(fits.size(), 1022u);
  ASSERT_EQ(tooLong.size(), 1023u);
  // Somebody else's package where the cut path points (listed before the
  // long one, whose record of the same folder name then stays).
  const Text cut = tooLong.substr(0, 1022);
  Json scenario = InstallerAt(kInstallDir);
  for (const Text& stored : {fits, cut, tooLong}) {
    scenario["machine"]["spooler"]["store"].push_back({{"sourceInf", "C:\\Korvane\\korvv6.inf"}, {"storedInf", U8(stored)}});
  }
  Set(scenario, {Press(1000, 105, 1), Press(60000, 105, 2)});

  EXPECT_EQ(RunLine(u"-u C:\\Korvane\\"), 0);

  EXPECT_EQ(Details("DeletePrinterDriverPackageW"), std::vector<std::string>{U8(fits)});
  EXPECT_FALSE(PackageInStore(Mach(), fits));
  EXPECT_TRUE(PackageInStore(Mach(), tooLong));
  EXPECT_TRUE(PackageInStore(Mach(), cut));
}

}  // namespace
}  // namespace korv::test::sweep

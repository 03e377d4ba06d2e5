// The installer window and the installation worker as a person sees them:
// the layout while searching, the log lines, the progress positions, "Done",
// the wizard; and the silent mode.
#include <string>
#include <vector>

#include "app/installer_window.h"
#include "app/res/resource_tables.h"
#include "app_machine.h"
#include "common/resource_ids.h"
#include "platform/sim/sim_shell.h"
#include "platform/sim/spooler_model.h"

namespace korv::test {
namespace {


class InstallerWindowTest : public AppTest {
 protected:
  // A print queue that exists already: the installation returns at once.
  void ExistingQueue(const Text& name, const Text& port) {
    os::PrinterInfo2 p;
    p.pPrinterName = name;
    p.pPortName = port;
    p.pDriverName = name;
    sim::CreateQueue(M(), p);
  }

  // The progress positions the window showed, in order.
  std::vector<int> ProgressShown() {
    std::vector<int> positions;
    for (const auto& e : M().ui.events) {
      if (e.dialogId == IDD_INSTALLER && e.controlId == IDC_PROGRESS) {
        const std::string what = U8(e.what);
        const auto at = what.find("progress ");
        if (at != std::string::npos) positions.push_back(std::stoi(what.substr(at + 9)));
      }
    }
    return positions;
  }

  // The trace lines (without the separate line ends).
  std::vector<std::string> Trace() {
    std::vector<std::string> lines;
    for (const auto& t : M().kernel.debugOutput) {
      if (t != u"\n") lines.push_back(U8(t));
    }
    return lines;
  }

  std::vector<std::string> TraceStartingWith(const std::string& prefix) {
    std::vector<std::string> lines;
    for (const auto& l : Trace()) {
      if (l.rfind(prefix, 0) == 0) lines.push_back(l);
    }
    return lines;
  }

  std::vector<std::uint64_t> CallTimes(const std::string& operation) {
    std::vector<std::uint64_t> at;
    for (const auto& c : M().calls) {
      if (c.operation == operation) at.push_back(c.at);
    }
    return at;
  }

  static std::string English(Dword id) { return U8(res::LoadText(0x0409, static_cast<std::uint16_t>(id))); }
};

TEST_F(InstallerWindowTest, WithoutPrinterTheWindowOffersTheWizardAndSearchesOnceASecond) {
  Press(5500, IDD_INSTALLER, IDC_INSTALLER_CANCEL);

  EXPECT_EQ(Run(u""), 0);

  EXPECT_TRUE(Control(IDD_INSTALLER, IDC_WIZARD).visible);      // "Wizard"
  EXPECT_TRUE(Control(IDD_INSTALLER, IDC_CONNECTION_PICTURE).visible);   // connection picture
  EXPECT_FALSE(Control(IDD_INSTALLER, IDC_LOG).visible);  // log
  EXPECT_FALSE(Control(IDD_INSTALLER, IDC_PROGRESS).visible);  // progress bar
  EXPECT_EQ(U8(Control(IDD_INSTALLER, IDC_STATUS).text), English(IDS_DEVICE_NOT_FOUND));
  EXPECT_EQ(U8(Control(IDD_INSTALLER, IDC_LOG).text), English(IDS_DEVICE_NOT_FOUND)) << "the log is emptied each pass";
  EXPECT_EQ(U8(Control(IDD_INSTALLER, IDC_INSTALLER_CANCEL).text), "Cancel");
  EXPECT_EQ(U8(InfPath.view()), "C:\\Korvane\\korvv6.inf");

  // One discovery pass at once, then one a second; each pause is followed
  // by a synchronous re-enumeration of the whole device tree.
  EXPECT_EQ(CallTimes("SetupDiGetClassDevsW"), (std::vector<std::uint64_t>{0, 1000, 2000, 3000, 4000, 5000}));
  EXPECT_EQ(CallTimes("CM_Reenumerate_DevNode"), (std::vector<std::uint64_t>{1000, 2000, 3000, 4000, 5000}));
  EXPECT_EQ(M().devices.reenumerations, 5);
  for (const auto& c : M().calls) {
    if (c.operation == "CM_Reenumerate_DevNode") {
      EXPECT_EQ(U8(c.detail), "synchronous");
    }
  }
  EXPECT_EQ(M().ui.dialogs.front().closedAt, 5500u);
}

TEST_F(InstallerWindowTest, UnsupportedPrinterIsTreatedLikeNoPrinter) {
  Plug(u"Acme LaserJet 9", 1);
  Press(2500, IDD_INSTALLER, IDC_INSTALLER_CANCEL);

  EXPECT_EQ(Run(u""), 0);

  EXPECT_TRUE(Control(IDD_INSTALLER, IDC_WIZARD).visible);
  EXPECT_EQ(U8(Control(IDD_INSTALLER, IDC_STATUS).text), English(IDS_DEVICE_NOT_FOUND));
  EXPECT_EQ(TraceStartingWith("Found not model"),
            (std::vector<std::string>(3, "Found not model Acme LaserJet 9")));
  EXPECT_TRUE(TraceStartingWith("Installing").empty());
}

TEST_F(InstallerWindowTest, ExistingQueueCountsAsInstalledAndTheButtonBecomesDone) {
  Plug(u"KorvaneKV-T58", 3);
  ExistingQueue(u"Korvane KV-T58", u"USB003");
  Press(60000, IDD_INSTALLER, IDC_INSTALLER_CANCEL);

  EXPECT_EQ(Run(u""), 0);

  EXPECT_EQ(U8(Control(IDD_INSTALLER, IDC_LOG).text),
            "Found the printer Korvane KV-T58, installing the driver...\r\n"
            "The driver for printer [Korvane KV-T58] is installed.");
  EXPECT_EQ(U8(Control(IDD_INSTALLER, IDC_STATUS).text), "The driver for printer [Korvane KV-T58] is installed.");
  EXPECT_EQ(U8(Control(IDD_INSTALLER, IDC_INSTALLER_CANCEL).text), "Done");
  EXPECT_FALSE(Control(IDD_INSTALLER, IDC_WIZARD).visible);
  EXPECT_FALSE(Control(IDD_INSTALLER, IDC_CONNECTION_PICTURE).visible);
  EXPECT_TRUE(Control(IDD_INSTALLER, IDC_LOG).visible);
  EXPECT_TRUE(Control(IDD_INSTALLER, IDC_PROGRESS).visible);
  EXPECT_EQ(ProgressShown(), (std::vector<int>{100, 40, 80, 100}));
  EXPECT_EQ(TraceStartingWith("Installing"),
            (std::vector<std::string>{"Installing printer model: Korvane KV-T58, name: Korvane KV-T58, port: USB003"}));
  EXPECT_EQ(M().CallCount("SetupDiGetClassDevsW"), 1) << "no further pass after one that installed";
}

TEST_F(InstallerWindowTest, TwoPrintersAreInstalledInOnePassNewestFirst) {
  Plug(u"KorvaneKV-T58", 1, u"A");
  Plug(u"KorvaneKV-T58B", 2, u"B");
  ExistingQueue(u"Korvane KV-T58", u"USB001");
  ExistingQueue(u"Korvane KV-T58B", u"USB002");
  Press(60000, IDD_INSTALLER, IDC_INSTALLER_CANCEL);

  EXPECT_EQ(Run(u""), 0);

  EXPECT_EQ(TraceStartingWith("Installing"),
            (std::vector<std::string>{
                "Installing printer model: Korvane KV-T58B, name: Korvane KV-T58B, port: USB002",
                "Installing printer model: Korvane KV-T58, name: Korvane KV-T58, port: USB001"}));
  EXPECT_EQ(U8(Control(IDD_INSTALLER, IDC_LOG).text),
            "Found the printer Korvane KV-T58B, installing the driver...\r\n"
            "The driver for printer [Korvane KV-T58B] is installed."
            "Found the printer Korvane KV-T58, installing the driver...\r\n"
            "The driver for printer [Korvane KV-T58] is installed.");
  EXPECT_EQ(U8(Control(IDD_INSTALLER, IDC_INSTALLER_CANCEL).text), "Done");
  EXPECT_EQ(ProgressShown(), (std::vector<int>{100, 40, 80, 40, 80, 100}));
}

TEST_F(InstallerWindowTest, FirstFailureEndsTheWorkerBeforeTheSecondPrinter) {
  Plug(u"KorvaneKV-T58", 1, u"A");
  Plug(u"KorvaneKV-T58B", 2, u"B");  // newest: installed first, and fails
  M().spooler.ports.push_back(u"USB001");
  M().spooler.ports.push_back(u"USB002");
  M().faults.Set("AddPrinterDriverW", sim::FaultRule{err::AccessDenied});
  Press(100000, IDD_INSTALLER, IDC_INSTALLER_CANCEL);

  EXPECT_EQ(Run(u""), 0);

  const std::string failed = "The printer driver install failed, error code:5. Please contact our technical support.";
  EXPECT_EQ(U8(Control(IDD_INSTALLER, IDC_STATUS).text), failed);
  EXPECT_EQ(U8(Control(IDD_INSTALLER, IDC_LOG).text),
            "Found the printer Korvane KV-T58B, installing the driver...\r\n" + failed);
  EXPECT_EQ(U8(Control(IDD_INSTALLER, IDC_INSTALLER_CANCEL).text), "Cancel");
  EXPECT_EQ(ProgressShown(), (std::vector<int>{100, 40, 80, 100}));
  EXPECT_EQ(TraceStartingWith("Installing").size(), 1u) << "the second printer is never attempted";
  EXPECT_EQ(M().CallCount("SetupDiGetClassDevsW"), 1);
}

TEST_F(InstallerWindowTest, DutchTextsShowThePortAndGermanNotFoundTextIsCut) {
  M().ui.uiLanguage = 0x0413;
  Plug(u"KorvaneKV-T58", 7);
  ExistingQueue(u"Korvane KV-T58", u"USB007");
  Press(60000, IDD_INSTALLER, IDC_INSTALLER_CANCEL);
  EXPECT_EQ(Run(u""), 0);
  EXPECT_EQ(U8(Control(IDD_INSTALLER, IDC_LOG).text),
            "Found the printer Korvane KV-T58 at USB007, installing the driver...\r\n"
            "The printer [Korvane KV-T58] is installed on the port [USB007].");

  Fresh();
  M().ui.uiLanguage = 0x0407;
  Press(500, IDD_INSTALLER, IDC_INSTALLER_CANCEL);
  EXPECT_EQ(Run(u""), 0);
  const Text german = res::LoadText(0x0407, IDS_DEVICE_NOT_FOUND);
  ASSERT_GT(german.size(), 259u);
  EXPECT_EQ(Control(IDD_INSTALLER, IDC_STATUS).text, german.substr(0, 259));
}

TEST_F(InstallerWindowTest, CancelDuringAnInstallationClosesAtOnce) {
  Plug(u"KorvaneKV-T58", 1);
  M().spooler.ports.push_back(u"USB001");
  Press(2000, IDD_INSTALLER, IDC_INSTALLER_CANCEL);  // Plug and Play is still being waited for

  EXPECT_EQ(Run(u""), 0);

  EXPECT_EQ(M().ui.dialogs.front().closedAt, 2000u);
  EXPECT_EQ(U8(Control(IDD_INSTALLER, IDC_INSTALLER_CANCEL).text), "Cancel");
  EXPECT_TRUE(M().spooler.queues.empty());
}

TEST_F(InstallerWindowTest, WizardTwiceStartsTwoWizardsAndBringsEachToTheFront) {
  Press(1500, IDD_INSTALLER, IDC_WIZARD);
  Press(2500, IDD_INSTALLER, IDC_WIZARD);
  Press(4000, IDD_INSTALLER, IDC_INSTALLER_CANCEL);

  EXPECT_EQ(Run(u""), 0);

  const Text wizard = u"rundll32.exe printui.dll PrintUIEntry /ii /f \"C:\\Korvane\\korvv6.inf\"";
  EXPECT_EQ(StartedCommandLines(), (std::vector<Text>{wizard, wizard}));
  ASSERT_EQ(M().ui.foregroundRequests.size(), 2u);
  EXPECT_EQ(M().ui.foregroundRequests[0], (std::pair<Dword, std::uint64_t>{4000, 1800}));
  EXPECT_EQ(M().ui.foregroundRequests[1], (std::pair<Dword, std::uint64_t>{4004, 2800}));
  EXPECT_TRUE(Control(IDD_INSTALLER, IDC_CONNECTION_PICTURE).visible) << "the window stays as it was";
}

// A rundll32.exe planted beside the installer (or in the current folder)
// never runs: the wizard is the system folder's, as the program sees it (a
// 32-bit program on 64-bit Windows gets the 32-bit one of SysWOW64), and its
// command line is the bare one it always was.
TEST_F(InstallerWindowTest, APlantedRundll32BesideTheInstallerIsNotTheWizard) {
  struct Case {
    std::uint16_t native;
    std::uint16_t program;
    const char16_t* wizard;
  };
  const Case cases[] = {
      {arch::Amd64, arch::Intel, u"C:\\Windows\\SysWOW64\\rundll32.exe"},
      {arch::Amd64, arch::Amd64, u"C:\\Windows\\system32\\rundll32.exe"},
      {arch::Intel, arch::Intel, u"C:\\Windows\\system32\\rundll32.exe"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(U8(c.wizard));
    Fresh();
    M().kernel.nativeArch = c.native;
    M().kernel.programArch = c.program;
    sim::SetUpWindowsFolders(M());
    sim::PlaceSystemProgram(M(), u"rundll32.exe", "rundll32");
    M().kernel.files[u"C:\\Korvane\\rundll32.exe"] = sim::SimFile{"planted", false};
    M().kernel.currentFolder = u"C:\\Korvane";
    Press(1500, IDD_INSTALLER, IDC_WIZARD);
    Press(2000, IDD_INSTALLER, IDC_INSTALLER_CANCEL);

    EXPECT_EQ(Run(u""), 0);

    ASSERT_EQ(M().kernel.processes.size(), 1u);
    EXPECT_EQ(U8(M().kernel.processes[0].executable), U8(c.wizard));
    EXPECT_EQ(U8(M().kernel.processes[0].commandLine),
              "rundll32.exe printui.dll PrintUIEntry /ii /f \"C:\\Korvane\\korvv6.inf\"");
  }
}

TEST_F(InstallerWindowTest, WizardWhoseWindowIsNotOpenYetIsNotBroughtToTheFront) {
  M().ui.childWindowDelayMs = 301;
  Press(1500, IDD_INSTALLER, IDC_WIZARD);
  Press(4000, IDD_INSTALLER, IDC_INSTALLER_CANCEL);
  EXPECT_EQ(Run(u""), 0);
  EXPECT_EQ(M().kernel.processes.size(), 1u);
  EXPECT_TRUE(M().ui.foregroundRequests.empty());
}

TEST_F(InstallerWindowTest, InfPathWithBlanksReachesTheWizardWhole) {
  const Text folder = u"C:\\Program Files (x86)\\Korvane Driver\\";
  sim::SetUpInstallerFolder(M(), folder);
  PlaceProgram(folder + u"korvsetup.exe");
  Press(1500, IDD_INSTALLER, IDC_WIZARD);
  Press(2000, IDD_INSTALLER, IDC_INSTALLER_CANCEL);

  EXPECT_EQ(Run(u""), 0);

  ASSERT_EQ(M().kernel.processes.size(), 1u);
  const auto tokens = sim::SplitCommandLine(M().kernel.processes[0].commandLine);
  EXPECT_EQ(tokens, (std::vector<Text>{u"rundll32.exe", u"printui.dll", u"PrintUIEntry", u"/ii", u"/f",
                                       folder + u"korvv6.inf"}));
}

TEST_F(InstallerWindowTest, InfPathThatWouldNotFitTheWizardLineStartsNoWizard) {
  // InfPath of 212 units still fits the 260-unit command line; 213 does not.
  for (std::size_t length : {212u, 213u}) {
    const std::size_t folderLength = length - 10;  // "korvv6.inf"
    const Text folder = u"C:\\" + Text(folderLength - 4, u'k') + u"\\";
    ASSERT_EQ(folder.size(), folderLength);
    Fresh();
    sim::SetUpInstallerFolder(M(), folder);
    PlaceProgram(folder + u"korvsetup.exe");
    Press(1500, IDD_INSTALLER, IDC_WIZARD);
    Press(2000, IDD_INSTALLER, IDC_INSTALLER_CANCEL);

    EXPECT_EQ(Run(u""), 0);

    EXPECT_EQ(InfPath.size(), length);
    EXPECT_EQ(M().kernel.processes.size(), length == 212 ? 1u : 0u) << length;
  }
}

TEST_F(InstallerWindowTest, InstallDirWithoutRoomForInfPathIsRefused) {
  // 249 units leave room for "korvv6.inf"; 250 do not. (A short program
  // name keeps the module path within its own 260 units.)
  for (std::size_t length : {249u, 250u}) {
    const Text folder = u"C:\\" + Text(length - 4, u'k') + u"\\";
    Fresh();
    sim::SetUpInstallerFolder(M(), folder);
    PlaceProgram(folder + u"k.exe");
    Press(1500, IDD_INSTALLER, IDC_INSTALLER_CANCEL);

    EXPECT_EQ(Run(u""), 0);

    EXPECT_EQ(InstallDir.size(), length);
    const auto& window = M().ui.dialogs.back();
    if (length == 249) {
      EXPECT_EQ(InfPath.view(), folder + u"korvv6.inf");
      EXPECT_GT(M().CallCount("SetupDiGetClassDevsW"), 0);
    } else {
      EXPECT_TRUE(InfPath.empty());
      EXPECT_EQ(M().CallCount("SetupDiGetClassDevsW"), 0) << "nothing is searched";
      EXPECT_EQ(U8(window.controls.at(IDC_STATUS).text),
                "The printer driver install failed, error code:206. Please contact our technical support.");
      EXPECT_TRUE(window.controls.at(IDC_PROGRESS).visible);
      EXPECT_EQ(window.controls.at(IDC_PROGRESS).progress, 100);
      EXPECT_FALSE(window.controls.at(IDC_CONNECTION_PICTURE).visible) << "the picture would cover the error text";
    }
  }
}

TEST_F(InstallerWindowTest, SilentModeEndsAfterTheFirstPassThatInstalled) {
  Plug(u"KorvaneKV-T58", 1);
  M().spooler.ports.push_back(u"USB001");
  M().spooler.pnp.push_back(
      sim::PnpReaction{u"usbprint\\korvanekv-t582b3d", u"Korvane KV-T58", u"USB001", u"Korvane KV-T58", 2000});

  EXPECT_EQ(Run(u"/silence"), 0);

  EXPECT_TRUE(M().ui.dialogs.empty());
  EXPECT_TRUE(M().ui.events.empty());
  ASSERT_EQ(M().spooler.queues.size(), 1u);
  EXPECT_EQ(U8(M().spooler.queues[0].info.pPortName), "USB001");
  EXPECT_EQ(M().CallCount("SetupDiGetClassDevsW"), 1);
  EXPECT_EQ(M().CallCount("PostMessageW"), 0);
  for (const auto& c : M().calls) EXPECT_FALSE(c.operation == "LoadStringW" && c.detail == u"118");
  EXPECT_EQ(M().kernel.mutexes.count(kMutexName), 0u);
}

TEST_F(InstallerWindowTest, SilentModeEndsAfterTheFirstFailure) {
  Plug(u"KorvaneKV-T58", 1);
  M().spooler.ports.push_back(u"USB001");
  M().faults.Set("AddPrinterDriverW", sim::FaultRule{err::AccessDenied});

  EXPECT_EQ(Run(u"/silence"), 0);

  EXPECT_TRUE(M().spooler.queues.empty());
  EXPECT_EQ(M().CallCount("SetupDiGetClassDevsW"), 1);
  EXPECT_TRUE(M().ui.events.empty());
}

TEST_F(InstallerWindowTest, AppendLogTextAddsAtTheEndWithoutALineBreak) {
  // Through the window: the worker's lines are appended where the caret was
  // put, after whatever the log held.
  Plug(u"KorvaneKV-T58", 3);
  ExistingQueue(u"Korvane KV-T58", u"USB003");
  Press(60000, IDD_INSTALLER, IDC_INSTALLER_CANCEL);
  EXPECT_EQ(Run(u""), 0);
  std::vector<std::string> appended;
  for (const auto& e : M().ui.events) {
    const std::string what = U8(e.what);
    if (what.rfind("106/1005 append", 0) == 0) appended.push_back(what);
  }
  ASSERT_EQ(appended.size(), 2u);
  EXPECT_EQ(M().ui.dialogs.front().controls.at(IDC_LOG).selStart,
            M().ui.dialogs.front().controls.at(IDC_LOG).text.size());
}

// How both windows look, whatever the worker does: the application icon,
// big and small, on each; the installer's progress bar without the marquee
// bit of its template (and nothing else changed), so that it shows the
// positions the worker posts; the two pictures at the screen's scale, and
// again when the window moves to a monitor of another scale.
struct ScaleCase {
  Dword dpi;
  int gear;                       // gear picture, square
  int connectionWidth, connectionHeight;
};

class InstallerWindowAtScale : public InstallerWindowTest, public ::testing::WithParamInterface<ScaleCase> {};

TEST_P(InstallerWindowAtScale, ShowsIconPositionsAndPicturesAtTheScreenScale) {
  const ScaleCase c = GetParam();
  M().ui.dpi = c.dpi;
  Press(1500, IDD_INSTALLER, IDC_INSTALLER_CANCEL);
  EXPECT_EQ(Run(u""), 0);

  const sim::SimDialog& window = M().ui.dialogs.front();
  EXPECT_EQ(window.bigIcon, 102u);
  EXPECT_EQ(window.smallIcon, 102u);
  const res::DialogControl* bar = res::FindControl(*res::LoadDialog(0x0409, IDD_INSTALLER), IDC_PROGRESS);
  EXPECT_EQ(Control(IDD_INSTALLER, IDC_PROGRESS).style, bar->style & ~os::PBS_MARQUEE);
  EXPECT_EQ(Control(IDD_INSTALLER, IDC_GEAR_PICTURE).pictureWidth, c.gear);
  EXPECT_EQ(Control(IDD_INSTALLER, IDC_GEAR_PICTURE).pictureHeight, c.gear);
  EXPECT_EQ(Control(IDD_INSTALLER, IDC_CONNECTION_PICTURE).pictureWidth, c.connectionWidth);
  EXPECT_EQ(Control(IDD_INSTALLER, IDC_CONNECTION_PICTURE).pictureHeight, c.connectionHeight);
}

INSTANTIATE_TEST_SUITE_P(Scales, InstallerWindowAtScale,
                         ::testing::Values(ScaleCase{96, 67, 490, 122}, ScaleCase{120, 84, 613, 153},
                                           ScaleCase{144, 101, 735, 183}, ScaleCase{192, 134, 980, 244}));

TEST_F(InstallerWindowTest, PicturesFollowTheWindowToAMonitorOfAnotherScale) {
  M().ui.dpi = 96;
  Press(1500, IDD_INSTALLER, IDC_INSTALLER_CANCEL);
  // The system tells the window when it is moved to a monitor at 200 %.
  M().clock.At(500, [this] {
    os::PostMessageW(reinterpret_cast<Hwnd>(M().ui.dialogs.front().handle), os::WM_DPICHANGED, (192u << 16) | 192u, 0);
  });
  EXPECT_EQ(Run(u""), 0);
  EXPECT_EQ(Control(IDD_INSTALLER, IDC_CONNECTION_PICTURE).pictureWidth, 980);
  EXPECT_EQ(Control(IDD_INSTALLER, IDC_CONNECTION_PICTURE).pictureHeight, 244);
  EXPECT_EQ(Control(IDD_INSTALLER, IDC_GEAR_PICTURE).pictureWidth, 134);
}

TEST_F(InstallerWindowTest, UninstallWindowShowsTheIconToo) {
  Press(1500, IDD_UNINSTALL, IDC_CLOSE);
  EXPECT_EQ(Run(u"-u C:\\Korvane\\"), 0);
  ASSERT_EQ(DialogsOpened(), (std::vector<Dword>{IDD_UNINSTALL}));
  EXPECT_EQ(M().ui.dialogs.front().bigIcon, 102u);
  EXPECT_EQ(M().ui.dialogs.front().smallIcon, 102u);
}

}  // namespace
}  // namespace korv::test

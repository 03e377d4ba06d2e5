// The installer window: the wizard it starts, the log it keeps, how its
// pictures follow the screen's scale; and the silent mode without a window.
#include "app/installer_window.h"

#include "app/entry_point.h"
#include "app/installer_view.h"
#include "app/res/resource_tables.h"
#include "common/globals.h"
#include "common/resource_ids.h"
#include "platform/ui.h"
#include "sim_fixture.h"

namespace korv::test {
namespace {

class InstallerWindow : public SimTest {
 protected:
  int Run(const std::string& scenario, const char16_t* line = u"") {
    Given(scenario);
    try {
      return RunProgram(os::CurrentInstance(), line);
    } catch (const sim::ProcessEnded&) {
      return -1;
    }
  }
  const sim::SimControl& Control(int id) { return M().ui.dialogs.at(0).controls.at(id); }
};

// A rundll32.exe planted beside the installer (and in the current folder)
// never runs: the wizard is the system folder's, as the program sees it.
TEST_F(InstallerWindow, WizardIsTheSystemsAndIsBroughtToTheFrontOnceItsWindowShows) {
  struct Case {
    const char* what;
    std::string machine;  // further fields of "machine"
    std::string ui;       // further fields of "ui"
    std::string started;
  };
  const std::string once = R"("presses":[{"at":1500,"dialog":106,"control":3},{"at":4000,"dialog":106,"control":2}])";
  const std::string line = "rundll32.exe printui.dll PrintUIEntry /ii /f \"C:\\Korvane\\korvv6.inf\"";
  const Case cases[] = {
      {"32-bit program on x64", "", once, "C:\\Windows\\SysWOW64\\rundll32.exe: " + line + " front 4000@1800 "},
      {"64-bit program", R"(,"programArch":"x64")", once, "C:\\Windows\\system32\\rundll32.exe: " + line + " front 4000@1800 "},
      {"x86 Windows", R"(,"nativeArch":"x86")", once, "C:\\Windows\\system32\\rundll32.exe: " + line + " front 4000@1800 "},
      {"a window that shows after the pause", "", R"("childWindowDelayMs":301,)" + once,
       "C:\\Windows\\SysWOW64\\rundll32.exe: " + line + " "},
      {"pressed twice", "",
       R"("presses":[{"at":1500,"dialog":106,"control":3},{"at":2500,"dialog":106,"control":3},{"at":4000,"dialog":106,"control":2}])",
       "C:\\Windows\\SysWOW64\\rundll32.exe: " + line + " C:\\Windows\\SysWOW64\\rundll32.exe: " + line +
           " front 4000@1800 front 4004@2800 "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TearDown();
    SetUp();
    Run(R"({"machine":{"installerFolders":["C:\\Korvane\\"],"currentFolder":"C:\\Korvane",)"
        R"("files":[{"path":"C:\\Korvane\\rundll32.exe","content":"planted"}])" +
        c.machine + R"(},"ui":{)" + c.ui + "}}");
    std::string started;
    for (const auto& p : M().kernel.processes) started += U8(p.executable) + ": " + U8(p.commandLine) + " ";
    for (const auto& [pid, at] : M().ui.foregroundRequests) {
      started += "front " + std::to_string(pid) + "@" + std::to_string(at) + " ";
    }
    EXPECT_EQ(started, c.started);
  }
}

// The log gets each report at its end, wherever the caret or a selection
// is (a person may have clicked into the log); the status line shows it.
TEST_F(InstallerWindow, ReportsGoToTheEndOfTheLog) {
  static std::vector<std::pair<int, int>> selections;
  selections = {{0, 0}, {1, 1}, {0, 2}, {2, 2}};
  for (std::size_t i = 0; i < selections.size(); ++i) {
    SCOPED_TRACE(i);
    TearDown();
    SetUp();
    static std::size_t row;
    row = i;
    os::DialogBoxParamW(os::CurrentInstance(), IDD_INSTALLER, [](Hwnd dialog, Dword message, std::uintptr_t,
                                                                 std::intptr_t) -> std::intptr_t {
      if (message != os::WM_INITDIALOG) return 0;
      const Hwnd log = os::GetDlgItem(dialog, IDC_LOG);
      os::SetWindowTextW(log, u"ab");
      os::SendMessageW(log, os::EM_SETSEL, selections[row].first, selections[row].second);
      InstallerWindowView(dialog).Report(u"X\r\n");
      AppendLogText(log, u"Y");
      os::EndDialog(dialog, 0);
      return 0;
    }, 0);
    EXPECT_EQ(U8(Control(IDC_LOG).text), "abX\r\nY");
    EXPECT_EQ(U8(Control(IDC_STATUS).text), "X\r\n");
  }
}

TEST_F(InstallerWindow, SilentModeShowsNothingAndEndsAfterItsFirstResult) {
  struct Case {
    const char* what;
    std::string machine;
    std::string outcome;
  };
  const std::string printer = R"("spooler":{"ports":["USB001"]},"usbPrinters":[{"description":"KorvaneKV-T80","portNumber":1)";
  const std::string pnp = R"(,"pnp":{"queueName":"Korvane KV-T80","driverName":"Korvane KV-T80","delayMs":2000}}])";
  const Case cases[] = {
      {"installed", printer + pnp, "exit 0, queues 1, passes 1, events 0"},
      {"failed", printer + R"(}],"faults":[{"operation":"AddPrinterDriverW","error":5}])", "exit 0, queues 0, passes 1, events 0"},
      {"no printer: searching once a second until ended", R"("files":[])", "exit -1, queues 0, passes 4, events 0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TearDown();
    SetUp();
    M().clock.SetTimeLimit(c.outcome[5] == '-' ? 3500 : 60000);
    const int exit = Run(R"({"machine":{"installerFolders":["C:\\Korvane\\"],)" + c.machine + "}}", u"/silence");
    EXPECT_EQ("exit " + std::to_string(exit) + ", queues " + std::to_string(M().spooler.queues.size()) + ", passes " +
                  std::to_string(M().CallCount("SetupDiGetClassDevsW")) + ", events " +
                  std::to_string(M().ui.events.size()),
              c.outcome);
  }
}

// The application icon on both windows; the installer's progress bar
// without the marquee bit of its template, so that it shows positions; the
// two pictures at the screen's scale, and again after a move to a monitor
// of another scale.
TEST_F(InstallerWindow, PicturesFollowTheScaleOfTheScreen) {
  struct Case {
    Dword dpi, movedTo;
    int gear, width, height;
  };
  const Case cases[] = {{96, 0, 67, 490, 122}, {120, 0, 84, 613, 153}, {144, 0, 101, 735, 183},
                        {192, 0, 134, 980, 244}, {96, 192, 134, 980, 244}, {192, 96, 67, 490, 122}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.dpi * 1000 + c.movedTo);
    TearDown();
    SetUp();
    M().ui.dpi = c.dpi;
    if (c.movedTo != 0) {
      M().clock.At(500, [this, c] {
        os::PostMessageW(reinterpret_cast<Hwnd>(M().ui.dialogs.front().handle), os::WM_DPICHANGED,
                         (c.movedTo << 16) | c.movedTo, 0);
      });
    }
    Run(R"({"machine":{"installerFolders":["C:\\Korvane\\"]},"ui":{"presses":[{"at":1500,"dialog":106,"control":2}]}})");
    EXPECT_EQ(M().ui.dialogs.at(0).bigIcon, IDI_APP);
    EXPECT_EQ(M().ui.dialogs.at(0).smallIcon, IDI_APP);
    const res::DialogControl* bar = res::FindControl(*res::LoadDialog(0x0409, IDD_INSTALLER), IDC_PROGRESS);
    EXPECT_EQ(Control(IDC_PROGRESS).style, bar->style & ~os::PBS_MARQUEE);
    EXPECT_EQ(Control(IDC_GEAR_PICTURE).pictureWidth, c.gear);
    EXPECT_EQ(Control(IDC_GEAR_PICTURE).pictureHeight, c.gear);
    EXPECT_EQ(Control(IDC_CONNECTION_PICTURE).pictureWidth, c.width);
    EXPECT_EQ(Control(IDC_CONNECTION_PICTURE).pictureHeight, c.height);
  }
  TearDown();
  SetUp();
  Run(R"({"machine":{},"ui":{"presses":[{"at":1500,"dialog":105,"control":2}]}})", u"-u C:\\Korvane\\");
  EXPECT_EQ(M().ui.dialogs.at(0).bigIcon, IDI_APP);
  EXPECT_EQ(M().ui.dialogs.at(0).smallIcon, IDI_APP);
}

}  // namespace
}  // namespace korv::test

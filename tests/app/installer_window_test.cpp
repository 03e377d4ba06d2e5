// The installer window: the wizard it starts, the log it keeps, how its
// pictures follow the screen's scale.
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
  // machine: further fields of "machine"; ui: further fields of "ui"
  struct Case { const char* what; std::string machine; std::string ui; std::string started; };
  const std::string once = R"("presses":[{"at":1500,"dialog":106,"control":3},{"at":4000,"dialog":106,"control":2}])";
  const std::string native = "C:\\Windows\\system32\\rundll32.exe: ";
  const std::string line = "rundll32.exe printui.dll PrintUIEntry /ii /f \"C:\\Korvane\\korvv6.inf\"";
  const Case cases[] = {
      {"32-bit program on x64", "", once, "C:\\Windows\\SysWOW64\\rundll32.exe: " + line + " front 4000@1800 "},
      {"64-bit program", R"(,"programArch":"x64")", once, native + line + " front 4000@1800 "},
      {"a window that shows after the pause", "", R"("childWindowDelayMs":301,)" + once,
       "C:\\Windows\\SysWOW64\\rundll32.exe: " + line + " "},
      {"a system folder that does not fit", R"(,"systemFolder":"C:\\)" + std::string(257, 's') + "\"", once, ""},
      {"pressed twice", "",
       R"("presses":[{"at":1500,"dialog":106,"control":3},{"at":2500,"dialog":106,"control":3},)"
       R"({"at":4000,"dialog":106,"control":2}])",
       "C:\\Windows\\SysWOW64\\rundll32.exe: " + line + " C:\\Windows\\SysWOW64\\rundll32.exe: " + line +
           " front 4000@1800 front 4004@2800 "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TearDown();
    SetUp();
    Run(R"({"machine":{"installerFolders":["C:\\Korvane\\"],"currentFolder":"C:\\Korvane",)"
        R"("files":[{"path":"C:\\Korvane\\rundll32.exe"},{"path":"C:\\rundll32.exe"}])" +
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
  os::DialogBoxParamW(os::CurrentInstance(), IDD_INSTALLER, [](Hwnd dialog, Dword message, std::uintptr_t,
                                                               std::intptr_t) -> std::intptr_t {
    if (message != os::WM_INITDIALOG) return 0;
    const Hwnd log = os::GetDlgItem(dialog, IDC_LOG);
    for (const auto& [start, end] : {std::pair{0, 0}, {1, 1}, {0, 2}, {2, 2}}) {
      os::SetWindowTextW(log, u"ab");
      os::SendMessageW(log, os::EM_SETSEL, start, end);
      InstallerWindowView(dialog).Report(u"X\r\n");
      AppendLogText(log, u"Y");
      EXPECT_EQ(U8(sim::Machine::Get().ui.dialogs.at(0).controls.at(IDC_LOG).text), "abX\r\nY") << start << end;
    }
    os::EndDialog(dialog, 0);
    return 0;
  }, 0);
  EXPECT_EQ(U8(Control(IDC_STATUS).text), "X\r\n");
}

// The icon on both windows; the progress bar without its template's marquee bit,
// so that it shows positions; the pictures at the screen's scale, also after a move.
TEST_F(InstallerWindow, PicturesFollowTheScaleOfTheScreen) {
  // sizes: gear, connection picture
  struct Case { Dword dpi, movedTo; const char* sizes; };
  const Case cases[] = {{96, 0, "67x67 490x122"},   {120, 0, "84x84 613x153"},    {144, 0, "101x101 735x183"},
                        {192, 0, "134x134 980x244"}, {96, 192, "134x134 980x244"}, {192, 96, "67x67 490x122"}};
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
    Run(R"({"machine":{"installerFolders":["C:\\Korvane\\"]},)"
        R"("ui":{"presses":[{"at":1500,"dialog":106,"control":2}]}})");
    EXPECT_EQ(M().ui.dialogs.at(0).bigIcon, IDI_APP);
    EXPECT_EQ(M().ui.dialogs.at(0).smallIcon, IDI_APP);
    const res::DialogControl* bar = res::FindControl(*res::LoadDialog(0x0409, IDD_INSTALLER), IDC_PROGRESS);
    EXPECT_EQ(Control(IDC_PROGRESS).style, bar->style & ~os::PBS_MARQUEE);
    const auto size = [this](int id) {
      return std::to_string(Control(id).pictureWidth) + "x" + std::to_string(Control(id).pictureHeight);
    };
    EXPECT_EQ(size(IDC_GEAR_PICTURE) + " " + size(IDC_CONNECTION_PICTURE), c.sizes);
  }
  TearDown();
  SetUp();
  Run(R"({"machine":{},"ui":{"presses":[{"at":1500,"dialog":105,"control":2}]}})", u"-u C:\\Korvane\\");
  EXPECT_EQ(M().ui.dialogs.at(0).bigIcon, IDI_APP);
  EXPECT_EQ(M().ui.dialogs.at(0).smallIcon, IDI_APP);
}

}  // namespace
}  // namespace korv::test

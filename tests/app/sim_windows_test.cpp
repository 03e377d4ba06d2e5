// The simulated windows the program's dialogs run on: templates and
// languages, the message loop with scripted presses and posted messages,
// the controls, message boxes, top-level windows and the tree view.
#include <algorithm>
#include <string>
#include <vector>

#include "app/res/resource_tables.h"
#include "common/resource_ids.h"
#include "platform/kernel.h"
#include "platform/ui.h"
#include "sim_fixture.h"

namespace korv::test {
namespace {

struct Received {
  std::uint64_t at;
  Dword message;
  std::uintptr_t wParam;
};

std::vector<Received> received;
// What the test procedure does on WM_INITDIALOG, with the dialog.
void (*onInit)(Hwnd dialog) = nullptr;

std::intptr_t RecordingProc(Hwnd dialog, Dword message, std::uintptr_t wParam, std::intptr_t) {
  received.push_back(Received{sim::Machine::Get().clock.Now(), message, wParam});
  if (message == os::WM_INITDIALOG && onInit != nullptr) onInit(dialog);
  if (message == os::WM_COMMAND && (wParam & 0xFFFF) == 2) os::EndDialog(dialog, 77);
  return 0;
}

class SimWindowsTest : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    received.clear();
    onInit = nullptr;
    M().clock.SetTimeLimit(100000);
  }

  std::vector<std::uintptr_t> Commands() {
    std::vector<std::uintptr_t> ids;
    for (const auto& r : received) {
      if (r.message == os::WM_COMMAND) ids.push_back(r.wParam);
    }
    return ids;
  }

  std::vector<std::string> Events() {
    std::vector<std::string> what;
    for (const auto& e : M().ui.events) what.push_back(U8(e.what));
    return what;
  }
};

TEST_F(SimWindowsTest, DialogStartsAsItsTemplateSaysInTheUserInterfaceLanguage) {
  M().ui.uiLanguage = 0x0407;
  M().ui.presses.push_back(sim::ScriptedPress{10, IDD_INSTALLER, IDC_INSTALLER_CANCEL});

  EXPECT_EQ(os::DialogBoxParamW(os::CurrentInstance(), IDD_INSTALLER, RecordingProc, 5), 77);

  const sim::SimDialog& d = M().ui.dialogs.at(0);
  EXPECT_EQ(d.caption, res::LoadDialog(0x0407, IDD_INSTALLER)->caption);
  EXPECT_TRUE(d.controls.at(IDC_INSTALLER_CANCEL).visible);
  EXPECT_FALSE(d.controls.at(IDC_WIZARD).visible) << "Wizard is created hidden";
  EXPECT_TRUE(d.controls.at(IDC_LOG).visible);
  EXPECT_TRUE(d.controls.at(IDC_CONNECTION_PICTURE).visible);
  EXPECT_EQ(d.controls.at(IDC_PROGRESS).className, u"msctls_progress32");
  const res::DialogTemplate* german = res::LoadDialog(0x0407, IDD_INSTALLER);
  ASSERT_EQ(german->controls[0].id, 2);
  EXPECT_EQ(d.controls.at(IDC_INSTALLER_CANCEL).text, german->controls[0].text);
  EXPECT_NE(d.controls.at(IDC_INSTALLER_CANCEL).text, u"Cancel") << "German button text";
  EXPECT_EQ(d.result, 77);
  EXPECT_EQ(d.closedAt, 10u);
  ASSERT_FALSE(received.empty());
  EXPECT_EQ(received.front().message, os::WM_INITDIALOG);
}

TEST_F(SimWindowsTest, StringsFallBackToTheNeutralSublanguageThenToEnglish) {
  char16_t buffer[260];
  struct Case {
    std::uint16_t ui;
    std::uint16_t expected;
  };
  for (const Case& c : {Case{0x0409, 0x0009}, Case{0x0809, 0x0009}, Case{0x0413, 0x0013}, Case{0x0813, 0x0013},
                        Case{0x0804, 0x0004}, Case{0x0404, 0x0404}, Case{0x0401, 0x0401},
                        Case{0x0411, 0x0009}}) {
    M().ui.uiLanguage = c.ui;
    const int n = os::LoadStringW(os::CurrentInstance(), IDS_PRINTER_INSTALLED, buffer, 260);
    EXPECT_EQ(Text(buffer, n), res::FindString(c.expected, IDS_PRINTER_INSTALLED)) << std::hex << c.ui;
  }
  // Cut to the buffer, terminated; the length returned is what was copied.
  M().ui.uiLanguage = 0x0409;
  EXPECT_EQ(os::LoadStringW(os::CurrentInstance(), IDS_DONE, buffer, 3), 2);
  EXPECT_EQ(Text(buffer), u"Do");
  EXPECT_EQ(os::LoadStringW(os::CurrentInstance(), 99, buffer, 260), 0);
  EXPECT_EQ(os::GetLastError(), 1814u);
}

TEST_F(SimWindowsTest, PressesComeAtTheirTimesAndOnlyOnVisibleEnabledControls) {
  onInit = [](Hwnd dialog) { os::EnableWindow(os::GetDlgItem(dialog, 1), false); };
  auto& presses = M().ui.presses;
  presses.push_back(sim::ScriptedPress{300, IDD_UNINSTALL, IDC_REMOVE});    // disabled: nothing
  presses.push_back(sim::ScriptedPress{0, IDD_UNINSTALL, IDC_PROGRESS});   // hidden progress bar: nothing
  presses.push_back(sim::ScriptedPress{500, IDD_INSTALLER, IDC_INSTALLER_CANCEL});    // another dialog's
  presses.push_back(sim::ScriptedPress{700, IDD_UNINSTALL, IDC_CLOSE});

  EXPECT_EQ(os::DialogBoxParamW(os::CurrentInstance(), IDD_UNINSTALL, RecordingProc, 0), 77);

  EXPECT_EQ(Commands(), (std::vector<std::uintptr_t>{2}));
  EXPECT_EQ(M().ui.dialogs.at(0).closedAt, 700u);
  EXPECT_TRUE(presses[0].delivered && presses[1].delivered && presses[3].delivered);
  EXPECT_FALSE(presses[2].delivered);
  const auto events = Events();
  EXPECT_NE(std::find(events.begin(), events.end(), "105/1 press ignored (disabled)"), events.end());
  EXPECT_NE(std::find(events.begin(), events.end(), "105/1003 press ignored (hidden)"), events.end());
}

TEST_F(SimWindowsTest, CloseBoxSendsCancelUnlessCancelIsDisabled) {
  sim::ScriptedPress close{100, IDD_UNINSTALL, 0};
  close.closeBox = true;
  M().ui.presses.push_back(close);
  close.at = 200;
  M().ui.presses.push_back(close);
  // Cancel enabled again at 150 by another thread.
  static Hwnd dialogSeen = nullptr;
  onInit = [](Hwnd dialog) {
    dialogSeen = dialog;
    os::EnableWindow(os::GetDlgItem(dialog, 2), false);
    os::CreateThread([](void*) -> Dword {
      os::Sleep(150);
      os::EnableWindow(os::GetDlgItem(dialogSeen, 2), true);
      return 0;
    }, nullptr);
  };

  EXPECT_EQ(os::DialogBoxParamW(os::CurrentInstance(), IDD_UNINSTALL, RecordingProc, 0), 77);

  std::vector<Dword> messages;
  for (const auto& r : received) messages.push_back(r.message);
  EXPECT_EQ(messages, (std::vector<Dword>{os::WM_INITDIALOG, 0x0010, 0x0010, os::WM_COMMAND}));
  EXPECT_EQ(M().ui.dialogs.at(0).closedAt, 200u);
}

TEST_F(SimWindowsTest, PostedMessagesArriveInOrderWhenTheWindowThreadWaits) {
  onInit = [](Hwnd dialog) {
    const Hwnd marquee = os::GetDlgItem(dialog, IDC_PROGRESS);
    os::SetWindowLongW(marquee, os::GWL_STYLE, os::GetWindowLongW(marquee, os::GWL_STYLE) & ~os::PBS_MARQUEE);
    os::CreateThread([](void* d) -> Dword {
      const Hwnd window = static_cast<Hwnd>(d);
      const Hwnd bar = os::GetDlgItem(window, IDC_PROGRESS);
      os::PostMessageW(bar, os::PBM_SETPOS, 40, 0);
      os::PostMessageW(window, os::WM_USER + 1, 7, 0);
      os::PostMessageW(bar, os::PBM_SETPOS, 80, 0);
      os::Sleep(1000);
      os::PostMessageW(window, os::WM_COMMAND, 2, 0);
      return 0;
    }, dialog);
  };

  EXPECT_EQ(os::DialogBoxParamW(os::CurrentInstance(), IDD_INSTALLER, RecordingProc, 0), 77);

  // The bar showed 40 before the dialog got its message, and 80 after it.
  std::vector<std::string> seen;
  for (const auto& e : M().ui.events) {
    if (e.controlId == IDC_PROGRESS) seen.push_back(U8(e.what));
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"106/1003 progress 40", "106/1003 progress 80"}));
  ASSERT_EQ(received.size(), 3u);
  EXPECT_EQ(received[1].message, os::WM_USER + 1);
  EXPECT_EQ(received[2].at, 1000u);
  EXPECT_EQ(M().ui.dialogs.at(0).controls.at(IDC_PROGRESS).progress, 80);
}

TEST_F(SimWindowsTest, DialogWaitingForNothingEndsTheProcess) {
  M().clock.SetTimeLimit(sim::Scheduler::kForever);
  EXPECT_THROW(os::DialogBoxParamW(os::CurrentInstance(), IDD_UNINSTALL, RecordingProc, 0), sim::ProcessEnded);
  EXPECT_FALSE(M().clock.TimeLimitReached());
}

TEST_F(SimWindowsTest, ControlsChangeAndEachVisibleChangeIsAnEvent) {
  onInit = [](Hwnd dialog) {
    const Hwnd log = os::GetDlgItem(dialog, IDC_LOG);
    os::SetWindowTextW(log, u"ab");
    os::SendMessageW(log, os::EM_SETSEL, 1, 1);
    os::SendMessageW(log, os::EM_REPLACESEL, 0, reinterpret_cast<std::intptr_t>(u"X"));
    os::SendMessageW(log, os::EM_SETSEL, 3, 3);
    os::SendMessageW(log, os::EM_REPLACESEL, 0, reinterpret_cast<std::intptr_t>(u"\r\n"));
    os::ShowWindow(os::GetDlgItem(dialog, 3), os::SW_SHOW);
    os::ShowWindow(os::GetDlgItem(dialog, 3), os::SW_SHOW);  // no change, no event
    os::SetWindowTextW(os::GetDlgItem(dialog, 2), u"Done");
    // The template's bar is a marquee: it takes no position until the
    // style bit is cleared.
    const Hwnd bar = os::GetDlgItem(dialog, IDC_PROGRESS);
    EXPECT_EQ(os::SendMessageW(bar, os::PBM_SETPOS, 60, 0), 0);
    const Dword style = os::GetWindowLongW(bar, os::GWL_STYLE);
    EXPECT_NE(style & os::PBS_MARQUEE, 0u);
    EXPECT_EQ(os::SetWindowLongW(bar, os::GWL_STYLE, style & ~os::PBS_MARQUEE), style);
    EXPECT_EQ(os::SendMessageW(bar, os::PBM_SETPOS, 250, 0), 0);
    EXPECT_EQ(os::SendMessageW(bar, os::PBM_SETPOS, 30, 0), 100);
    EXPECT_EQ(os::GetWindowTextLengthW(log), 5);
    EXPECT_EQ(os::GetDlgItem(dialog, 4242), nullptr);
    os::EndDialog(dialog, 1);
  };
  EXPECT_EQ(os::DialogBoxParamW(os::CurrentInstance(), IDD_INSTALLER, RecordingProc, 0), 1);
  EXPECT_EQ(M().ui.dialogs.at(0).controls.at(IDC_LOG).text, u"aXb\r\n");
  EXPECT_EQ(Events(), (std::vector<std::string>{"106 opens \"Tapwise installer\"", "106/1005 text \"ab\"",
                                                "106/1005 replace \"X\"", "106/1005 append \"\\r\\n\"",
                                                "106/3 shown", "106/2 text \"Done\"", "106/1003 progress 100",
                                                "106/1003 progress 30",
                                                "106 closes (1)"}));
}

TEST_F(SimWindowsTest, TreeItemsNestUnderTheirParents) {
  onInit = [](Hwnd dialog) {
    const Hwnd tree = os::GetDlgItem(dialog, IDC_TREE);
    const os::TreeItem root = os::TreeInsertItem(tree, nullptr, u"folder");
    const os::TreeItem child = os::TreeInsertItem(tree, root, u"package");
    os::TreeInsertItem(tree, child, u"driver");
    EXPECT_TRUE(os::TreeExpandItem(tree, child));
    EXPECT_EQ(os::TreeInsertItem(tree, reinterpret_cast<os::TreeItem>(std::uintptr_t{1}), u"x"), nullptr);
    os::EndDialog(dialog, 0);
  };
  os::DialogBoxParamW(os::CurrentInstance(), IDD_UNINSTALL, RecordingProc, 0);
  const auto& tree = M().ui.dialogs.at(0).controls.at(IDC_TREE).tree;
  ASSERT_EQ(tree.size(), 1u);
  ASSERT_EQ(tree[0].children.size(), 1u);
  EXPECT_TRUE(tree[0].children[0].expanded);
  EXPECT_EQ(tree[0].children[0].children.at(0).text, u"driver");
  const auto events = Events();
  EXPECT_NE(std::find(events.begin(), events.end(), "105/1001 tree item     \"driver\""), events.end());

  onInit = [](Hwnd dialog) {
    EXPECT_TRUE(os::TreeDeleteAllItems(os::GetDlgItem(dialog, IDC_TREE)));
    os::EndDialog(dialog, 0);
  };
  os::DialogBoxParamW(os::CurrentInstance(), IDD_UNINSTALL, RecordingProc, 0);
  EXPECT_TRUE(M().ui.dialogs.at(1).controls.at(IDC_TREE).tree.empty());
}

TEST_F(SimWindowsTest, MessageBoxesAreAnsweredByScript) {
  M().ui.messageBoxAnswers = {2};
  EXPECT_EQ(os::MessageBoxW(nullptr, u"first", u"Message", os::MB_OK), 2);
  EXPECT_EQ(os::MessageBoxW(nullptr, u"second", nullptr, os::MB_OK), os::IDOK);
  ASSERT_EQ(M().ui.messageBoxes.size(), 2u);
  EXPECT_EQ(M().ui.messageBoxes[0].caption, u"Message");
  EXPECT_EQ(M().ui.messageBoxes[1].caption, u"");
  EXPECT_EQ(M().ui.messageBoxes[1].text, u"second");
}

TEST_F(SimWindowsTest, StartedProcessesShowTheirWindowAfterADelay) {
  M().kernel.files[u"C:\\w.exe"] = sim::SimFile{};
  const os::ProcessStart p = os::CreateProcessW(nullptr, u"C:\\w.exe");
  ASSERT_TRUE(p.started);
  auto count = [] {
    std::vector<Dword> owners;
    os::EnumWindows(
        [](Hwnd w, void* ctx) {
          static_cast<std::vector<Dword>*>(ctx)->push_back(os::GetWindowThreadProcessId(w));
          return true;
        },
        &owners);
    return owners;
  };
  EXPECT_TRUE(count().empty());
  M().clock.Sleep(M().ui.childWindowDelayMs);
  EXPECT_EQ(count(), (std::vector<Dword>{p.processId}));
  // The first window of the process is brought to the front.
  os::EnumWindows(
      [](Hwnd w, void*) {
        os::SetForegroundWindow(w);
        return false;
      },
      nullptr);
  ASSERT_EQ(M().ui.foregroundRequests.size(), 1u);
  EXPECT_EQ(M().ui.foregroundRequests[0].first, p.processId);
}

}  // namespace
}  // namespace korv::test

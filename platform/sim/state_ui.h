// Windows of the simulated machine: the dialogs the program opens, their
// controls, message boxes, scripted button presses and the shell.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <vector>

#include "platform/types.h"

namespace korv::sim {

struct SimTreeItem {
  std::uintptr_t handle = 0;  // the HTREEITEM the program holds
  Text text;
  std::vector<SimTreeItem> children;
  bool expanded = false;
};

struct SimControl {
  int id = 0;
  std::uintptr_t handle = 0;
  Text className;
  Text text;
  bool visible = true;
  bool enabled = true;
  int progress = 0;               // progress bars: position in 0..100
  std::uint32_t style = 0;        // window style bits (GWL_STYLE), from the template
  std::uint32_t exStyle = 0;      // extended style bits (GWL_EXSTYLE)
  // Picture controls: the size a resampled bitmap was shown at
  // (SetScaledPicture); 0 while the template's bitmap shows at its own size.
  int pictureWidth = 0;
  int pictureHeight = 0;
  std::size_t selStart = 0;       // edit controls: selection (EM_SETSEL)
  std::size_t selEnd = 0;
  std::vector<SimTreeItem> tree;  // tree views only
};

// A message waiting in the dialog thread's queue. `target` is the window it
// was posted to: the dialog itself or one of its controls.
struct SimMessage {
  Dword message = 0;
  std::uintptr_t wParam = 0;
  std::intptr_t lParam = 0;
  std::uintptr_t target = 0;
};

struct SimDialog {
  Dword templateId = 0;
  std::uintptr_t handle = 0;
  // The dialog procedure the program gave DialogBoxParamW.
  std::intptr_t (*procedure)(Hwnd, Dword, std::uintptr_t, std::intptr_t) = nullptr;
  Text caption;
  std::uint32_t exStyle = 0;  // from the template; WS_EX_LAYOUTRTL mirrors it
  Dword bigIcon = 0;          // icon resources set with WM_SETICON; 0 none
  Dword smallIcon = 0;
  std::map<int, SimControl> controls;
  std::deque<SimMessage> queue;
  bool ended = false;
  std::intptr_t result = 0;
  std::uint64_t openedAt = 0;
  std::uint64_t closedAt = 0;
};

// A button press a scenario makes at a virtual time. A press due before the
// dialog is open is made as soon as it opens; a press on a hidden or disabled
// control does nothing, as for a person. `closeBox` is the caption's close
// button (or Esc): the dialog gets WM_CLOSE and then, unless its control 2 is
// disabled, the IDCANCEL command.
struct ScriptedPress {
  std::uint64_t at = 0;
  Dword dialogId = 0;  // 105 or 106
  int controlId = 0;
  bool closeBox = false;
  bool delivered = false;  // set once the press was made (or found ignored)
};

struct ShownMessageBox {
  Text text;
  Text caption;  // empty: the system's default caption
  Dword type = 0;  // MB_* flags
  std::uint64_t at = 0;
  int answer = 0;
};

// One thing a person would have seen change, in order. `dialogId` and
// `controlId` say where (0 when not about a dialog or control); `what` is
// a readable one-line description, the form korvsim prints.
struct WindowEvent {
  std::uint64_t at = 0;
  Dword dialogId = 0;
  int controlId = 0;
  Text what;
};

struct UiState {
  std::uint16_t uiLanguage = 0x0409;  // LANGID of the user interface
  Dword dpi = 96;                      // screen scale of the monitor (96 = 100 %)
  std::deque<SimDialog> dialogs;       // every dialog opened, in order
  std::vector<ScriptedPress> presses;
  std::deque<int> messageBoxAnswers;   // answers, front first; IDOK when empty
  std::vector<ShownMessageBox> messageBoxes;
  std::vector<WindowEvent> events;
  // Top-level windows of started processes appear this long after the start.
  std::uint64_t childWindowDelayMs = 200;
  std::vector<std::pair<Dword, std::uint64_t>> foregroundRequests;  // pid, time
  // The program's own process id, which its dialogs belong to.
  Dword ownProcessId = 3996;
  std::uintptr_t nextHandle = 0x10010;  // window and tree-item handles
};

struct ShellState {
  std::vector<Text> recycled;        // folders moved to the Recycle Bin
  std::vector<Text> notifications;   // SHChangeNotify items
};

}  // namespace korv::sim

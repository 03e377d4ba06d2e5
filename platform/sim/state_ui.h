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
  Text text;
  std::vector<SimTreeItem> children;
  bool expanded = false;
};

struct SimControl {
  int id = 0;
  Text className;
  Text text;
  bool visible = true;
  bool enabled = true;
  int progress = 0;
  std::vector<SimTreeItem> tree;  // tree views only
};

struct SimMessage {
  Dword message;
  std::uintptr_t wParam;
  std::intptr_t lParam;
};

struct SimDialog {
  Dword templateId = 0;
  std::uintptr_t handle = 0;
  std::map<int, SimControl> controls;
  std::deque<SimMessage> queue;
  bool ended = false;
  std::intptr_t result = 0;
};

// A button press a scenario makes at a virtual time.
struct ScriptedPress {
  std::uint64_t at = 0;
  Dword dialogId = 0;  // 105 or 106
  int controlId = 0;
};

struct ShownMessageBox {
  Text text;
  Text caption;  // empty: the system's default caption
  std::uint64_t at = 0;
};

// One thing a person would have seen change, in order.
struct WindowEvent {
  std::uint64_t at = 0;
  Text what;
};

struct UiState {
  std::uint16_t uiLanguage = 0x0409;  // LANGID of the user interface
  std::vector<SimDialog> dialogs;      // every dialog opened, in order
  std::vector<ScriptedPress> presses;
  std::deque<int> messageBoxAnswers;   // answers, front first; IDOK when empty
  std::vector<ShownMessageBox> messageBoxes;
  std::vector<WindowEvent> events;
  // Top-level windows of started processes appear this long after the start.
  std::uint64_t childWindowDelayMs = 200;
  std::vector<std::pair<Dword, std::uint64_t>> foregroundRequests;  // pid, time
};

struct ShellState {
  std::vector<Text> recycled;        // folders moved to the Recycle Bin
  std::vector<Text> notifications;   // SHChangeNotify items
};

}  // namespace korv::sim

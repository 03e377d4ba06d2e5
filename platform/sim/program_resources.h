// The resources of the program that runs on the simulated machine: its
// string table and dialog templates, as LoadStringW and DialogBoxParamW find
// them. The machine knows no program of its own; whoever starts one on it
// (korvsim, the tests, the benchmarks) hands it that program's resources.
#pragma once

#include <cstddef>
#include <cstdint>

namespace korv::sim {

// One control of a dialog template, as CreateWindowExW gets it.
// `cls` is the window class ("Button", "Edit", "Static", "msctls_progress32",
// "SysTreeView32"). `text` is the initial window text; a picture control has
// "#<n>" instead, naming its bitmap resource n.
struct DialogControl {
  int id;
  const char16_t* cls;
  const char16_t* text;
  int x, y, cx, cy;  // dialog units
  std::uint32_t style;
  std::uint32_t exStyle;
};

// A dialog of one language, with its controls in creation order.
struct DialogTemplate {
  std::uint16_t langId;
  std::uint16_t dialogId;
  const char16_t* caption;
  int x, y, cx, cy;  // dialog units
  std::uint32_t style;
  std::uint32_t exStyle;  // WS_EX_LAYOUTRTL in right-to-left languages
  const DialogControl* controls;
  std::size_t controlCount;
};

// What the resource loader finds for a user-interface language (a LANGID):
// a text of the string table, a dialog template; null when there is none.
struct ProgramResources {
  const char16_t* (*loadText)(std::uint16_t uiLanguage, std::uint16_t id) = nullptr;
  const DialogTemplate* (*loadDialog)(std::uint16_t uiLanguage, std::uint16_t dialogId) = nullptr;
};

// Hands the machine the resources of the program it runs. They stay across
// Machine::Reset; until they are handed, no text or dialog is found.
void UseProgramResources(const ProgramResources& resources);

}  // namespace korv::sim

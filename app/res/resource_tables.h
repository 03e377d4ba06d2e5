// The string tables and dialog templates of korvsetup as data.
//
// The build generates these tables (korv_strings.cpp) from app/res/lang/*.txt
// and app/res/dialogs.txt, the same files that become the resource script of
// the Windows builds, so the simulated machine, once handed them
// (ProgramResources), shows exactly the texts and dialogs that Windows loads
// from korvsetup.exe.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/sim/program_resources.h"

namespace korv::res {

// One text of the string table of one language.
struct StringEntry {
  std::uint16_t langId;
  std::uint16_t id;
  const char16_t* text;
};

extern const StringEntry kStrings[];
extern const std::size_t kStringCount;

// Dialog templates in the shape the simulated machine shows them.
using DialogControl = sim::DialogControl;
using DialogTemplate = sim::DialogTemplate;

extern const DialogTemplate kDialogs[];
extern const std::size_t kDialogCount;

// The languages that carry resources (LANGIDs), in table order.
extern const std::uint16_t kLanguages[];
extern const std::size_t kLanguageCount;

// Font of every dialog: face, size in points and weight.
extern const char16_t kDialogFontFace[];
extern const int kDialogFontPointSize;
extern const int kDialogFontWeight;

// Resources of a user interface language that has none of its own.
inline constexpr std::uint16_t kFallbackLanguage = 0x0009;  // English (neutral)

inline constexpr std::uint32_t kWsVisible = 0x10000000u;

// The language whose resources a process with the given user interface
// language (a LANGID such as 0x0407) gets, the way the resource loader picks
// them: the language itself when it has resources, else the same primary
// language with the neutral sublanguage (0x0407 -> 0x0007, 0x0804 -> 0x0004),
// else English (0x0009).
std::uint16_t ResolveLanguage(std::uint16_t uiLanguage);

// The text or dialog of exactly that language; null when it has none.
const char16_t* FindString(std::uint16_t langId, std::uint16_t id);
const DialogTemplate* FindDialog(std::uint16_t langId, std::uint16_t dialogId);

// What LoadStringW / DialogBoxParamW find for a user interface language:
// the resolved language's resource, else the English one; null when even
// English has none (an unknown id).
const char16_t* LoadText(std::uint16_t uiLanguage, std::uint16_t id);
const DialogTemplate* LoadDialog(std::uint16_t uiLanguage, std::uint16_t dialogId);

// The control of a dialog with that id; null when there is none.
const DialogControl* FindControl(const DialogTemplate& dialog, int controlId);

// Whether the control is created visible (WS_VISIBLE).
inline bool IsInitiallyVisible(const DialogControl& control) {
  return (control.style & kWsVisible) != 0;
}

// The bitmap resource that a picture control shows ("#<n>"); 0 for others.
int ImageIdOf(const DialogControl& control);

// The tables as the simulated machine takes them: korvsim, the tests and the
// benchmarks hand these to it (sim::UseProgramResources).
inline sim::ProgramResources AsProgramResources() {
  sim::ProgramResources resources;
  resources.loadText = &LoadText;
  resources.loadDialog = &LoadDialog;
  return resources;
}

}  // namespace korv::res

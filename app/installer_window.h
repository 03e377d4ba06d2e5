// The installer window (dialog 106) and the small window operations the
// rest of the program uses.
#pragma once

#include <cstdint>

#include "platform/types.h"

namespace korv {

// Dialog procedure of the installer window. WM_INITDIALOG starts the
// installation worker on its own thread with the window as its view;
// "Cancel" (also "Done", Esc and the close box) ends the dialog with 2 at
// once, worker or not; "Wizard" starts the system's Add Printer Driver
// wizard on InfPath and brings its window to the front. Returns 0 for every
// message.
//
// The wizard's command line is built in a buffer of 260 code units, which
// leaves room for an InfPath of at most 212. A longer InfPath, or none at
// all (the worker refused to build one), starts no wizard: a cut path would
// hand the wizard an INF file that does not exist, or another one.
std::intptr_t InstallerDialogProc(Hwnd window, Dword message, std::uintptr_t wParam,
                                  std::intptr_t lParam);

// Appends text at the end of an edit control's contents (the caret is put
// at the end, then the text replaces the empty selection). No line break is
// added.
void AppendLogText(Hwnd edit, const char16_t* text);

// Brings the first top-level window of the process to the foreground, if it
// has one yet. Returns 0.
int BringProcessWindowToFront(Dword processId);

// Opens the uninstall window (dialog 105) modally without an owner and
// returns 0 once it closed, whatever it returned.
int ShowUninstallWindow();

}  // namespace korv

// The program's two command-line options.
#pragma once

#include "common/fixed_text.h"

namespace korv {

struct StartOptions {
  // "-u <folder>": open the uninstall window for the installation in folder.
  bool uninstall = false;
  FixedText<260> folder;
  // "/silence": install without any window.
  bool silent = false;
};

// Splits the command line (which holds no program name) with the system's
// CommandLineToArgvW and walks the tokens from the first:
//  - "-u" in any letter case with a token after it takes that token as the
//    folder and goes on after it; a later "-u" replaces an earlier one;
//  - "/silence" in any letter case sets the silent flag;
//  - anything else, and a "-u" that is the last token, is ignored.
// A folder of 260 code units or more does not fit InstallDir. It is refused:
// that "-u" and its folder count as absent (an earlier "-u" stays in force).
// Cutting it instead would make the uninstaller empty, and finally move to
// the Recycle Bin, whatever folder the cut text happens to name.
// When the line cannot be split, no option is recognised.
StartOptions ReadCommandLine(const char16_t* commandLine);

}  // namespace korv

// The program's start, shared by the Windows entry point (wWinMain) and the
// simulator, so that both run exactly the same code.
#pragma once

#include "platform/ui.h"

namespace korv {

// Runs the program: single-instance check, runtime deployment, command line,
// spooler start, then one run mode. `commandLine` holds no program name.
// Returns the process exit code (0 in every mode).
int RunProgram(os::Instance instance, const char16_t* commandLine);

}  // namespace korv

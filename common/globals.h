// The program's few globals, shared by the subsystems.
#pragma once

#include "common/fixed_text.h"
#include "platform/ui.h"

namespace korv {

// Folder of the installer and its driver files. Written once at start (the
// -u argument as given, else the executable's drive and folder with a
// trailing backslash); read everywhere else.
extern FixedText<260> InstallDir;
// InstallDir followed by "korvv6.inf"; written by the installation worker.
extern FixedText<260> InfPath;
// The module instance handle; every dialog and string load uses it.
extern os::Instance AppInstance;

// Subsystems that keep globals of their own (the device list, the
// inventory) register how to put them back to their start values, so that a
// test can run the program again in the same process.
using GlobalReset = void (*)();
void RegisterGlobalReset(GlobalReset reset);
void ResetGlobals();

}  // namespace korv

// Ready-made pieces of a simulated machine, for tests and korvsim scenarios
// that need a realistic starting point rather than an empty machine.
#pragma once

#include "platform/sim/machine.h"

namespace korv::sim {

// The folders every Windows machine has and the installer writes to: the
// system folder, on a 64-bit processor also SysWOW64 (the system folder of
// 32-bit programs), and the spooler's printer driver directory (as the
// machine's kernel and spooler state name them).
void SetUpWindowsFolders(Machine& machine);

// A program of Windows in the system folder, and on a 64-bit processor its
// 32-bit build in SysWOW64 too, as Windows ships rundll32.exe.
void PlaceSystemProgram(Machine& machine, const Text& fileName, const std::string& content);

// The shipped installer folder at installDir (with or without a trailing
// backslash): "korvv6.inf", "unins000.exe", the driver files
// "korvdrv6.dll", "korvdrv6ui.dll", "korvmon.dll" and "vcomp140.dll" in each
// of "i386", "arm", "amd64" and "arm64", and "dat\korvdrv6.dat". Each file's
// content names the file and its folder ("amd64\korvdrv6.dll"), so a test
// can tell which build was copied where. Also sets up the Windows folders.
void SetUpInstallerFolder(Machine& machine, const Text& installDir);

// Content SetUpInstallerFolder gives a file of a subfolder ("amd64",
// "korvdrv6.dll"), or of the top folder when subfolder is empty.
std::string InstallerFileContent(std::u16string_view subfolder, std::u16string_view fileName);

}  // namespace korv::sim

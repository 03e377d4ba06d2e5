// What WOW64 does to a 32-bit program on 64-bit Windows, on the simulated
// machine: the file-system redirector and the registry's 32-bit view.
//
// The machine keeps every file under the path where it really is and every
// key where it really is; the boundary turns the path the program names into
// that real one before it looks.
#pragma once

#include "platform/sim/machine.h"
#include "platform/types.h"

namespace korv::sim {

// A 32-bit program on a 64-bit processor (x64 or ARM64).
bool RunsUnderWow64(const Machine& machine);

// Whether the calling thread turned the file-system redirection off
// (Wow64DisableWow64FsRedirection); per thread, as on Windows.
bool& ThreadFsRedirectionDisabled();

// The file the program reaches with `path`. Under WOW64 and unless the
// thread turned redirection off, <system folder>\... is <Windows>\SysWOW64\...
// except the subfolders Windows leaves alone (catroot, catroot2,
// drivers\etc, driverstore, logfiles, spool), and <Windows>\Sysnative\... is
// the real system folder. Any other path, and every path of a 64-bit program
// or on a 32-bit processor, is itself.
Text RealFilePath(const Machine& machine, const Text& path);

// The folder a 32-bit program's system folder is redirected to:
// <Windows>\SysWOW64.
Text Wow64SystemFolder(const Machine& machine);

// The registry key the program reaches with `path` (below HKLM). Under WOW64
// and without KEY_WOW64_64KEY in `access`, SOFTWARE\... is
// SOFTWARE\WOW6432Node\... (the machine shares no key between the views).
Text RealKeyPath(const Machine& machine, const Text& path, Dword access);

}  // namespace korv::sim

// Kernel side of the simulated machine: files, folders, processes, mutexes,
// the debugger output channel and memory.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/sim/nocase.h"
#include "platform/types.h"

namespace korv::sim {

struct SimFile {
  std::string content;
  bool locked = false;  // open by someone: cannot be replaced or deleted
};

struct StartedProcess {
  Dword processId = 0;
  Text executable;  // the file that runs, with its full path
  Text commandLine;
  std::uint64_t startedAt = 0;  // virtual ms
};

struct PendingRename {
  Text source;
  Text target;
};

struct KernelState {
  Text modulePath = u"C:\\Korvane\\korvsetup.exe";
  Text systemFolder = u"C:\\Windows\\system32";
  Text tempFolder = u"C:\\Users\\Shop\\AppData\\Local\\Temp\\";
  std::uint16_t nativeArch = arch::Amd64;
  // The program's own build: arch::Intel (the shipped 32-bit program) or
  // arch::Amd64. A 32-bit program on a 64-bit processor runs under WOW64:
  // its file operations on the system folder are redirected to SysWOW64 and
  // it sees the WOW6432Node view of HKLM\SOFTWARE (platform/sim/wow64.h).
  std::uint16_t programArch = arch::Intel;
  // ANSI code page used by the code-page conversions: 1252 (Western) or
  // 932 (Japanese, for double-byte tests). Characters outside it become '?'.
  unsigned ansiCodePage = 1252;

  // The program's current folder, where CreateProcessW looks for a bare
  // program name after the program's own folder: an elevated program
  // started from the shell gets the system folder.
  Text currentFolder = u"C:\\Windows\\system32";
  // The folders of the PATH variable, searched last.
  std::vector<Text> searchPath;

  std::map<Text, SimFile, NoCaseLess> files;
  std::set<Text, NoCaseLess> folders;
  std::vector<PendingRename> pendingRenames;  // MOVEFILE_DELAY_UNTIL_REBOOT

  std::map<Text, int, NoCaseLess> mutexes;  // name -> open handles
  std::vector<StartedProcess> processes;
  Dword nextProcessId = 4000;
  unsigned nextTempNumber = 0x1A2B;

  // Each OutputDebugStringW call, in order, as passed.
  std::vector<Text> debugOutput;
  // The virtual time of each entry of debugOutput (korvsim's timeline).
  std::vector<std::uint64_t> debugOutputAt;

  std::uint64_t allocations = 0;      // LocalAlloc calls that succeeded
  std::uint64_t liveAllocations = 0;  // not yet freed
};

}  // namespace korv::sim

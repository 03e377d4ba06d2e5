// Kernel services: last error, debugger output, sleeping, mutexes, files and
// folders, system information, processes, threads, memory and code pages.
//
// Functions are named after the Windows call they stand for and behave like
// it: buffers are sized in UTF-16 code units, failures return 0/false and
// leave the reason in LastError().
#pragma once

#include <cstddef>

#include "platform/handle.h"
#include "platform/types.h"

namespace korv::os {

// ---- last error -----------------------------------------------------------
Dword GetLastError();
void SetLastError(Dword error);

// ---- debugger output channel ----------------------------------------------
void OutputDebugStringW(const char16_t* text);

// ---- time -----------------------------------------------------------------
void Sleep(Dword milliseconds);

// ---- memory ---------------------------------------------------------------
// LocalAlloc with LMEM_FIXED, or LPTR/LMEM_ZEROINIT when zeroInit is true.
// Returns null (last error set) on failure. Release with LocalFree.
void* LocalAlloc(bool zeroInit, std::size_t bytes);
void LocalFree(void* block);

// ---- mutex ----------------------------------------------------------------
// CreateMutexW(no security attributes, not owned, name). The last error is
// ERROR_ALREADY_EXISTS (183) when another holder has the name; the handle is
// then still valid. A null handle means the mutex could not be created.
Handle CreateMutexW(const char16_t* name);
bool ReleaseMutex(const Handle& mutex);

// ---- modules and folders --------------------------------------------------
// GetModuleFileNameW(no module): the running executable's path. Returns the
// number of code units copied without the terminator, 0 on failure; a path
// that does not fit is cut to capacity-1 and terminated.
Dword GetModuleFileNameW(char16_t* buffer, Dword capacity);
// GetSystemDirectoryW: length on success; 0 on failure; the required size
// (with terminator) when the buffer is too small, leaving it untouched.
Dword GetSystemDirectoryW(char16_t* buffer, Dword capacity);
// GetTempPathW: same contract; the path ends with a backslash.
Dword GetTempPathW(Dword capacity, char16_t* buffer);
// GetTempFileNameW(folder, prefix, 0, out): creates an empty, uniquely named
// file and writes its path (at most 260 code units) to out. Returns the
// unique number used, 0 on failure.
unsigned GetTempFileNameW(const char16_t* folder, const char16_t* prefix, unsigned unique,
                          char16_t* out);

// ---- system information ---------------------------------------------------
// wProcessorArchitecture of GetNativeSystemInfo (see korv::arch).
std::uint16_t GetNativeProcessorArchitecture();

// ---- files ----------------------------------------------------------------
bool CopyFileW(const char16_t* source, const char16_t* target, bool failIfExists);
bool DeleteFileW(const char16_t* path);
inline constexpr Dword MOVEFILE_DELAY_UNTIL_REBOOT = 4;
bool MoveFileExW(const char16_t* source, const char16_t* target, Dword flags);
// _waccess(path, 0) == 0: the file or folder exists.
bool FileExists(const char16_t* path);
// CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, no security,
// OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, no template): holds an existing file
// open so that, until the handle closes, others may read it (and run it) but
// nobody can write, replace, rename or delete it. Null on failure.
Handle CreateFileW(const char16_t* path);

// ---- file-system redirection of a 32-bit program on 64-bit Windows -------
// Wow64DisableWow64FsRedirection / Wow64RevertWow64FsRedirection: the
// calling thread's file operations on the system folder reach the native
// system folder instead of SysWOW64 until reverted with the value the
// disable gave. Disable fails where nothing is redirected (32-bit Windows).
bool Wow64DisableWow64FsRedirection(void** oldValue);
bool Wow64RevertWow64FsRedirection(void* oldValue);

// ---- processes and threads ------------------------------------------------
struct ProcessStart {
  bool started = false;
  Dword processId = 0;
  Handle process;
  Handle thread;
};
// CreateProcessW(applicationName, commandLine, no inheritance, flags 0,
// default environment and folder, STARTUPINFOW{cb = 68}). With no
// application name (null) the system takes the program from the command
// line's first token and looks for a bare name along its search order.
ProcessStart CreateProcessW(const char16_t* applicationName, const char16_t* commandLine);

using ThreadProc = Dword (*)(void* argument);
// CreateThread(default security and stack, started at once). The returned
// handle may be dropped at once: the thread goes on.
Handle CreateThread(ThreadProc procedure, void* argument);

// ---- code pages -----------------------------------------------------------
// MultiByteToWideChar / WideCharToMultiByte with CP_ACP and no flags. A
// length of -1 means "up to and including the terminator". Capacity 0 asks
// for the required size. Returns the number of units written, 0 on failure.
int MultiByteToWideChar(const char* source, int sourceLength, char16_t* target, int capacity);
int WideCharToMultiByte(const char16_t* source, int sourceLength, char* target, int capacity);

}  // namespace korv::os

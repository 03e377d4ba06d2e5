// Kernel services on the real API.
#include "platform/kernel.h"

#include <io.h>

#include <new>

#include "platform/win32/adapt.h"

namespace korv::os {

using win32::ErrorKeeper;
using win32::W;

Dword GetLastError() { return ::GetLastError(); }
void SetLastError(Dword error) { ::SetLastError(error); }

void OutputDebugStringW(const char16_t* text) { ::OutputDebugStringW(W(text)); }

void Sleep(Dword milliseconds) { ::Sleep(milliseconds); }

void* LocalAlloc(bool zeroInit, std::size_t bytes) {
  return ::LocalAlloc(zeroInit ? LPTR : LMEM_FIXED, bytes);
}

void LocalFree(void* block) { ::LocalFree(block); }

Handle CreateMutexW(const char16_t* name) {
  HANDLE mutex = ::CreateMutexW(nullptr, FALSE, W(name));
  if (mutex == nullptr) return Handle();
  return Handle(HandleKind::Kernel, reinterpret_cast<std::uintptr_t>(mutex));
}

bool ReleaseMutex(const Handle& mutex) {
  return ::ReleaseMutex(reinterpret_cast<HANDLE>(mutex.get())) != FALSE;
}

Dword GetModuleFileNameW(char16_t* buffer, Dword capacity) {
  DWORD length = ::GetModuleFileNameW(nullptr, W(buffer), capacity);
  // Windows since Vista terminates a path it had to cut; older systems and
  // Wine fill the whole buffer. The core relies on the terminator.
  if (length == capacity && capacity != 0) buffer[capacity - 1] = u'\0';
  return length;
}

Dword GetSystemDirectoryW(char16_t* buffer, Dword capacity) {
  return ::GetSystemDirectoryW(W(buffer), capacity);
}

Dword GetTempPathW(Dword capacity, char16_t* buffer) { return ::GetTempPathW(capacity, W(buffer)); }

unsigned GetTempFileNameW(const char16_t* folder, const char16_t* prefix, unsigned unique,
                          char16_t* out) {
  return ::GetTempFileNameW(W(folder), W(prefix), unique, W(out));
}

std::uint16_t GetNativeProcessorArchitecture() {
  SYSTEM_INFO info{};
  ::GetNativeSystemInfo(&info);
  return info.wProcessorArchitecture;
}

bool CopyFileW(const char16_t* source, const char16_t* target, bool failIfExists) {
  return ::CopyFileW(W(source), W(target), failIfExists ? TRUE : FALSE) != FALSE;
}

bool DeleteFileW(const char16_t* path) { return ::DeleteFileW(W(path)) != FALSE; }

bool MoveFileExW(const char16_t* source, const char16_t* target, Dword flags) {
  return ::MoveFileExW(W(source), W(target), flags) != FALSE;
}

bool FileExists(const char16_t* path) { return ::_waccess(W(path), 0) == 0; }

Handle CreateFileW(const char16_t* path) {
  HANDLE file = ::CreateFileW(W(path), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return Handle();
  return Handle(HandleKind::Kernel, reinterpret_cast<std::uintptr_t>(file));
}

bool Wow64DisableWow64FsRedirection(void** oldValue) {
  return ::Wow64DisableWow64FsRedirection(oldValue) != FALSE;
}

bool Wow64RevertWow64FsRedirection(void* oldValue) {
  // Turning redirection back on must not change what the operation it
  // surrounded left as last error.
  const DWORD error = ::GetLastError();
  const BOOL reverted = ::Wow64RevertWow64FsRedirection(oldValue);
  ::SetLastError(error);
  return reverted != FALSE;
}

ProcessStart CreateProcessW(const char16_t* applicationName, const char16_t* commandLine) {
  ErrorKeeper keep;
  ProcessStart result;
  // CreateProcessW may write into the command line, so it gets a copy.
  Text line = commandLine != nullptr ? Text(commandLine) : Text();
  // The shipped 32-bit program passes a record of 68 bytes, its size there.
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  BOOL ok = ::CreateProcessW(W(applicationName), W(line.data()), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &startup, &process);
  keep.Capture();
  if (ok == FALSE) return result;
  result.started = true;
  result.processId = process.dwProcessId;
  result.process = Handle(HandleKind::Kernel, reinterpret_cast<std::uintptr_t>(process.hProcess));
  result.thread = Handle(HandleKind::Kernel, reinterpret_cast<std::uintptr_t>(process.hThread));
  return result;
}
#if defined(__i386__)
static_assert(sizeof(STARTUPINFOW) == 68);
#endif

namespace {

// The core's thread procedure has the C++ calling convention; the system
// calls a WINAPI one (they differ on 32-bit x86). The start block carries the
// core's procedure and argument to the new thread, which frees it.
struct ThreadStart {
  ThreadProc procedure;
  void* argument;
};

DWORD WINAPI RunThread(LPVOID parameter) {
  ThreadStart start = *static_cast<ThreadStart*>(parameter);
  delete static_cast<ThreadStart*>(parameter);
  return start.procedure(start.argument);
}

}  // namespace

Handle CreateThread(ThreadProc procedure, void* argument) {
  ErrorKeeper keep;
  auto* start = new (std::nothrow) ThreadStart{procedure, argument};
  if (start == nullptr) {
    ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return Handle();
  }
  HANDLE thread = ::CreateThread(nullptr, 0, RunThread, start, 0, nullptr);
  keep.Capture();
  if (thread == nullptr) {
    delete start;
    return Handle();
  }
  return Handle(HandleKind::Kernel, reinterpret_cast<std::uintptr_t>(thread));
}

int MultiByteToWideChar(const char* source, int sourceLength, char16_t* target, int capacity) {
  return ::MultiByteToWideChar(CP_ACP, 0, source, sourceLength, W(target), capacity);
}

int WideCharToMultiByte(const char16_t* source, int sourceLength, char* target, int capacity) {
  return ::WideCharToMultiByte(CP_ACP, 0, W(source), sourceLength, target, capacity, nullptr,
                               nullptr);
}

}  // namespace korv::os

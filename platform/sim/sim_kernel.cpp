// Kernel services on the simulated machine.
#include <cstdlib>
#include <cstring>

#include "platform/kernel.h"
#include "platform/sim/code_pages.h"
#include "platform/sim/machine.h"
#include "platform/sim/sim_processes.h"
#include "platform/sim/wow64.h"

namespace korv::os {

using sim::Machine;

namespace {

Machine& M() { return Machine::Get(); }

void Fail(Dword error) { sim::ThreadLastError() = error; }

Dword CopyOut(const Text& text, char16_t* buffer, Dword capacity) {
  if (text.size() + 1 > capacity) return static_cast<Dword>(text.size() + 1);
  std::memcpy(buffer, text.data(), text.size() * sizeof(char16_t));
  buffer[text.size()] = 0;
  return static_cast<Dword>(text.size());
}

Text ParentFolder(const Text& path) {
  auto pos = path.find_last_of(u"\\/");
  return pos == Text::npos ? Text() : path.substr(0, pos);
}

bool FolderExists(const Text& folder) {
  auto& k = M().kernel;
  Text f = folder;
  while (!f.empty() && (f.back() == u'\\' || f.back() == u'/')) f.pop_back();
  if (f.empty()) return false;
  if (k.folders.count(f) != 0) return true;
  if (f.size() == 2 && f[1] == u':') return true;  // a drive root
  Text prefix = f + u"\\";
  auto it = k.files.lower_bound(prefix);
  return it != k.files.end() && sim::EqualNoCase(std::u16string_view(it->first).substr(0, prefix.size()), prefix);
}

}  // namespace

Dword GetLastError() { return sim::ThreadLastError(); }
void SetLastError(Dword error) { sim::ThreadLastError() = error; }

void OutputDebugStringW(const char16_t* text) {
  M().kernel.debugOutput.push_back(text != nullptr ? Text(text) : Text());
  M().kernel.debugOutputAt.push_back(M().clock.Now());
}

void Sleep(Dword milliseconds) { M().clock.Sleep(milliseconds); }

void* LocalAlloc(bool zeroInit, std::size_t bytes) {
  if (M().Enter("LocalAlloc")) return nullptr;
  void* block = zeroInit ? std::calloc(1, bytes == 0 ? 1 : bytes) : std::malloc(bytes == 0 ? 1 : bytes);
  if (block == nullptr) {
    Fail(err::NotEnoughMemory);
    return nullptr;
  }
  ++M().kernel.allocations;
  ++M().kernel.liveAllocations;
  return block;
}

void LocalFree(void* block) {
  if (block == nullptr) return;
  std::free(block);
  --M().kernel.liveAllocations;
}

void CloseHandleOf(HandleKind kind, std::uintptr_t value) {
  auto& handles = M().openHandles;
  auto it = handles.find(value);
  if (it == handles.end()) return;
  if (kind == HandleKind::Kernel && it->second.name.rfind(u"mutex:", 0) == 0) {
    auto m = M().kernel.mutexes.find(it->second.name.substr(6));
    if (m != M().kernel.mutexes.end() && --m->second <= 0) M().kernel.mutexes.erase(m);
  }
  if (kind == HandleKind::Kernel && it->second.name.rfind(u"file:", 0) == 0) sim::ReleaseFile(M(), it->second.name);
  M().closedHandles.push_back(it->second);
  handles.erase(it);
}

Handle CreateMutexW(const char16_t* name) {
  Text n = name != nullptr ? Text(name) : Text();
  if (M().Enter("CreateMutexW", n)) return Handle();
  int& holders = M().kernel.mutexes[n];
  SetLastError(holders > 0 ? err::AlreadyExists : err::Success);
  ++holders;
  return M().MakeHandle(HandleKind::Kernel, u"mutex:" + n);
}

bool ReleaseMutex(const Handle& mutex) {
  if (M().Enter("ReleaseMutex")) return false;
  if (M().Lookup(mutex) == nullptr) {
    Fail(err::InvalidHandle);
    return false;
  }
  return true;
}

Dword GetModuleFileNameW(char16_t* buffer, Dword capacity) {
  if (M().Enter("GetModuleFileNameW") || capacity == 0) return 0;
  const Text& path = M().kernel.modulePath;
  if (path.size() + 1 > capacity) {
    std::memcpy(buffer, path.data(), (capacity - 1) * sizeof(char16_t));
    buffer[capacity - 1] = 0;
    Fail(err::InsufficientBuffer);
    return capacity;
  }
  return CopyOut(path, buffer, capacity);
}

Dword GetSystemDirectoryW(char16_t* buffer, Dword capacity) {
  if (M().Enter("GetSystemDirectoryW")) return 0;
  return CopyOut(M().kernel.systemFolder, buffer, capacity);
}

Dword GetTempPathW(Dword capacity, char16_t* buffer) {
  if (M().Enter("GetTempPathW")) return 0;
  return CopyOut(M().kernel.tempFolder, buffer, capacity);
}

unsigned GetTempFileNameW(const char16_t* folder, const char16_t* prefix, unsigned unique,
                          char16_t* out) {
  if (M().Enter("GetTempFileNameW", folder != nullptr ? Text(folder) : Text())) return 0;
  Text dir = folder != nullptr ? Text(folder) : Text();
  if (!FolderExists(dir)) {
    Fail(err::PathNotFound);
    return 0;
  }
  if (!dir.empty() && dir.back() != u'\\') dir += u'\\';
  Text pre = prefix != nullptr ? Text(prefix).substr(0, 3) : Text();
  auto& k = M().kernel;
  for (int tries = 0; tries < 0x10000; ++tries) {
    unsigned number = unique != 0 ? unique : (k.nextTempNumber++ & 0xFFFF);
    if (number == 0) continue;
    static const char16_t hex[] = u"0123456789ABCDEF";
    Text name = dir + pre;
    for (int shift = 12; shift >= 0; shift -= 4) name += hex[(number >> shift) & 0xF];
    name += u".tmp";
    if (name.size() >= 260) {
      Fail(err::InvalidParameter);
      return 0;
    }
    if (unique == 0 && k.files.count(name) != 0) continue;
    if (unique == 0) k.files[name] = sim::SimFile{};
    std::memcpy(out, name.c_str(), (name.size() + 1) * sizeof(char16_t));
    return number;
  }
  Fail(err::FileExists);
  return 0;
}

std::uint16_t GetNativeProcessorArchitecture() { return M().kernel.nativeArch; }

bool CopyFileW(const char16_t* source, const char16_t* target, bool failIfExists) {
  Text src = source != nullptr ? Text(source) : Text();
  Text dst = target != nullptr ? Text(target) : Text();
  if (M().Enter("CopyFileW", src + u" -> " + dst)) return false;
  src = sim::RealFilePath(M(), src);
  dst = sim::RealFilePath(M(), dst);
  auto& files = M().kernel.files;
  auto from = files.find(src);
  if (from == files.end()) {
    Fail(FolderExists(ParentFolder(src)) ? err::FileNotFound : err::PathNotFound);
    return false;
  }
  if (!FolderExists(ParentFolder(dst))) {
    Fail(err::PathNotFound);
    return false;
  }
  auto to = files.find(dst);
  if (to != files.end()) {
    if (failIfExists) {
      Fail(err::FileExists);
      return false;
    }
    if (to->second.locked) {
      Fail(err::SharingViolation);
      return false;
    }
    to->second.content = from->second.content;
  } else {
    files[dst] = sim::SimFile{from->second.content, false};
  }
  SetLastError(err::Success);
  return true;
}

bool DeleteFileW(const char16_t* path) {
  Text p = path != nullptr ? Text(path) : Text();
  if (M().Enter("DeleteFileW", p)) return false;
  p = sim::RealFilePath(M(), p);
  auto& files = M().kernel.files;
  auto it = files.find(p);
  if (it == files.end()) {
    Fail(FolderExists(ParentFolder(p)) ? err::FileNotFound : err::PathNotFound);
    return false;
  }
  if (it->second.locked) {
    Fail(err::AccessDenied);
    return false;
  }
  files.erase(it);
  SetLastError(err::Success);
  return true;
}

bool MoveFileExW(const char16_t* source, const char16_t* target, Dword flags) {
  Text src = source != nullptr ? Text(source) : Text();
  Text dst = target != nullptr ? Text(target) : Text();
  if (M().Enter("MoveFileExW", src + u" -> " + dst)) return false;
  src = sim::RealFilePath(M(), src);
  // No target: the file is to be deleted.
  if (!dst.empty()) dst = sim::RealFilePath(M(), dst);
  auto& k = M().kernel;
  if (k.files.count(src) == 0) {
    Fail(err::FileNotFound);
    return false;
  }
  if ((flags & MOVEFILE_DELAY_UNTIL_REBOOT) != 0) {
    k.pendingRenames.push_back(sim::PendingRename{src, dst});
    SetLastError(err::Success);
    return true;
  }
  if (k.files.count(dst) != 0) {
    Fail(err::AlreadyExists);
    return false;
  }
  if (k.files[src].locked) {
    Fail(err::SharingViolation);
    return false;
  }
  k.files[dst] = k.files[src];
  k.files.erase(src);
  return true;
}

bool FileExists(const char16_t* path) {
  Text p = path != nullptr ? Text(path) : Text();
  if (M().Enter("FileExists", p)) return false;
  p = sim::RealFilePath(M(), p);
  return M().kernel.files.count(p) != 0 || FolderExists(p);
}

Handle CreateFileW(const char16_t* path) {
  Text p = path != nullptr ? Text(path) : Text();
  if (M().Enter("CreateFileW", p)) return Handle();
  p = sim::RealFilePath(M(), p);
  auto it = M().kernel.files.find(p);
  if (it == M().kernel.files.end()) {
    Fail(FolderExists(ParentFolder(p)) ? err::FileNotFound : err::PathNotFound);
    return Handle();
  }
  // Open by someone who lets nobody share it (the model knows no finer
  // sharing): a second open is refused.
  if (it->second.locked) {
    Fail(err::SharingViolation);
    return Handle();
  }
  it->second.locked = true;
  SetLastError(err::Success);
  return M().MakeHandle(HandleKind::Kernel, u"file:" + p);
}

bool Wow64DisableWow64FsRedirection(void** oldValue) {
  if (M().Enter("Wow64DisableWow64FsRedirection")) return false;
  if (!sim::RunsUnderWow64(M())) {
    Fail(err::InvalidFunction);
    return false;
  }
  bool& disabled = sim::ThreadFsRedirectionDisabled();
  *oldValue = disabled ? oldValue : nullptr;
  disabled = true;
  SetLastError(err::Success);
  return true;
}

bool Wow64RevertWow64FsRedirection(void* oldValue) {
  if (!sim::RunsUnderWow64(M())) return false;
  sim::ThreadFsRedirectionDisabled() = oldValue != nullptr;
  return true;
}

ProcessStart CreateProcessW(const char16_t* applicationName, const char16_t* commandLine) {
  ProcessStart result;
  Text line = commandLine != nullptr ? Text(commandLine) : Text();
  Text application = applicationName != nullptr ? Text(applicationName) : Text();
  if (M().Enter("CreateProcessW", line)) return result;
  const Text executable = application.empty() ? sim::FindProgramOfCommandLine(M(), line)
                                              : sim::FindApplication(M(), application);
  if (executable.empty()) {
    Fail(err::FileNotFound);
    return result;
  }
  auto& k = M().kernel;
  Dword pid = k.nextProcessId;
  k.nextProcessId += 4;
  k.processes.push_back(sim::StartedProcess{pid, executable, line, M().clock.Now()});
  result.started = true;
  result.processId = pid;
  result.process = M().MakeHandle(HandleKind::Kernel, u"process");
  result.thread = M().MakeHandle(HandleKind::Kernel, u"thread");
  return result;
}

Handle CreateThread(ThreadProc procedure, void* argument) {
  if (M().Enter("CreateThread")) return Handle();
  M().clock.Spawn([procedure, argument] { procedure(argument); });
  return M().MakeHandle(HandleKind::Kernel, u"thread");
}

int MultiByteToWideChar(const char* source, int sourceLength, char16_t* target, int capacity) {
  if (M().Enter("MultiByteToWideChar")) return 0;
  if (source == nullptr || capacity < 0) {
    Fail(err::InvalidParameter);
    return 0;
  }
  std::size_t n = sourceLength < 0 ? std::strlen(source) + 1 : static_cast<std::size_t>(sourceLength);
  const Text out = sim::AnsiToWide(M().kernel.ansiCodePage, std::string_view(source, n));
  if (capacity == 0) return static_cast<int>(out.size());
  if (out.size() > static_cast<std::size_t>(capacity)) {
    Fail(err::InsufficientBuffer);
    return 0;
  }
  std::memcpy(target, out.data(), out.size() * sizeof(char16_t));
  return static_cast<int>(out.size());
}

int WideCharToMultiByte(const char16_t* source, int sourceLength, char* target, int capacity) {
  if (M().Enter("WideCharToMultiByte")) return 0;
  if (source == nullptr || capacity < 0) {
    Fail(err::InvalidParameter);
    return 0;
  }
  std::size_t n = 0;
  if (sourceLength < 0) {
    while (source[n] != 0) ++n;
    ++n;
  } else {
    n = static_cast<std::size_t>(sourceLength);
  }
  const std::string out = sim::WideToAnsi(M().kernel.ansiCodePage, std::u16string_view(source, n));
  if (capacity == 0) return static_cast<int>(out.size());
  if (out.size() > static_cast<std::size_t>(capacity)) {
    Fail(err::InsufficientBuffer);
    return 0;
  }
  std::memcpy(target, out.data(), out.size());
  return static_cast<int>(out.size());
}

}  // namespace korv::os

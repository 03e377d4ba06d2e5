// The native system folder for a 32-bit program on 64-bit Windows.
//
// The program ships as a 32-bit executable. On 64-bit Windows (x64, ARM64)
// the system sends a 32-bit program's file operations on the system folder
// to SysWOW64, where the 64-bit spooler and driver never look. The files the
// program puts there (the driver's runtime, the language monitor) belong to
// the native system folder, so those operations run in this scope, which
// turns the redirection off for the calling thread and on again when it
// ends. Paths keep the system folder's name as GetSystemDirectoryW gives it,
// so what the trace says stays the same. On 32-bit Windows there is nothing
// to turn off, and nothing changes.
//
// Keep the scope around exactly the file operations on the system folder:
// while it lasts, the thread's other file operations (and the libraries the
// system loads for them) are not redirected either.
#pragma once

#include "platform/kernel.h"

namespace korv {

class NativeSystemFolderScope {
 public:
  NativeSystemFolderScope() : turnedOff_(os::Wow64DisableWow64FsRedirection(&previous_)) {}
  ~NativeSystemFolderScope() {
    if (turnedOff_) os::Wow64RevertWow64FsRedirection(previous_);
  }
  NativeSystemFolderScope(const NativeSystemFolderScope&) = delete;
  NativeSystemFolderScope& operator=(const NativeSystemFolderScope&) = delete;

 private:
  void* previous_ = nullptr;
  bool turnedOff_;
};

}  // namespace korv

// Helpers shared by the Win32 adapters: text marshalling, keeping the last
// error across marshalling, LocalAlloc buffers and system functions resolved
// at run time from the system folder.
//
// Only platform/win32/ and app/winmain.cpp include this; the core never sees
// <windows.h>. Include it after the platform headers: <windows.h> defines
// macros with the names of their constants (SW_HIDE, REG_SZ, ...).
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/types.h"

namespace korv::win32 {

// The core's text is char16_t, the API's wchar_t: on Windows both are UTF-16
// code units of the same size, so pointers are passed through as they are.
static_assert(sizeof(wchar_t) == sizeof(char16_t), "wchar_t must be a UTF-16 code unit");
static_assert(sizeof(DWORD) == sizeof(Dword), "DWORD must be 32 bits");

inline const wchar_t* W(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }
inline wchar_t* W(char16_t* text) { return reinterpret_cast<wchar_t*>(text); }
// For API records whose string fields are declared writable but only read.
inline wchar_t* Writable(const char16_t* text) { return const_cast<wchar_t*>(W(text)); }

// A null string from the API becomes an empty text.
inline Text ToText(const wchar_t* text) {
  return text != nullptr ? Text(reinterpret_cast<const char16_t*>(text)) : Text();
}

// A multi-string (entries ended by an empty one) becomes its entries; null
// gives none.
std::vector<Text> ToTextList(const wchar_t* multi);

// The reverse: entries, each terminated, then one more terminator. An empty
// list gives an empty buffer, which the callers pass as null.
Text ToMultiString(const std::vector<Text>& entries);

// Keeps the last error an API call left while the adapter converts its
// results (allocating and freeing may touch it). Declare it before anything
// else in the adapter, so that it is destroyed last; Capture() right after the
// API call; the destructor puts the captured value back.
class ErrorKeeper {
 public:
  ErrorKeeper() = default;
  ErrorKeeper(const ErrorKeeper&) = delete;
  ErrorKeeper& operator=(const ErrorKeeper&) = delete;
  ~ErrorKeeper() {
    if (captured_) ::SetLastError(error_);
  }
  void Capture() {
    error_ = ::GetLastError();
    captured_ = true;
  }
  DWORD error() const { return error_; }

 private:
  DWORD error_ = 0;
  bool captured_ = false;
};

// A LocalAlloc block (zero-filled) released with LocalFree. On failure the
// block is null and the last error is LocalAlloc's.
class LocalBuffer {
 public:
  explicit LocalBuffer(std::size_t bytes)
      : bytes_(bytes), block_(::LocalAlloc(LPTR, bytes == 0 ? 1 : bytes)) {}
  LocalBuffer(const LocalBuffer&) = delete;
  LocalBuffer& operator=(const LocalBuffer&) = delete;
  ~LocalBuffer() {
    if (block_ != nullptr) ::LocalFree(block_);
  }
  explicit operator bool() const { return block_ != nullptr; }
  BYTE* bytes() const { return static_cast<BYTE*>(block_); }
  std::size_t size() const { return bytes_; }
  template <typename T>
  T* as() const {
    return static_cast<T*>(block_);
  }

 private:
  std::size_t bytes_;
  HLOCAL block_;
};

// Loads a DLL from the system folder only, never from the program's folder
// or the current one: the program runs elevated from the temporary folder,
// where a planted DLL of the same name would otherwise be loaded. Where the
// system predates the search flags, the full path in the system folder is
// used instead.
HMODULE LoadSystemLibrary(const wchar_t* name);

// The address of `function` in the system DLL `dll`, or null when the DLL or
// the export is missing (last error as the loader left it). On success the
// last error is unchanged.
FARPROC SystemProcAddress(const wchar_t* dll, const char* function);

template <typename Fn>
Fn SystemFunction(const wchar_t* dll, const char* function) {
  // Through a generic function pointer type, which GCC lets any function
  // pointer be cast to without a warning.
  return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(SystemProcAddress(dll, function)));
}

}  // namespace korv::win32

// Declares `p<name>`, the run-time resolved address of `name` from `dll`,
// with the type the system headers give `name`. Resolved once, on first use;
// C++ makes the initialisation thread-safe.
#define KORV_SYSTEM_FUNCTION(dll, name)                                                  \
  static const auto p##name = ::korv::win32::SystemFunction<decltype(&::name)>(dll, #name)

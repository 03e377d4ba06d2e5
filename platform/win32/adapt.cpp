// Helpers shared by the Win32 adapters.
#include "platform/win32/adapt.h"

#include <cwchar>

namespace korv::win32 {

std::vector<Text> ToTextList(const wchar_t* multi) {
  std::vector<Text> entries;
  if (multi == nullptr) return entries;
  while (*multi != L'\0') {
    std::size_t length = std::wcslen(multi);
    entries.emplace_back(reinterpret_cast<const char16_t*>(multi), length);
    multi += length + 1;
  }
  return entries;
}

Text ToMultiString(const std::vector<Text>& entries) {
  Text all;
  if (entries.empty()) return all;
  for (const Text& entry : entries) {
    all += entry;
    all += u'\0';
  }
  all += u'\0';
  return all;
}

HMODULE LoadSystemLibrary(const wchar_t* name) {
  HMODULE module = ::LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (module != nullptr || ::GetLastError() != ERROR_INVALID_PARAMETER) return module;
  // Windows 7 without the loader update does not know the search flags and
  // rejects them: name the file in the system folder instead.
  wchar_t path[MAX_PATH];
  UINT length = ::GetSystemDirectoryW(path, MAX_PATH);
  std::size_t nameLength = std::wcslen(name);
  if (length == 0 || length + 1 + nameLength >= MAX_PATH) {
    if (length != 0) ::SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return nullptr;
  }
  path[length] = L'\\';
  std::wmemcpy(path + length + 1, name, nameLength + 1);
  return ::LoadLibraryW(path);
}

FARPROC SystemProcAddress(const wchar_t* dll, const char* function) {
  const DWORD before = ::GetLastError();
  HMODULE module = LoadSystemLibrary(dll);
  FARPROC address = module != nullptr ? ::GetProcAddress(module, function) : nullptr;
  // The loader may leave a value behind even when it succeeds; the first call
  // of an adapter must not see a different last error than later ones.
  if (address != nullptr) ::SetLastError(before);
  return address;
}

}  // namespace korv::win32

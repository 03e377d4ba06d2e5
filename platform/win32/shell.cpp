// Shell on the real API.
#include "platform/shell.h"

#include "platform/win32/adapt.h"

#include <shellapi.h>
#include <shlobj.h>

#include <memory>

namespace korv::os {

using win32::ErrorKeeper;
using win32::W;

bool CommandLineToArgvW(const char16_t* commandLine, std::vector<Text>* arguments) {
  ErrorKeeper keep;
  int count = 0;
  LPWSTR* argv = ::CommandLineToArgvW(W(commandLine), &count);
  keep.Capture();
  if (argv == nullptr) return false;
  struct Release {
    void operator()(LPWSTR* array) const { ::LocalFree(array); }
  };
  std::unique_ptr<LPWSTR, Release> owned(argv);
  arguments->clear();
  for (int i = 0; i < count; ++i) arguments->push_back(win32::ToText(argv[i]));
  return true;
}

int SHFileOperationW(Hwnd owner, Dword operation, const char16_t* from, Dword flags) {
  SHFILEOPSTRUCTW op{};
  op.hwnd = static_cast<HWND>(owner);
  op.wFunc = operation;
  op.pFrom = W(from);
  op.pTo = nullptr;
  op.fFlags = static_cast<FILEOP_FLAGS>(flags);
  return ::SHFileOperationW(&op);
}

void SHChangeNotify(long event, Dword flags, const char16_t* item1, const char16_t* item2) {
  ::SHChangeNotify(event, flags, item1, item2);
}

}  // namespace korv::os

// Closing a handle of any kind on the real API.
#include "platform/handle.h"

#include "platform/win32/adapt.h"

#include <setupapi.h>
#include <winspool.h>

namespace korv::os {

// The core closes handles when their owner goes out of scope, which is not
// always where the program would have closed them by hand. Closing therefore
// keeps the last error, so that a failure read just after a scope ends is
// the failure of the call that mattered.
void CloseHandleOf(HandleKind kind, std::uintptr_t value) {
  const DWORD error = ::GetLastError();
  switch (kind) {
    case HandleKind::Kernel:
      ::CloseHandle(reinterpret_cast<HANDLE>(value));
      break;
    case HandleKind::RegKey:
      ::RegCloseKey(reinterpret_cast<HKEY>(value));
      break;
    case HandleKind::DevInfo:
      ::SetupDiDestroyDeviceInfoList(reinterpret_cast<HDEVINFO>(value));
      break;
    case HandleKind::Printer: {
      KORV_SYSTEM_FUNCTION(L"winspool.drv", ClosePrinter);
      if (pClosePrinter != nullptr) pClosePrinter(reinterpret_cast<HANDLE>(value));
      break;
    }
    case HandleKind::Service:
      ::CloseServiceHandle(reinterpret_cast<SC_HANDLE>(value));
      break;
  }
  ::SetLastError(error);
}

}  // namespace korv::os

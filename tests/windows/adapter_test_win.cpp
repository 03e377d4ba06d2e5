// The calls the adapter test makes on its own, outside the boundary.
#include <windows.h>

#include <cstdint>

#include "platform/types.h"

namespace korv::test {

Dword WaitForExitCode(std::uintptr_t handle) {
  HANDLE waited = reinterpret_cast<HANDLE>(handle);
  DWORD code = 0;
  if (::WaitForSingleObject(waited, 30000) != WAIT_OBJECT_0) return ~0u;
  // A thread or a process: one of the two calls applies.
  if (::GetExitCodeThread(waited, &code) || ::GetExitCodeProcess(waited, &code)) return code;
  return ~0u;
}

Dword ProcessIdOf(std::uintptr_t process) { return ::GetProcessId(reinterpret_cast<HANDLE>(process)); }

}  // namespace korv::test

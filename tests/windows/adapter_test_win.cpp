// The call the adapter test makes itself, outside the boundary, with <windows.h>.
#include <windows.h>

#include "platform/types.h"

namespace korv::test {
Dword ProcessIdOf(std::uintptr_t process) { return ::GetProcessId(reinterpret_cast<HANDLE>(process)); }
}  // namespace korv::test

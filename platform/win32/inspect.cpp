// korvsnap's own calls on the real API (platform/inspect.h).
#include "platform/inspect.h"

#include "platform/win32/adapt.h"

#include <winspool.h>

namespace korv::os {

bool EnumMonitorsW(std::vector<MonitorInfo2>* monitors) {
  KORV_SYSTEM_FUNCTION(L"winspool.drv", EnumMonitorsW);
  monitors->clear();
  if (pEnumMonitorsW == nullptr) {
    ::SetLastError(ERROR_PROC_NOT_FOUND);
    return false;
  }
  win32::ErrorKeeper keep;
  DWORD needed = 0;
  DWORD returned = 0;
  BOOL ok = pEnumMonitorsW(nullptr, 2, nullptr, 0, &needed, &returned);
  keep.Capture();
  if (ok != FALSE) return true;
  if (keep.error() != ERROR_INSUFFICIENT_BUFFER) return false;
  win32::LocalBuffer buffer(needed);
  if (!buffer) {
    keep.Capture();
    return false;
  }
  ok = pEnumMonitorsW(nullptr, 2, buffer.bytes(), needed, &needed, &returned);
  keep.Capture();
  if (ok == FALSE) return false;
  const auto* records = buffer.as<MONITOR_INFO_2W>();
  for (DWORD i = 0; i < returned; ++i) {
    monitors->push_back(MonitorInfo2{win32::ToText(records[i].pName), win32::ToText(records[i].pEnvironment),
                                     win32::ToText(records[i].pDLLName)});
  }
  return true;
}

unsigned GetACP() { return ::GetACP(); }

std::uint16_t GetProgramArchitecture() {
#if defined(_M_X64) || defined(__x86_64__)
  return PROCESSOR_ARCHITECTURE_AMD64;
#elif defined(_M_ARM64) || defined(__aarch64__)
  return PROCESSOR_ARCHITECTURE_ARM64;
#else
  return PROCESSOR_ARCHITECTURE_INTEL;
#endif
}

}  // namespace korv::os

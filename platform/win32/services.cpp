// Service control manager on the real API.
#include "platform/services.h"

#include "platform/win32/adapt.h"

namespace korv::os {

namespace {

SC_HANDLE Sc(const Handle& handle) { return reinterpret_cast<SC_HANDLE>(handle.get()); }

Handle ServiceHandle(SC_HANDLE handle) {
  if (handle == nullptr) return Handle();
  return Handle(HandleKind::Service, reinterpret_cast<std::uintptr_t>(handle));
}

}  // namespace

Handle OpenSCManagerW(Dword access) { return ServiceHandle(::OpenSCManagerW(nullptr, nullptr, access)); }

Handle OpenServiceW(const Handle& manager, const char16_t* name, Dword access) {
  return ServiceHandle(::OpenServiceW(Sc(manager), win32::W(name), access));
}

bool QueryServiceStatusEx(const Handle& service, Dword* currentState) {
  SERVICE_STATUS_PROCESS status{};
  DWORD needed = 0;
  if (::QueryServiceStatusEx(Sc(service), SC_STATUS_PROCESS_INFO, reinterpret_cast<LPBYTE>(&status),
                             sizeof(status), &needed) == FALSE) {
    return false;
  }
  *currentState = status.dwCurrentState;
  return true;
}

bool ControlService(const Handle& service, Dword control) {
  SERVICE_STATUS status{};
  return ::ControlService(Sc(service), control, &status) != FALSE;
}

bool StartServiceW(const Handle& service) {
  return ::StartServiceW(Sc(service), 0, nullptr) != FALSE;
}

}  // namespace korv::os

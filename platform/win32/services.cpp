// Service control manager on the real API.
#include "platform/services.h"

#include "platform/win32/adapt.h"

namespace korv::os {

namespace {

SC_HANDLE Sc(const ServiceHandle& handle) { return reinterpret_cast<SC_HANDLE>(handle.get()); }

ServiceHandle Own(SC_HANDLE handle) {
  if (handle == nullptr) return ServiceHandle();
  return ServiceHandle(reinterpret_cast<std::uintptr_t>(handle));
}

}  // namespace

ServiceHandle OpenSCManagerW(Dword access) { return Own(::OpenSCManagerW(nullptr, nullptr, access)); }

ServiceHandle OpenServiceW(const ServiceHandle& manager, const char16_t* name, Dword access) {
  return Own(::OpenServiceW(Sc(manager), win32::W(name), access));
}

bool QueryServiceStatusEx(const ServiceHandle& service, Dword* currentState) {
  SERVICE_STATUS_PROCESS status{};
  DWORD needed = 0;
  if (::QueryServiceStatusEx(Sc(service), SC_STATUS_PROCESS_INFO, reinterpret_cast<LPBYTE>(&status),
                             sizeof(status), &needed) == FALSE) {
    return false;
  }
  *currentState = status.dwCurrentState;
  return true;
}

bool ControlService(const ServiceHandle& service, Dword control) {
  SERVICE_STATUS status{};
  return ::ControlService(Sc(service), control, &status) != FALSE;
}

bool StartServiceW(const ServiceHandle& service) {
  return ::StartServiceW(Sc(service), 0, nullptr) != FALSE;
}

}  // namespace korv::os

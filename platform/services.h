// Service control manager: the print spooler service.
#pragma once

#include "platform/handle.h"
#include "platform/types.h"

namespace korv::os {

inline constexpr Dword SC_MANAGER_ALL_ACCESS = 0xF003F;
inline constexpr Dword SERVICE_ALL_ACCESS = 0xF01FF;

inline constexpr Dword SERVICE_STOPPED = 1;
inline constexpr Dword SERVICE_START_PENDING = 2;
inline constexpr Dword SERVICE_STOP_PENDING = 3;
inline constexpr Dword SERVICE_RUNNING = 4;
inline constexpr Dword SERVICE_PAUSED = 7;

inline constexpr Dword SERVICE_CONTROL_STOP = 1;

// OpenSCManagerW(local machine, default database, access). Null on failure.
ServiceHandle OpenSCManagerW(Dword access);
// OpenServiceW(manager, name, access). Null on failure.
ServiceHandle OpenServiceW(const ServiceHandle& manager, const char16_t* name, Dword access);
// QueryServiceStatusEx(SC_STATUS_PROCESS_INFO): dwCurrentState of the
// SERVICE_STATUS_PROCESS record. False on failure (state untouched).
bool QueryServiceStatusEx(const ServiceHandle& service, Dword* currentState);
// ControlService(service, control, status).
bool ControlService(const ServiceHandle& service, Dword control);
// StartServiceW(service, no arguments).
bool StartServiceW(const ServiceHandle& service);

}  // namespace korv::os

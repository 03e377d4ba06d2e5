// Types shared by every part of the operating-system boundary.
//
// The core never includes <windows.h>. Everything it needs from Windows is
// declared under platform/, one header per service, and implemented twice:
// platform/win32/ on the real API and platform/sim/ on the simulated machine.
// Which one a binary gets is decided at link time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace korv {

// Text in the core is UTF-16 everywhere; char16_t is 16 bits on every
// platform, unlike wchar_t.
using Text = std::u16string;

using Dword = std::uint32_t;
using HResult = std::int32_t;

// Opaque window handle: the real HWND on Windows, a small number in the
// simulation. Null is "no window".
using Hwnd = void*;

// Error codes the core looks at (GetLastError values and HRESULTs).
namespace err {
inline constexpr Dword Success = 0;
inline constexpr Dword InvalidFunction = 1;
inline constexpr Dword FileNotFound = 2;
inline constexpr Dword PathNotFound = 3;
inline constexpr Dword AccessDenied = 5;
inline constexpr Dword InvalidHandle = 6;
inline constexpr Dword NotEnoughMemory = 8;
inline constexpr Dword SharingViolation = 32;
inline constexpr Dword FileExists = 80;
inline constexpr Dword InvalidParameter = 87;
inline constexpr Dword InsufficientBuffer = 122;
inline constexpr Dword InvalidLevel = 124;
inline constexpr Dword AlreadyExists = 183;
inline constexpr Dword MoreData = 234;
inline constexpr Dword NoMoreItems = 259;
inline constexpr Dword ServiceAlreadyRunning = 1056;
inline constexpr Dword ServiceDoesNotExist = 1060;
inline constexpr Dword ServiceNotActive = 1062;
inline constexpr Dword UnknownPrinterDriver = 1797;
inline constexpr Dword InvalidPrinterName = 1801;
inline constexpr Dword PrinterAlreadyExists = 1802;
inline constexpr Dword UnknownPort = 1796;
inline constexpr Dword PrinterDriverInUse = 3001;
inline constexpr Dword PrintMonitorAlreadyInstalled = 3006;
inline constexpr Dword PrintMonitorInUse = 3008;
}  // namespace err

namespace hr {
inline constexpr HResult Ok = 0;
inline constexpr HResult False = 1;
inline constexpr HResult NotImpl = static_cast<HResult>(0x80004001u);
inline constexpr HResult Fail = static_cast<HResult>(0x80004005u);
inline constexpr HResult InfInUseByDevices = static_cast<HResult>(0x800F023Du);
inline HResult FromWin32(Dword e) {
  return e == 0 ? 0 : static_cast<HResult>((e & 0xFFFFu) | 0x80070000u);
}
}  // namespace hr

// wProcessorArchitecture values of GetNativeSystemInfo.
namespace arch {
inline constexpr std::uint16_t Intel = 0;
inline constexpr std::uint16_t Arm = 5;
inline constexpr std::uint16_t Ia64 = 6;
inline constexpr std::uint16_t Amd64 = 9;
inline constexpr std::uint16_t Arm64 = 12;
inline constexpr std::uint16_t Unknown = 0xFFFF;
}  // namespace arch

}  // namespace korv

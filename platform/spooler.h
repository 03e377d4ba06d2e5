// Print spooler (WinSpool): drivers, monitors, ports, queues and driver
// packages of the local machine (null server name everywhere).
//
// Records are plain values. The boundary does not tell a null string from an
// empty one, and a null multi-string list from an empty one: the program
// never needs the difference.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/handle.h"
#include "platform/types.h"

namespace korv::os {

// DRIVER_INFO_8W. Times are FILETIME values as one 64-bit number.
struct DriverInfo8 {
  Dword cVersion = 0;
  Text pName;
  Text pEnvironment;
  Text pDriverPath;
  Text pDataFile;
  Text pConfigFile;
  Text pHelpFile;
  std::vector<Text> pDependentFiles;
  Text pMonitorName;
  Text pDefaultDataType;
  std::vector<Text> pszzPreviousNames;
  std::uint64_t ftDriverDate = 0;
  std::uint64_t dwlDriverVersion = 0;
  Text pszMfgName;
  Text pszOEMUrl;
  Text pszHardwareID;
  Text pszProvider;
  Text pszPrintProcessor;
  Text pszVendorSetup;
  std::vector<Text> pszzColorProfiles;
  Text pszInfPath;
  Dword dwPrinterDriverAttributes = 0;
  std::vector<Text> pszzCoreDriverDependencies;
  std::uint64_t ftMinInboxDriverVerDate = 0;
  std::uint64_t dwlMinInboxDriverVerVersion = 0;
};

// PRINTER_INFO_2W without the device mode and security descriptor, which
// the program never sets.
struct PrinterInfo2 {
  Text pServerName;
  Text pPrinterName;
  Text pShareName;
  Text pPortName;
  Text pDriverName;
  Text pComment;
  Text pLocation;
  Text pSepFile;
  Text pPrintProcessor;
  Text pDatatype;
  Text pParameters;
  Dword Attributes = 0;
  Dword Priority = 0;
  Dword DefaultPriority = 0;
  Dword StartTime = 0;
  Dword UntilTime = 0;
  Dword Status = 0;
  Dword cJobs = 0;
  Dword AveragePPM = 0;
};

// The fields of a queue's record the program changes; null leaves a field as
// it is.
struct PrinterChanges {
  const char16_t* pPortName = nullptr;
};

// MONITOR_INFO_2W.
struct MonitorInfo2 {
  Text pName;
  Text pEnvironment;
  Text pDLLName;
};

inline constexpr Dword PRINTER_ALL_ACCESS = 0x000F000C;
inline constexpr Dword PRINTER_ATTRIBUTE_LOCAL = 0x40;
inline constexpr Dword PRINTER_ENUM_LOCAL = 0x2;
inline constexpr Dword PRINTER_CONTROL_PURGE = 3;
inline constexpr Dword DPD_DELETE_UNUSED_FILES = 1;
inline constexpr Dword UPDP_UPLOAD_ALWAYS = 2;

// EnumPrinterDriversW(null, null environment, level 8): both calls. An empty
// list is a success.
bool EnumPrinterDriversW(std::vector<DriverInfo8>* drivers);
// AddPrinterDriverW(null, 8, record).
bool AddPrinterDriverW(const DriverInfo8& driver);
// DeletePrinterDriverExW(null, null environment, name, deleteFlag, versionFlag).
bool DeletePrinterDriverExW(const char16_t* name, Dword deleteFlag, Dword versionFlag);
// GetPrinterDriverDirectoryW(null, null, 1, buffer, capacity*2, &needed).
bool GetPrinterDriverDirectoryW(char16_t* buffer, Dword capacity);

// AddMonitorW(null, 2, record) / DeleteMonitorW(null, null, name).
bool AddMonitorW(const MonitorInfo2& monitor);
bool DeleteMonitorW(const char16_t* name);

// EnumPortsW(null, 2): the port names in the spooler's order.
bool EnumPortsW(std::vector<Text>* portNames);

// OpenPrinterW(name, &handle, defaults{null datatype, null devmode, access}).
// True only with a handle: a success that yields none counts as a failure.
bool OpenPrinterW(const char16_t* name, Dword access, PrinterHandle* printer);
// GetPrinterW(handle, 2): both calls.
bool GetPrinterW(const PrinterHandle& printer, PrinterInfo2* info);
// With changes: GetPrinterW(handle, 2) into a buffer of its own (both
// calls), the changed fields replaced, then SetPrinterW(handle, 2, record,
// command), so that everything else, device mode and security descriptor
// included, goes back exactly as the spooler gave it. Without:
// SetPrinterW(handle, 0, null, command).
bool SetPrinterW(const PrinterHandle& printer, const PrinterChanges* changes, Dword command);
// AddPrinterW(null, 2, info): the new queue's handle, null on failure.
PrinterHandle AddPrinterW(const PrinterInfo2& info);
// DeletePrinter(handle).
bool DeletePrinter(const PrinterHandle& printer);
// EnumPrintersW(flags, null name, 2): both calls.
bool EnumPrintersW(Dword flags, std::vector<PrinterInfo2>* printers);

// UploadPrinterDriverPackageW(null, infPath, null environment, flags, no
// window, destination, &capacity). Resolved at run time: where the system
// lacks it the result is E_NOTIMPL.
HResult UploadPrinterDriverPackageW(const char16_t* infPath, Dword flags, char16_t* destination,
                                    Dword* capacity);
// DeletePrinterDriverPackageW(null, infPath, null environment). Resolved at
// run time like the upload.
HResult DeletePrinterDriverPackageW(const char16_t* infPath);

}  // namespace korv::os

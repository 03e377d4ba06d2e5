// Print spooler on the real API.
//
// Every spooler function is resolved from winspool.drv in the system folder
// when first used rather than imported: winspool.drv is not one of the
// system's known DLLs, so a static import would be looked up in the
// program's folder first, and the program runs elevated from the temporary
// folder. It also lets the program run where an export is missing (Wine has
// no DeletePrinterDriverPackageW at all).
#include "platform/spooler.h"

#include "platform/win32/adapt.h"

#include <winspool.h>


namespace korv::os {

using win32::ErrorKeeper;
using win32::LocalBuffer;
using win32::ToText;
using win32::ToTextList;
using win32::W;
using win32::Writable;

#define KORV_WINSPOOL(name) KORV_SYSTEM_FUNCTION(L"winspool.drv", name)

namespace {

// What a spooler call whose export is missing reports.
bool Missing() {
  ::SetLastError(ERROR_PROC_NOT_FOUND);
  return false;
}

HANDLE PrinterOf(const PrinterHandle& printer) { return reinterpret_cast<HANDLE>(printer.get()); }

std::uint64_t FromFileTime(const FILETIME& time) {
  return (std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

FILETIME ToFileTime(std::uint64_t time) {
  FILETIME out;
  out.dwLowDateTime = static_cast<DWORD>(time & 0xFFFFFFFFu);
  out.dwHighDateTime = static_cast<DWORD>(time >> 32);
  return out;
}

// The record fields hold no null strings: the boundary keeps an empty text
// where the spooler had null, and passes null for an empty text.
wchar_t* OrNull(const Text& text) { return text.empty() ? nullptr : Writable(text.c_str()); }

// The two-call enumeration of the spooler: the size, then the records into a
// LocalAlloc buffer. `call(buffer, size, &needed, &returned)` is the API
// call; `take(record)` converts one record. No records is a success.
template <typename Record, typename Call, typename Take>
bool Enumerate(Call call, Take take) {
  ErrorKeeper keep;
  DWORD needed = 0;
  DWORD returned = 0;
  BOOL ok = call(nullptr, 0, &needed, &returned);
  keep.Capture();
  if (ok != FALSE) return true;
  if (keep.error() != ERROR_INSUFFICIENT_BUFFER) return false;
  LocalBuffer buffer(needed);
  if (!buffer) {
    keep.Capture();
    return false;
  }
  ok = call(buffer.bytes(), needed, &needed, &returned);
  keep.Capture();
  if (ok == FALSE) return false;
  const Record* records = buffer.as<Record>();
  for (DWORD i = 0; i < returned; ++i) take(records[i]);
  return true;
}

DriverInfo8 FromNative(const DRIVER_INFO_8W& in) {
  DriverInfo8 out;
  out.cVersion = in.cVersion;
  out.pName = ToText(in.pName);
  out.pEnvironment = ToText(in.pEnvironment);
  out.pDriverPath = ToText(in.pDriverPath);
  out.pDataFile = ToText(in.pDataFile);
  out.pConfigFile = ToText(in.pConfigFile);
  out.pHelpFile = ToText(in.pHelpFile);
  out.pDependentFiles = ToTextList(in.pDependentFiles);
  out.pMonitorName = ToText(in.pMonitorName);
  out.pDefaultDataType = ToText(in.pDefaultDataType);
  out.pszzPreviousNames = ToTextList(in.pszzPreviousNames);
  out.ftDriverDate = FromFileTime(in.ftDriverDate);
  out.dwlDriverVersion = in.dwlDriverVersion;
  out.pszMfgName = ToText(in.pszMfgName);
  out.pszOEMUrl = ToText(in.pszOEMUrl);
  out.pszHardwareID = ToText(in.pszHardwareID);
  out.pszProvider = ToText(in.pszProvider);
  out.pszPrintProcessor = ToText(in.pszPrintProcessor);
  out.pszVendorSetup = ToText(in.pszVendorSetup);
  out.pszzColorProfiles = ToTextList(in.pszzColorProfiles);
  out.pszInfPath = ToText(in.pszInfPath);
  out.dwPrinterDriverAttributes = in.dwPrinterDriverAttributes;
  out.pszzCoreDriverDependencies = ToTextList(in.pszzCoreDriverDependencies);
  out.ftMinInboxDriverVerDate = FromFileTime(in.ftMinInboxDriverVerDate);
  out.dwlMinInboxDriverVerVersion = in.dwlMinInboxDriverVerVersion;
  return out;
}

// ---- PRINTER_INFO_2W ---------------------------------------------------------

PrinterInfo2 FromNative(const PRINTER_INFO_2W& in) {
  PrinterInfo2 out;
  out.pServerName = ToText(in.pServerName);
  out.pPrinterName = ToText(in.pPrinterName);
  out.pShareName = ToText(in.pShareName);
  out.pPortName = ToText(in.pPortName);
  out.pDriverName = ToText(in.pDriverName);
  out.pComment = ToText(in.pComment);
  out.pLocation = ToText(in.pLocation);
  out.pSepFile = ToText(in.pSepFile);
  out.pPrintProcessor = ToText(in.pPrintProcessor);
  out.pDatatype = ToText(in.pDatatype);
  out.pParameters = ToText(in.pParameters);
  out.Attributes = in.Attributes;
  out.Priority = in.Priority;
  out.DefaultPriority = in.DefaultPriority;
  out.StartTime = in.StartTime;
  out.UntilTime = in.UntilTime;
  out.Status = in.Status;
  out.cJobs = in.cJobs;
  out.AveragePPM = in.AveragePPM;
  return out;
}

// The record AddPrinterW is given for `info`; its strings point into `info`.
PRINTER_INFO_2W ToNative(const PrinterInfo2& info) {
  PRINTER_INFO_2W out{};
  out.pServerName = OrNull(info.pServerName);
  out.pPrinterName = OrNull(info.pPrinterName);
  out.pShareName = OrNull(info.pShareName);
  out.pPortName = OrNull(info.pPortName);
  out.pDriverName = OrNull(info.pDriverName);
  out.pComment = OrNull(info.pComment);
  out.pLocation = OrNull(info.pLocation);
  out.pSepFile = OrNull(info.pSepFile);
  out.pPrintProcessor = OrNull(info.pPrintProcessor);
  out.pDatatype = OrNull(info.pDatatype);
  out.pParameters = OrNull(info.pParameters);
  out.Attributes = info.Attributes;
  out.Priority = info.Priority;
  out.DefaultPriority = info.DefaultPriority;
  out.StartTime = info.StartTime;
  out.UntilTime = info.UntilTime;
  out.Status = info.Status;
  out.cJobs = info.cJobs;
  out.AveragePPM = info.AveragePPM;
  return out;
}

// GetPrinterW(printer, 2), both calls, into a LocalAlloc buffer; `use(record)`
// runs while the buffer lives. False (the spooler's error kept) when the
// record cannot be read.
template <typename Use>
bool WithPrinterInfo2(HANDLE printer, Use use) {
  KORV_WINSPOOL(GetPrinterW);
  if (pGetPrinterW == nullptr) return Missing();
  ErrorKeeper keep;
  DWORD needed = 0;
  BOOL ok = pGetPrinterW(printer, 2, nullptr, 0, &needed);
  keep.Capture();
  if (ok != FALSE || keep.error() != ERROR_INSUFFICIENT_BUFFER) return false;
  LocalBuffer buffer(needed);
  if (!buffer) {
    keep.Capture();
    return false;
  }
  ok = pGetPrinterW(printer, 2, buffer.bytes(), needed, &needed);
  keep.Capture();
  if (ok == FALSE) return false;
  return use(*buffer.as<PRINTER_INFO_2W>());
}

}  // namespace

bool EnumPrinterDriversW(std::vector<DriverInfo8>* drivers) {
  KORV_WINSPOOL(EnumPrinterDriversW);
  drivers->clear();
  if (pEnumPrinterDriversW == nullptr) return Missing();
  return Enumerate<DRIVER_INFO_8W>(
      [](LPBYTE buffer, DWORD size, DWORD* needed, DWORD* returned) {
        return pEnumPrinterDriversW(nullptr, nullptr, 8, buffer, size, needed, returned);
      },
      [drivers](const DRIVER_INFO_8W& record) { drivers->push_back(FromNative(record)); });
}

bool AddPrinterDriverW(const DriverInfo8& driver) {
  KORV_WINSPOOL(AddPrinterDriverW);
  if (pAddPrinterDriverW == nullptr) return Missing();
  Text dependentFiles = win32::ToMultiString(driver.pDependentFiles);
  Text previousNames = win32::ToMultiString(driver.pszzPreviousNames);
  Text colorProfiles = win32::ToMultiString(driver.pszzColorProfiles);
  Text coreDependencies = win32::ToMultiString(driver.pszzCoreDriverDependencies);
  DRIVER_INFO_8W record{};
  record.cVersion = driver.cVersion;
  record.pName = OrNull(driver.pName);
  record.pEnvironment = OrNull(driver.pEnvironment);
  record.pDriverPath = OrNull(driver.pDriverPath);
  record.pDataFile = OrNull(driver.pDataFile);
  record.pConfigFile = OrNull(driver.pConfigFile);
  record.pHelpFile = OrNull(driver.pHelpFile);
  record.pDependentFiles = OrNull(dependentFiles);
  record.pMonitorName = OrNull(driver.pMonitorName);
  record.pDefaultDataType = OrNull(driver.pDefaultDataType);
  record.pszzPreviousNames = OrNull(previousNames);
  record.ftDriverDate = ToFileTime(driver.ftDriverDate);
  record.dwlDriverVersion = driver.dwlDriverVersion;
  record.pszMfgName = OrNull(driver.pszMfgName);
  record.pszOEMUrl = OrNull(driver.pszOEMUrl);
  record.pszHardwareID = OrNull(driver.pszHardwareID);
  record.pszProvider = OrNull(driver.pszProvider);
  record.pszPrintProcessor = OrNull(driver.pszPrintProcessor);
  record.pszVendorSetup = OrNull(driver.pszVendorSetup);
  record.pszzColorProfiles = OrNull(colorProfiles);
  record.pszInfPath = OrNull(driver.pszInfPath);
  record.dwPrinterDriverAttributes = driver.dwPrinterDriverAttributes;
  record.pszzCoreDriverDependencies = OrNull(coreDependencies);
  record.ftMinInboxDriverVerDate = ToFileTime(driver.ftMinInboxDriverVerDate);
  record.dwlMinInboxDriverVerVersion = driver.dwlMinInboxDriverVerVersion;
  return pAddPrinterDriverW(nullptr, 8, reinterpret_cast<LPBYTE>(&record)) != FALSE;
}

bool DeletePrinterDriverExW(const char16_t* name, Dword deleteFlag, Dword versionFlag) {
  KORV_WINSPOOL(DeletePrinterDriverExW);
  if (pDeletePrinterDriverExW == nullptr) return Missing();
  return pDeletePrinterDriverExW(nullptr, nullptr, Writable(name), deleteFlag, versionFlag) != FALSE;
}

bool GetPrinterDriverDirectoryW(char16_t* buffer, Dword capacity) {
  KORV_WINSPOOL(GetPrinterDriverDirectoryW);
  if (pGetPrinterDriverDirectoryW == nullptr) return Missing();
  DWORD needed = 0;
  return pGetPrinterDriverDirectoryW(nullptr, nullptr, 1, reinterpret_cast<LPBYTE>(buffer),
                                     capacity * static_cast<DWORD>(sizeof(char16_t)), &needed) != FALSE;
}

bool AddMonitorW(const MonitorInfo2& monitor) {
  KORV_WINSPOOL(AddMonitorW);
  if (pAddMonitorW == nullptr) return Missing();
  MONITOR_INFO_2W record{};
  record.pName = OrNull(monitor.pName);
  record.pEnvironment = OrNull(monitor.pEnvironment);
  record.pDLLName = OrNull(monitor.pDLLName);
  return pAddMonitorW(nullptr, 2, reinterpret_cast<LPBYTE>(&record)) != FALSE;
}

bool DeleteMonitorW(const char16_t* name) {
  KORV_WINSPOOL(DeleteMonitorW);
  if (pDeleteMonitorW == nullptr) return Missing();
  return pDeleteMonitorW(nullptr, nullptr, Writable(name)) != FALSE;
}

bool EnumPortsW(std::vector<Text>* portNames) {
  KORV_WINSPOOL(EnumPortsW);
  portNames->clear();
  if (pEnumPortsW == nullptr) return Missing();
  return Enumerate<PORT_INFO_2W>(
      [](LPBYTE buffer, DWORD size, DWORD* needed, DWORD* returned) {
        return pEnumPortsW(nullptr, 2, buffer, size, needed, returned);
      },
      [portNames](const PORT_INFO_2W& port) { portNames->push_back(ToText(port.pPortName)); });
}

bool OpenPrinterW(const char16_t* name, Dword access, PrinterHandle* printer) {
  KORV_WINSPOOL(OpenPrinterW);
  if (pOpenPrinterW == nullptr) return Missing();
  PRINTER_DEFAULTSW defaults{};
  defaults.pDatatype = nullptr;
  defaults.pDevMode = nullptr;
  defaults.DesiredAccess = access;
  HANDLE opened = nullptr;
  if (pOpenPrinterW(Writable(name), &opened, &defaults) == FALSE || opened == nullptr) return false;
  *printer = PrinterHandle(reinterpret_cast<std::uintptr_t>(opened));
  return true;
}

bool GetPrinterW(const PrinterHandle& printer, PrinterInfo2* info) {
  return WithPrinterInfo2(PrinterOf(printer), [info](const PRINTER_INFO_2W& record) {
    *info = FromNative(record);
    return true;
  });
}

bool SetPrinterW(const PrinterHandle& printer, const PrinterChanges* changes, Dword command) {
  KORV_WINSPOOL(SetPrinterW);
  if (pSetPrinterW == nullptr) return Missing();
  if (changes == nullptr) return pSetPrinterW(PrinterOf(printer), 0, nullptr, command) != FALSE;
  return WithPrinterInfo2(PrinterOf(printer), [&](PRINTER_INFO_2W& record) {
    if (changes->pPortName != nullptr) record.pPortName = Writable(changes->pPortName);
    ErrorKeeper keep;
    BOOL ok = pSetPrinterW(PrinterOf(printer), 2, reinterpret_cast<LPBYTE>(&record), command);
    keep.Capture();
    return ok != FALSE;
  });
}

PrinterHandle AddPrinterW(const PrinterInfo2& info) {
  KORV_WINSPOOL(AddPrinterW);
  if (pAddPrinterW == nullptr) {
    Missing();
    return PrinterHandle();
  }
  ErrorKeeper keep;
  PRINTER_INFO_2W record = ToNative(info);
  HANDLE added = pAddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&record));
  keep.Capture();
  if (added == nullptr) return PrinterHandle();
  return PrinterHandle(reinterpret_cast<std::uintptr_t>(added));
}

bool DeletePrinter(const PrinterHandle& printer) {
  KORV_WINSPOOL(DeletePrinter);
  if (pDeletePrinter == nullptr) return Missing();
  return pDeletePrinter(PrinterOf(printer)) != FALSE;
}

bool EnumPrintersW(Dword flags, std::vector<PrinterInfo2>* printers) {
  KORV_WINSPOOL(EnumPrintersW);
  printers->clear();
  if (pEnumPrintersW == nullptr) return Missing();
  return Enumerate<PRINTER_INFO_2W>(
      [flags](LPBYTE buffer, DWORD size, DWORD* needed, DWORD* returned) {
        return pEnumPrintersW(flags, nullptr, 2, buffer, size, needed, returned);
      },
      [printers](const PRINTER_INFO_2W& record) { printers->push_back(FromNative(record)); });
}

HResult UploadPrinterDriverPackageW(const char16_t* infPath, Dword flags, char16_t* destination,
                                    Dword* capacity) {
  KORV_WINSPOOL(UploadPrinterDriverPackageW);
  if (pUploadPrinterDriverPackageW == nullptr) return E_NOTIMPL;
  ULONG units = capacity != nullptr ? *capacity : 0;
  HRESULT result = pUploadPrinterDriverPackageW(nullptr, W(infPath), nullptr, flags, nullptr,
                                                W(destination), capacity != nullptr ? &units : nullptr);
  if (capacity != nullptr) *capacity = units;
  return result;
}

HResult DeletePrinterDriverPackageW(const char16_t* infPath) {
  KORV_WINSPOOL(DeletePrinterDriverPackageW);
  if (pDeletePrinterDriverPackageW == nullptr) return E_NOTIMPL;
  return pDeletePrinterDriverPackageW(nullptr, W(infPath), nullptr);
}

}  // namespace korv::os

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

#include <cstring>
#include <cwchar>

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

HANDLE PrinterOf(const Handle& printer) { return reinterpret_cast<HANDLE>(printer.get()); }

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

// ---- PRINTER_INFO_2W and its native form ------------------------------------
//
// `PrinterInfo2::native` is the spooler's record made position-independent:
// the PRINTER_INFO_2W itself, whose pointer fields hold offsets into the
// block (plus one, 0 for null), followed by its strings, device mode and
// security descriptor. A record read from the spooler can so be copied
// around by the core and still be written back whole.

constexpr std::size_t kAlign = 8;

class NativeWriter {
 public:
  NativeWriter() : block_(sizeof(PRINTER_INFO_2W)) {}
  // Appends `bytes` bytes and returns their offset plus one (0 for null).
  std::uintptr_t Add(const void* data, std::size_t bytes) {
    if (data == nullptr) return 0;
    std::size_t at = (block_.size() + kAlign - 1) / kAlign * kAlign;
    block_.resize(at + bytes);
    if (bytes != 0) std::memcpy(block_.data() + at, data, bytes);
    return at + 1;
  }
  template <typename T>
  T* String(const wchar_t* text) {
    std::size_t bytes = text != nullptr ? (std::wcslen(text) + 1) * sizeof(wchar_t) : 0;
    return reinterpret_cast<T*>(Add(text, bytes));
  }
  std::vector<std::uint8_t> Finish(const PRINTER_INFO_2W& head) {
    std::memcpy(block_.data(), &head, sizeof(head));
    return std::move(block_);
  }

 private:
  std::vector<std::uint8_t> block_;
};

std::vector<std::uint8_t> ToNativeBlock(const PRINTER_INFO_2W& in) {
  NativeWriter w;
  PRINTER_INFO_2W head = in;
  head.pServerName = w.String<wchar_t>(in.pServerName);
  head.pPrinterName = w.String<wchar_t>(in.pPrinterName);
  head.pShareName = w.String<wchar_t>(in.pShareName);
  head.pPortName = w.String<wchar_t>(in.pPortName);
  head.pDriverName = w.String<wchar_t>(in.pDriverName);
  head.pComment = w.String<wchar_t>(in.pComment);
  head.pLocation = w.String<wchar_t>(in.pLocation);
  head.pSepFile = w.String<wchar_t>(in.pSepFile);
  head.pPrintProcessor = w.String<wchar_t>(in.pPrintProcessor);
  head.pDatatype = w.String<wchar_t>(in.pDatatype);
  head.pParameters = w.String<wchar_t>(in.pParameters);
  head.pDevMode = nullptr;
  if (in.pDevMode != nullptr) {
    std::size_t bytes = std::size_t{in.pDevMode->dmSize} + in.pDevMode->dmDriverExtra;
    head.pDevMode = reinterpret_cast<LPDEVMODEW>(w.Add(in.pDevMode, bytes));
  }
  head.pSecurityDescriptor = nullptr;
  if (in.pSecurityDescriptor != nullptr && ::IsValidSecurityDescriptor(in.pSecurityDescriptor)) {
    DWORD bytes = ::GetSecurityDescriptorLength(in.pSecurityDescriptor);
    head.pSecurityDescriptor = reinterpret_cast<PSECURITY_DESCRIPTOR>(w.Add(in.pSecurityDescriptor, bytes));
  }
  return w.Finish(head);
}

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
  out.native = ToNativeBlock(in);
  return out;
}

// The PRINTER_INFO_2W the spooler is given for `info`: device mode and
// security descriptor from the native block when the record was read from
// the spooler, strings and numbers from `info`. A string the core left as it
// was read is passed exactly as the spooler gave it (null stays null). The
// pointers stay valid while `info` and `block` live.
class NativeRecord {
 public:
  explicit NativeRecord(const PrinterInfo2& info) : block_(info.native) {
    PRINTER_INFO_2W original{};
    if (block_.size() >= sizeof(original)) {
      std::memcpy(&original, block_.data(), sizeof(original));
    } else {
      block_.clear();
    }
    record_.pServerName = Field(info.pServerName, original.pServerName);
    record_.pPrinterName = Field(info.pPrinterName, original.pPrinterName);
    record_.pShareName = Field(info.pShareName, original.pShareName);
    record_.pPortName = Field(info.pPortName, original.pPortName);
    record_.pDriverName = Field(info.pDriverName, original.pDriverName);
    record_.pComment = Field(info.pComment, original.pComment);
    record_.pLocation = Field(info.pLocation, original.pLocation);
    record_.pDevMode = At<DEVMODEW>(original.pDevMode);
    record_.pSepFile = Field(info.pSepFile, original.pSepFile);
    record_.pPrintProcessor = Field(info.pPrintProcessor, original.pPrintProcessor);
    record_.pDatatype = Field(info.pDatatype, original.pDatatype);
    record_.pParameters = Field(info.pParameters, original.pParameters);
    record_.pSecurityDescriptor = At<void>(original.pSecurityDescriptor);
    record_.Attributes = info.Attributes;
    record_.Priority = info.Priority;
    record_.DefaultPriority = info.DefaultPriority;
    record_.StartTime = info.StartTime;
    record_.UntilTime = info.UntilTime;
    record_.Status = info.Status;
    record_.cJobs = info.cJobs;
    record_.AveragePPM = info.AveragePPM;
  }
  NativeRecord(const NativeRecord&) = delete;
  NativeRecord& operator=(const NativeRecord&) = delete;

  LPBYTE get() { return reinterpret_cast<LPBYTE>(&record_); }

 private:
  // The address inside the block that a stored offset stands for.
  template <typename T>
  T* At(const void* stored) {
    auto offset = reinterpret_cast<std::uintptr_t>(stored);
    if (offset == 0 || offset - 1 >= block_.size()) return nullptr;
    return reinterpret_cast<T*>(block_.data() + (offset - 1));
  }
  wchar_t* Field(const Text& text, const wchar_t* stored) {
    wchar_t* original = At<wchar_t>(stored);
    if (original != nullptr ? ToText(original) == text : text.empty()) return original;
    return Writable(text.c_str());
  }

  std::vector<std::uint8_t> block_;
  PRINTER_INFO_2W record_{};
};

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

bool OpenPrinterW(const char16_t* name, Dword access, Handle* printer) {
  KORV_WINSPOOL(OpenPrinterW);
  if (pOpenPrinterW == nullptr) return Missing();
  PRINTER_DEFAULTSW defaults{};
  defaults.pDatatype = nullptr;
  defaults.pDevMode = nullptr;
  defaults.DesiredAccess = access;
  HANDLE opened = nullptr;
  if (pOpenPrinterW(Writable(name), &opened, &defaults) == FALSE) return false;
  *printer = Handle(HandleKind::Printer, reinterpret_cast<std::uintptr_t>(opened));
  return true;
}

bool GetPrinterW(const Handle& printer, PrinterInfo2* info) {
  KORV_WINSPOOL(GetPrinterW);
  if (pGetPrinterW == nullptr) return Missing();
  ErrorKeeper keep;
  DWORD needed = 0;
  BOOL ok = pGetPrinterW(PrinterOf(printer), 2, nullptr, 0, &needed);
  keep.Capture();
  if (ok != FALSE || keep.error() != ERROR_INSUFFICIENT_BUFFER) return false;
  LocalBuffer buffer(needed);
  if (!buffer) {
    keep.Capture();
    return false;
  }
  ok = pGetPrinterW(PrinterOf(printer), 2, buffer.bytes(), needed, &needed);
  keep.Capture();
  if (ok == FALSE) return false;
  *info = FromNative(*buffer.as<PRINTER_INFO_2W>());
  return true;
}

bool SetPrinterW(const Handle& printer, const PrinterInfo2* info, Dword command) {
  KORV_WINSPOOL(SetPrinterW);
  if (pSetPrinterW == nullptr) return Missing();
  if (info == nullptr) return pSetPrinterW(PrinterOf(printer), 0, nullptr, command) != FALSE;
  ErrorKeeper keep;
  NativeRecord record(*info);
  BOOL ok = pSetPrinterW(PrinterOf(printer), 2, record.get(), command);
  keep.Capture();
  return ok != FALSE;
}

Handle AddPrinterW(const PrinterInfo2& info) {
  KORV_WINSPOOL(AddPrinterW);
  if (pAddPrinterW == nullptr) {
    Missing();
    return Handle();
  }
  ErrorKeeper keep;
  NativeRecord record(info);
  HANDLE added = pAddPrinterW(nullptr, 2, record.get());
  keep.Capture();
  if (added == nullptr) return Handle();
  return Handle(HandleKind::Printer, reinterpret_cast<std::uintptr_t>(added));
}

bool DeletePrinter(const Handle& printer) {
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

// The Win32 adapters of platform/win32/ against a real API (Wine here), run by run_adapter_test.sh, for what the
// Wine scenarios cannot show through the program: the system's error surviving the adapters' conversions and
// handle closing, a queue record written back whole, a foreign device record refused.
#include "platform/devices.h"
#include "platform/kernel.h"
#include "platform/registry.h"
#include "platform/services.h"
#include "platform/spooler.h"

#include <cstdio>
#include <cstring>

// Calls made outside the boundary, in adapter_test_win.cpp: <windows.h> macros would rename the boundary's names.
namespace korv::test { Dword ProcessIdOf(std::uintptr_t process); }

namespace {
using korv::Dword;
namespace os = korv::os;
namespace err = korv::err;

int failures = 0;
void Check(bool ok, const char* what, long long n = 0) { if (!ok) std::printf("FAIL %s: %lld\n", what, n), ++failures; }
Dword ErrorUnless(bool ok) { return ok ? 0u : os::GetLastError(); }

// Each failing call and the error the system gives, which a copy freed, a handle closed or a text converted on
// the way must not overwrite.
const struct { const char* name; Dword want; Dword (*call)(); } kErrorCases[] = {
    {"CreateProcessW of a missing program", err::PathNotFound, [] {  // Windows says "path", Wine "file"
       Dword e = ErrorUnless(os::CreateProcessW(nullptr, u"\"C:\\no such folder\\none.exe\" /x").started);
       return e == err::FileNotFound ? err::PathNotFound : e; }},
    {"bogus handle closed", 4321u, [] { os::SetLastError(4321), os::KernelHandle(0x7FFC); return os::GetLastError(); }},
    {"RegQueryValueExW into too small a buffer", err::MoreData, [] {
       os::KeyHandle key;
       char16_t tiny[2];
       Dword size = sizeof(tiny);
       os::RegOpenKeyExW(u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", os::KEY_QUERY_VALUE, &key);
       return os::RegQueryValueExW(key, u"SystemRoot", nullptr, tiny, &size); }},
    {"RegOpenKeyExW of a missing key", err::FileNotFound, [] {
       os::KeyHandle k;
       return os::RegOpenKeyExW(u"SOFTWARE\\korv adapter test", os::KEY_QUERY_VALUE, &k); }},
    {"OpenServiceW of a missing service", err::ServiceDoesNotExist, [] {
       os::ServiceHandle manager = os::OpenSCManagerW(os::SC_MANAGER_ALL_ACCESS);
       return ErrorUnless(static_cast<bool>(os::OpenServiceW(manager, u"korv none", os::SERVICE_ALL_ACCESS))); }},
    {"OpenPrinterW of a missing queue", err::InvalidPrinterName, [] {
       os::PrinterHandle none;
       return ErrorUnless(os::OpenPrinterW(u"korv none", os::PRINTER_ALL_ACCESS, &none)); }},
};

void TestProcessAndModulePath() {
  char16_t small[8];
  os::ProcessStart child = os::CreateProcessW(nullptr, u"cmd.exe /c exit");  // found in the system folder
  Check(child.started && child.processId == korv::test::ProcessIdOf(child.process.get()), "a child's id, its handle's");
  std::memset(small, 0x7F, sizeof(small));  // a module path that does not fit is cut and terminated
  Dword copied = os::GetModuleFileNameW(small, 8);
  Check(copied == 8 && small[7] == u'\0', "a cut module path is terminated, its length the buffer's", copied);
}

// Moving a queue to another port writes the rest back as the spooler has it: the comment given when it was added
// stays. The queue stands on Wine's PostScript driver, registered under a name of the test's.
void TestQueueRoundTrip() {
  const char16_t kQueue[] = u"korv adapter test queue", kComment[] = u"written back by the adapter test";
  const os::DriverInfo8 driver{.cVersion = 3, .pName = u"korv adapter test driver", .pDriverPath = u"wineps.drv",
                         .pDataFile = u"wineps.drv", .pConfigFile = u"wineps.drv",
                         .pDependentFiles = {u"wineps.drv"}, .pDefaultDataType = u"RAW"};
  Check(os::AddPrinterDriverW(driver), "AddPrinterDriverW", os::GetLastError());
  const os::PrinterInfo2 queue{.pPrinterName = kQueue, .pPortName = u"FILE:", .pDriverName = driver.pName,
                               .pComment = kComment, .pPrintProcessor = u"WinPrint", .pDatatype = u"RAW",
                               .Attributes = os::PRINTER_ATTRIBUTE_LOCAL};
  Check(static_cast<bool>(os::AddPrinterW(queue)), "AddPrinterW", os::GetLastError());
  os::PrinterHandle printer;
  os::PrinterChanges changes{.pPortName = u"LPT1:"};
  Check(os::OpenPrinterW(kQueue, os::PRINTER_ALL_ACCESS, &printer) && os::SetPrinterW(printer, &changes, 0),
        "moving the queue", os::GetLastError());
  std::vector<os::PrinterInfo2> queues;
  int found = 0;
  os::EnumPrintersW(os::PRINTER_ENUM_LOCAL, &queues);
  for (const auto& q : queues)
    found += q.pPrinterName == kQueue && q.pPortName == u"LPT1:" && q.pComment == kComment &&
             q.pDriverName == driver.pName && q.pDatatype == u"RAW";
  Check(found == 1, "the queue after the move, comment and driver kept", found);
}

// A record the device set gave out is taken back; one with the adapter's hidden part forged is refused.
void TestDeviceRecords() {
  std::vector<os::Guid> system;
  if (!os::SetupDiClassGuidsFromNameW(u"System", &system) || system.empty()) return Check(false, "the System class");
  os::DevInfoHandle devices = os::SetupDiGetClassDevsExW(system[0], os::DIGCF_ALLCLASSES);
  os::DeviceInfoData device;
  char16_t name[255];
  Check(os::SetupDiEnumDeviceInfo(devices, 0, &device) && device.reserved != 0, "a device record");
  os::SetLastError(0);
  bool named = os::SetupDiGetDeviceFriendlyNameW(devices, device, name, 255);
  Check(named || os::GetLastError() != err::InvalidParameter, "a given-out record accepted", os::GetLastError());
  device.reserved = 0;
  Check(!os::SetupDiGetDeviceFriendlyNameW(devices, device, name, 255), "a forged record refused");
}
}  // namespace

int wmain() {
  for (const auto& c : kErrorCases) if (Dword got = c.call(); got != c.want) Check(false, c.name, got);
  TestProcessAndModulePath();
  TestQueueRoundTrip();
  TestDeviceRecords();
  std::printf("%d failed\n", failures);
  return failures == 0 ? 0 : 1;
}

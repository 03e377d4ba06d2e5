// The Win32 adapters of platform/win32/ against a real implementation of the
// API (Windows, or Wine here): a console program linked with the adapters
// only. Run by tests/windows/run_adapter_test.sh.
//
// What it guards, beyond what the Wine scenarios (tests/wine/) show through
// the program: the system's error surviving the adapters' own conversions
// and handle closing, records converted whole in both directions (a queue
// read, changed and written back keeps what the boundary does not show), a
// device record the adapter did not give out refused.
#include "platform/devices.h"
#include "platform/kernel.h"
#include "platform/registry.h"
#include "platform/services.h"
#include "platform/spooler.h"

#include <cstdio>
#include <cstring>
#include <string>

// The few calls the test makes itself (adapter_test_win.cpp): this file
// includes no <windows.h>, whose macros carry the boundary's names.
namespace korv::test {
Dword WaitForExitCode(std::uintptr_t handle);  // ~0u after 30 s
Dword ProcessIdOf(std::uintptr_t process);
}  // namespace korv::test

namespace {

using korv::Dword;
using korv::Text;
namespace os = korv::os;
namespace err = korv::err;

int failures = 0;
void Check(bool ok, const char* what, long long got = 0) {
  if (!ok) std::printf("FAIL %s (got %lld)\n", what, got), ++failures;
}

// The error of a failed call, 0 when it succeeded.
Dword ErrorUnless(bool ok) { return ok ? 0u : os::GetLastError(); }

// Each failing call, and the error the system gives for it, which must reach
// the core through the adapter (a copy freed, a handle closed, a text
// converted on the way must not overwrite it).
struct ErrorCase {
  const char* name;
  Dword (*call)();  // the last error (or status) after the call
  Dword want;
};

const ErrorCase kErrorCases[] = {
    // Windows says "path", Wine "file" for the missing folder.
    {"CreateProcessW of a missing program", [] {
       Dword e = ErrorUnless(os::CreateProcessW(nullptr, u"\"C:\\no such folder\\none.exe\" /x").started);
       return e == err::FileNotFound ? err::PathNotFound : e;
     }, err::PathNotFound},
    {"closing a bogus handle", [] {
       os::SetLastError(4321);
       { os::KernelHandle bogus(0x7FFC); }
       return os::GetLastError();
     }, 4321u},
    {"RegQueryValueExW into too small a buffer", [] {
       os::KeyHandle key;
       char16_t tiny[2];
       Dword size = sizeof(tiny);
       os::RegOpenKeyExW(u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", os::KEY_QUERY_VALUE, &key);
       return os::RegQueryValueExW(key, u"SystemRoot", nullptr, tiny, &size);
     }, err::MoreData},
    {"RegOpenKeyExW of a missing key", [] {
       os::KeyHandle missing;
       return os::RegOpenKeyExW(u"SOFTWARE\\korv adapter test\\none", os::KEY_QUERY_VALUE, &missing);
     }, err::FileNotFound},
    {"RegEnumKeyW past the last subkey", [] {
       os::KeyHandle key;
       char16_t name[260];
       os::RegOpenKeyExW(u"SOFTWARE\\Microsoft", os::KEY_ENUMERATE_SUB_KEYS | os::KEY_WOW64_64KEY, &key);
       return os::RegEnumKeyW(key, 100000, name, 260);
     }, err::NoMoreItems},
    {"OpenServiceW of a missing service", [] {
       os::ServiceHandle manager = os::OpenSCManagerW(os::SC_MANAGER_ALL_ACCESS);
       return ErrorUnless(static_cast<bool>(os::OpenServiceW(manager, u"korv no such service", os::SERVICE_ALL_ACCESS)));
     }, err::ServiceDoesNotExist},
    {"GetPrinterDriverDirectoryW into too small a buffer", [] {
       char16_t small[4];
       return ErrorUnless(os::GetPrinterDriverDirectoryW(small, 4));
     }, err::InsufficientBuffer},
    {"OpenPrinterW of a missing queue", [] {
       os::PrinterHandle none;
       return ErrorUnless(os::OpenPrinterW(u"korv no such queue", os::PRINTER_ALL_ACCESS, &none));
     }, err::InvalidPrinterName},
};

void TestProcessesAndText() {
  char16_t system[260] = {};
  os::GetSystemDirectoryW(system, 260);
  os::ProcessStart child = os::CreateProcessW(nullptr, (u"\"" + Text(system) + u"\\cmd.exe\" /c exit 7").c_str());
  Check(child.started && korv::test::WaitForExitCode(child.process.get()) == 7 &&
            child.processId == korv::test::ProcessIdOf(child.process.get()),
        "a child's exit code and process id");

  // A module path that does not fit is cut and terminated.
  char16_t small[8];
  std::memset(small, 0x7F, sizeof(small));
  Dword copied = os::GetModuleFileNameW(small, 8);
  Check((copied == 8 || copied == 7) && small[7] == u'\0', "a cut module path is terminated", copied);

}

// A driver of the spooler's own for a queue to stand on; a fresh Wine prefix
// has none, but Wine's PostScript driver can be registered.
Text AnyDriver() {
  std::vector<os::DriverInfo8> drivers;
  if (os::EnumPrinterDriversW(&drivers) && !drivers.empty()) return drivers.front().pName;
  os::DriverInfo8 driver;
  driver.cVersion = 3;
  driver.pName = u"korv adapter test driver";
  driver.pDriverPath = driver.pDataFile = driver.pConfigFile = u"wineps.drv";
  driver.pDependentFiles = {u"wineps.drv"};
  driver.pDefaultDataType = u"RAW";
  return os::AddPrinterDriverW(driver) ? driver.pName : Text();
}

void TestQueueRoundTrip() {
  const char16_t kQueue[] = u"korv adapter test queue";
  const char16_t kComment[] = u"written back by the adapter test";
  os::PrinterInfo2 queue;
  queue.pPrinterName = kQueue;
  queue.pPortName = u"FILE:";
  queue.pDriverName = AnyDriver();
  queue.pPrintProcessor = u"WinPrint";
  queue.pDatatype = u"RAW";
  queue.Attributes = os::PRINTER_ATTRIBUTE_LOCAL;
  queue.pComment = kComment;
  Check(static_cast<bool>(os::AddPrinterW(queue)), "AddPrinterW", os::GetLastError());
  // Moving the queue to another port writes the rest back as the spooler
  // has it: the comment given when the queue was added stays.
  os::PrinterHandle printer;
  os::PrinterChanges changes;
  changes.pPortName = u"LPT1:";
  Check(os::OpenPrinterW(kQueue, os::PRINTER_ALL_ACCESS, &printer) && os::SetPrinterW(printer, &changes, 0),
        "moving the queue", os::GetLastError());
  std::vector<os::PrinterInfo2> queues;
  int found = 0;
  os::EnumPrintersW(os::PRINTER_ENUM_LOCAL, &queues);
  for (const auto& q : queues) {
    found += q.pPrinterName == kQueue && q.pPortName == u"LPT1:" && q.pComment == kComment &&
             q.pDriverName == queue.pDriverName && q.pDatatype == u"RAW";
  }
  Check(found == 1, "the queue after the move, comment and driver kept", found);
  Check(os::DeletePrinter(printer), "DeletePrinter", os::GetLastError());
}

void TestDeviceRecords() {
  std::vector<os::Guid> system;
  if (!os::SetupDiClassGuidsFromNameW(u"System", &system) || system.empty()) return Check(false, "the System class");
  // A record the set gave out is taken back; one with the adapter's hidden
  // part forged is refused.
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
  for (const ErrorCase& c : kErrorCases) {
    Dword got = c.call();
    Check(got == c.want, c.name, got);
  }
  TestProcessesAndText();
  TestQueueRoundTrip();
  TestDeviceRecords();
  std::printf("%d failed\n", failures);
  return failures == 0 ? 0 : 1;
}

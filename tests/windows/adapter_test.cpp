// The Win32 adapters of platform/win32/ against a real implementation of the
// API (Windows, or Wine here): a console program linked with the adapters
// only. Run by tests/windows/run_adapter_test.sh.
//
// What it guards: the system's error surviving the adapters' own
// conversions and handle closing, records converted whole in both
// directions (a queue read, changed and written back keeps what the
// boundary does not show), the calling-convention trampolines, and calls
// resolved at run time where the system may lack them.
#include "platform/devices.h"
#include "platform/kernel.h"
#include "platform/registry.h"
#include "platform/services.h"
#include "platform/shell.h"
#include "platform/spooler.h"

#include <cstdio>
#include <cstring>
#include <functional>
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

Dword ThreadBody(void* argument) {
  *static_cast<int*>(argument) += 1;
  return 0x5A5A;
}

// Each failing call, and the error the system gives for it, which must reach
// the core through the adapter (a copy freed, a handle closed, a text
// converted on the way must not overwrite it).
struct ErrorCase {
  const char* name;
  std::function<Dword()> call;  // the last error (or status) after the call
  Dword want;
};

void TestErrors() {
  const ErrorCase cases[] = {
      {"DeleteFileW of a missing file", [] {
         char16_t folder[256] = {}, path[260] = {};
         os::GetTempPathW(256, folder);
         os::GetTempFileNameW(folder, u"kad", 0, path);
         os::DeleteFileW(path);
         return os::DeleteFileW(path) ? 0u : os::GetLastError();
       }, err::FileNotFound},
      {"CreateProcessW of a missing program", [] {
         os::SetLastError(0);
         return os::CreateProcessW(nullptr, u"\"C:\\no such folder\\none.exe\" /x").started ? 0u : os::GetLastError();
       }, err::PathNotFound},
      {"closing a bogus handle", [] {
         os::SetLastError(4321);
         { os::KernelHandle bogus(0x7FFC); }
         return os::GetLastError();
       }, 4321u},
      {"a second CreateMutexW", [] {
         static os::KernelHandle first = os::CreateMutexW(u"korv-adapter-test-mutex");
         os::KernelHandle second = os::CreateMutexW(u"korv-adapter-test-mutex");
         return second ? os::GetLastError() : 0u;
       }, err::AlreadyExists},
      {"RegQueryValueExW into too small a buffer", [] {
         os::KeyHandle key;
         os::RegOpenKeyExW(u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", os::KEY_QUERY_VALUE, &key);
         char16_t tiny[2];
         Dword size = sizeof(tiny);
         return os::RegQueryValueExW(key, u"SystemRoot", nullptr, tiny, &size);
       }, err::MoreData},
      {"RegOpenKeyExW of a missing key", [] {
         os::KeyHandle missing;
         return os::RegOpenKeyExW(u"SOFTWARE\\korv adapter test\\none", os::KEY_QUERY_VALUE, &missing);
       }, err::FileNotFound},
      {"RegEnumKeyW past the last subkey", [] {
         os::KeyHandle key;
         os::RegOpenKeyExW(u"SOFTWARE\\Microsoft", os::KEY_ENUMERATE_SUB_KEYS | os::KEY_WOW64_64KEY, &key);
         char16_t name[260];
         return os::RegEnumKeyW(key, 100000, name, 260);
       }, err::NoMoreItems},
      {"OpenServiceW of a missing service", [] {
         os::ServiceHandle manager = os::OpenSCManagerW(os::SC_MANAGER_ALL_ACCESS);
         return os::OpenServiceW(manager, u"korv no such service", os::SERVICE_ALL_ACCESS) ? 0u : os::GetLastError();
       }, err::ServiceDoesNotExist},
      {"GetPrinterDriverDirectoryW into too small a buffer", [] {
         char16_t small[4];
         return os::GetPrinterDriverDirectoryW(small, 4) ? 0u : os::GetLastError();
       }, err::InsufficientBuffer},
      {"OpenPrinterW of a missing queue", [] {
         os::PrinterHandle none;
         return os::OpenPrinterW(u"korv no such queue", os::PRINTER_ALL_ACCESS, &none) ? 0u : os::GetLastError();
       }, err::InvalidPrinterName},
  };
  for (const ErrorCase& c : cases) {
    Dword got = c.call();
    // A missing folder in the path: Windows says "path", Wine "file".
    bool ok = got == c.want || (c.want == err::PathNotFound && got == err::FileNotFound);
    Check(ok, c.name, got);
  }
}

void TestTrampolinesAndText() {
  int value = 41;
  os::KernelHandle thread = os::CreateThread(ThreadBody, &value);
  Dword code = korv::test::WaitForExitCode(thread.get());
  Check(value == 42 && code == 0x5A5Au, "the thread's argument and exit code", code);

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

  std::vector<Text> args;
  Check(os::CommandLineToArgvW(u"prog.exe -u \"C:\\My Folder\\\\\" \"a\"\"b\"", &args) && args.size() == 4 &&
            args[2] == u"C:\\My Folder\\" && args[3] == u"a\"b",
        "the split command line", static_cast<long long>(args.size()));
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

void TestRunTimeCallsAndDevices() {
  // Where the system lacks them (Wine has no package deletion and the upload
  // as a stub) the result is an error, not a process that cannot start.
  char16_t destination[260] = {};
  Dword capacity = 260;
  Check(os::UploadPrinterDriverPackageW(u"C:\\korv\\none.inf", os::UPDP_UPLOAD_ALWAYS, destination, &capacity) !=
            korv::hr::Ok, "the upload of a missing INF");
  Check(os::DeletePrinterDriverPackageW(u"C:\\korv\\none.inf") != korv::hr::Ok, "the deletion of a missing package");

  std::vector<os::Guid> system;
  Check(os::SetupDiClassGuidsFromNameW(u"System", &system) && !system.empty() && system[0].data1 == 0x4d36e97du &&
            system[0].data2 == 0xe325u && system[0].data4[0] == 0xbf && system[0].data4[7] == 0x18,
        "the System class GUID {4d36e97d-e325-11ce-bfc1-08002be10318}");
  if (system.empty()) return;
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
  TestErrors();
  TestTrampolinesAndText();
  TestQueueRoundTrip();
  TestRunTimeCallsAndDevices();
  std::printf("%d failed\n", failures);
  return failures == 0 ? 0 : 1;
}

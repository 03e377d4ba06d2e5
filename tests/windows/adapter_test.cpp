// The Win32 adapters of platform/win32/ against a real implementation of the
// API (Windows, or Wine in the tests): a console program linked with the
// adapters only, no core. Run by tests/windows/run_adapter_test.sh.
//
// What it guards: records converted whole in both directions (a queue read,
// changed and written back keeps what the boundary does not show), the last
// error surviving the adapters' own conversions and the closing of handles,
// the calling-convention trampolines, and run-time resolution of calls the
// system may lack.
#include "platform/devices.h"
#include "platform/kernel.h"
#include "platform/registry.h"
#include "platform/services.h"
#include "platform/shell.h"
#include "platform/spooler.h"
#include "platform/ui.h"

#include <cstdio>
#include <cstring>
#include <string>

// The few calls the test makes itself (tests/windows/adapter_test_win.cpp):
// this file includes no <windows.h>, whose macros carry the names of the
// boundary's constants.
namespace korv::test {
// Waits for a thread or process; its exit code, or ~0u after 30 s.
Dword WaitForExitCode(std::uintptr_t handle);
Dword ProcessIdOf(std::uintptr_t process);
}  // namespace korv::test

namespace {

using korv::Dword;
using korv::Text;
namespace os = korv::os;

int failures = 0;
int checks = 0;

#define CHECK(condition)                                                       \
  do {                                                                         \
    ++checks;                                                                  \
    if (!(condition)) {                                                        \
      ++failures;                                                              \
      std::printf("FAIL %s:%d: %s\n", __FILE__, __LINE__, #condition);         \
    }                                                                          \
  } while (0)

#define CHECK_EQ(actual, expected)                                                           \
  do {                                                                                       \
    ++checks;                                                                                \
    const auto a_ = (actual);                                                                \
    const auto e_ = (expected);                                                              \
    if (!(a_ == e_)) {                                                                       \
      ++failures;                                                                            \
      std::printf("FAIL %s:%d: %s is %lld, expected %lld\n", __FILE__, __LINE__, #actual,    \
                  static_cast<long long>(a_), static_cast<long long>(e_));                   \
    }                                                                                        \
  } while (0)

// ---- kernel -------------------------------------------------------------------

Dword ThreadBody(void* argument) {
  auto* value = static_cast<int*>(argument);
  *value += 1;
  return 0x5A5A;
}

void TestThreads() {
  int value = 41;
  os::Handle thread = os::CreateThread(ThreadBody, &value);
  CHECK(static_cast<bool>(thread));
  Dword code = korv::test::WaitForExitCode(thread.get());
  // The argument reached the core's procedure, and its result is the thread's
  // exit code.
  CHECK_EQ(value, 42);
  CHECK_EQ(code, 0x5A5Au);
}

void TestFilesAndText() {
  char16_t folder[256] = {};
  Dword length = os::GetTempPathW(256, folder);
  CHECK(length > 0 && length < 256 && folder[length - 1] == u'\\');
  char16_t path[260] = {};
  CHECK(os::GetTempFileNameW(folder, u"kad", 0, path) != 0);
  CHECK(os::FileExists(path));
  CHECK(os::DeleteFileW(path));
  CHECK(!os::FileExists(path));
  CHECK(!os::DeleteFileW(path));
  CHECK_EQ(os::GetLastError(), korv::err::FileNotFound);

  // A module path that does not fit is cut and terminated.
  char16_t small[8];
  std::memset(small, 0x7F, sizeof(small));
  Dword copied = os::GetModuleFileNameW(small, 8);
  CHECK(copied == 8 || copied == 7);
  CHECK(small[7] == u'\0');

  char16_t wide[16] = {};
  CHECK_EQ(os::MultiByteToWideChar("abc", -1, wide, 16), 4);
  CHECK(Text(wide) == u"abc");
  char narrow[16] = {};
  CHECK_EQ(os::WideCharToMultiByte(u"xyz", -1, narrow, 16), 4);
  CHECK(std::strcmp(narrow, "xyz") == 0);

  std::uint16_t arch = os::GetNativeProcessorArchitecture();
  CHECK(arch == korv::arch::Intel || arch == korv::arch::Amd64 || arch == korv::arch::Arm64);
}

void TestProcesses() {
  // A program that does not exist: the failure of CreateProcessW, with its
  // error, comes back after the adapter has freed its copy of the line.
  os::SetLastError(0);
  os::ProcessStart none = os::CreateProcessW(nullptr, u"\"C:\\no such folder\\none.exe\" /x");
  CHECK(!none.started);
  Dword error = os::GetLastError();
  CHECK(error == korv::err::FileNotFound || error == korv::err::PathNotFound);

  char16_t system[260] = {};
  CHECK(os::GetSystemDirectoryW(system, 260) > 0);
  Text line = u"\"" + Text(system) + u"\\cmd.exe\" /c exit 7";
  os::ProcessStart child = os::CreateProcessW(nullptr, line.c_str());
  CHECK(child.started);
  if (child.started) {
    CHECK_EQ(korv::test::WaitForExitCode(child.process.get()), 7u);
    CHECK(child.processId == korv::test::ProcessIdOf(child.process.get()));
  }

  // Closing a handle keeps the last error, also when the close fails.
  os::SetLastError(4321);
  { os::Handle bogus(os::HandleKind::Kernel, 0x7FFC); }
  CHECK_EQ(os::GetLastError(), 4321u);

  // A named mutex: the second creation reports that it exists.
  os::Handle first = os::CreateMutexW(u"korv-adapter-test-mutex");
  CHECK(static_cast<bool>(first));
  os::Handle second = os::CreateMutexW(u"korv-adapter-test-mutex");
  CHECK(static_cast<bool>(second));
  CHECK_EQ(os::GetLastError(), korv::err::AlreadyExists);
}

// ---- shell ----------------------------------------------------------------------

void TestCommandLine() {
  std::vector<Text> arguments;
  CHECK(os::CommandLineToArgvW(u"prog.exe -u \"C:\\My Folder\\\\\" \"a\"\"b\"", &arguments));
  CHECK_EQ(arguments.size(), 4u);
  if (arguments.size() == 4) {
    CHECK(arguments[0] == u"prog.exe");
    CHECK(arguments[1] == u"-u");
    CHECK(arguments[2] == u"C:\\My Folder\\");
    CHECK(arguments[3] == u"a\"b");
  }
}

// ---- registry and services --------------------------------------------------------

void TestRegistry() {
  os::Handle key;
  CHECK_EQ(os::RegOpenKeyExW(u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", os::KEY_QUERY_VALUE,
                             &key),
           0u);
  Dword type = 0;
  Dword size = 0;
  CHECK_EQ(os::RegQueryValueExW(key, u"SystemRoot", &type, nullptr, &size), 0u);
  CHECK_EQ(type, static_cast<Dword>(os::REG_SZ));
  CHECK(size > 2 && size % 2 == 0);
  // Too small a buffer: ERROR_MORE_DATA and the size needed.
  char16_t tiny[2];
  Dword tinySize = sizeof(tiny);
  CHECK_EQ(os::RegQueryValueExW(key, u"SystemRoot", nullptr, tiny, &tinySize),
           korv::err::MoreData);
  CHECK_EQ(tinySize, size);
  std::vector<char16_t> value(size / 2 + 1, u'\0');
  Dword valueSize = size;
  CHECK_EQ(os::RegQueryValueExW(key, u"SystemRoot", nullptr, value.data(), &valueSize), 0u);
  CHECK(Text(value.data()).size() >= 3 && value[1] == u':');

  os::Handle parent;
  const Dword access = os::KEY_QUERY_VALUE | os::KEY_ENUMERATE_SUB_KEYS | os::KEY_WOW64_64KEY;
  CHECK_EQ(os::RegOpenKeyExW(u"SOFTWARE\\Microsoft", access, &parent), 0u);
  os::Handle child;
  CHECK_EQ(os::RegOpenKeyExW(parent, u"Windows NT", access, &child), 0u);
  char16_t name[260];
  CHECK_EQ(os::RegEnumKeyW(child, 0, name, 260), 0u);
  CHECK_EQ(os::RegEnumKeyW(child, 100000, name, 260), korv::err::NoMoreItems);
  os::Handle missing;
  CHECK_EQ(os::RegOpenKeyExW(u"SOFTWARE\\korv adapter test\\none", os::KEY_QUERY_VALUE, &missing),
           korv::err::FileNotFound);
  CHECK(!missing);
}

void TestServices() {
  os::Handle manager = os::OpenSCManagerW(os::SC_MANAGER_ALL_ACCESS);
  CHECK(static_cast<bool>(manager));
  os::Handle spooler = os::OpenServiceW(manager, u"Spooler", os::SERVICE_ALL_ACCESS);
  CHECK(static_cast<bool>(spooler));
  Dword state = 0;
  CHECK(os::QueryServiceStatusEx(spooler, &state));
  CHECK(state >= os::SERVICE_STOPPED && state <= os::SERVICE_PAUSED);
  os::Handle none = os::OpenServiceW(manager, u"korv no such service", os::SERVICE_ALL_ACCESS);
  CHECK(!none);
  CHECK_EQ(os::GetLastError(), korv::err::ServiceDoesNotExist);
}

// ---- spooler ----------------------------------------------------------------------

const char16_t kQueue[] = u"korv adapter test queue";

// A driver of the spooler's own, for a queue to stand on.
Text AnyDriver() {
  std::vector<os::DriverInfo8> drivers;
  if (os::EnumPrinterDriversW(&drivers) && !drivers.empty()) return drivers.front().pName;
  // A fresh Wine prefix has none; Wine's PostScript driver is in the driver
  // directory and can be registered.
  os::DriverInfo8 driver;
  driver.cVersion = 3;
  driver.pName = u"korv adapter test driver";
  driver.pDriverPath = u"wineps.drv";
  driver.pDataFile = u"wineps.drv";
  driver.pConfigFile = u"wineps.drv";
  driver.pDependentFiles = {u"wineps.drv"};
  driver.pDefaultDataType = u"RAW";
  driver.dwlDriverVersion = 0x0001000200030004ull;
  if (!os::AddPrinterDriverW(driver)) {
    std::printf("note: AddPrinterDriverW failed, error %lu\n", static_cast<unsigned long>(os::GetLastError()));
    return Text();
  }
  return driver.pName;
}

void TestSpooler() {
  char16_t directory[260] = {};
  CHECK(os::GetPrinterDriverDirectoryW(directory, 260));
  CHECK(Text(directory).find(u"spool") != Text::npos);
  // Too small: the size error, as the spooler gives it.
  char16_t small[4];
  CHECK(!os::GetPrinterDriverDirectoryW(small, 4));
  CHECK_EQ(os::GetLastError(), korv::err::InsufficientBuffer);

  std::vector<Text> ports;
  CHECK(os::EnumPortsW(&ports));
  bool haveFile = false;
  for (const Text& port : ports) haveFile = haveFile || port == u"FILE:";
  CHECK(haveFile);

  // An unknown queue: the spooler's error survives the adapter.
  os::Handle none;
  CHECK(!os::OpenPrinterW(u"korv no such queue", os::PRINTER_ALL_ACCESS, &none));
  CHECK_EQ(os::GetLastError(), korv::err::InvalidPrinterName);

  Text driver = AnyDriver();
  CHECK(!driver.empty());
  if (driver.empty()) return;
  std::vector<os::DriverInfo8> drivers;
  CHECK(os::EnumPrinterDriversW(&drivers));
  bool listed = false;
  for (const auto& d : drivers) listed = listed || d.pName == driver;
  CHECK(listed);

  os::PrinterInfo2 queue;
  queue.pPrinterName = kQueue;
  queue.pPortName = u"FILE:";
  queue.pDriverName = driver;
  queue.pPrintProcessor = u"WinPrint";
  queue.pDatatype = u"RAW";
  queue.Attributes = os::PRINTER_ATTRIBUTE_LOCAL;
  os::Handle added = os::AddPrinterW(queue);
  CHECK(static_cast<bool>(added));
  if (!added) {
    std::printf("note: AddPrinterW failed, error %lu\n", static_cast<unsigned long>(os::GetLastError()));
    return;
  }
  added.reset();

  os::Handle printer;
  CHECK(os::OpenPrinterW(kQueue, os::PRINTER_ALL_ACCESS, &printer));
  os::PrinterInfo2 read;
  CHECK(os::GetPrinterW(printer, &read));
  CHECK(read.pPrinterName == kQueue);
  CHECK(read.pPortName == u"FILE:");
  CHECK(read.pDriverName == driver);
  CHECK(!read.native.empty());

  // The native block is position-independent: a copy of the record, the
  // original gone, still writes back whole. Only the comment changes.
  os::PrinterInfo2 copy;
  {
    os::PrinterInfo2 moved = read;
    copy = moved;
  }
  copy.pComment = u"written back by the adapter test";
  CHECK(os::SetPrinterW(printer, &copy, 0));
  os::PrinterInfo2 again;
  CHECK(os::GetPrinterW(printer, &again));
  CHECK(again.pComment == u"written back by the adapter test");
  CHECK(again.pPortName == u"FILE:");
  CHECK(again.pDriverName == driver);
  CHECK(again.pDatatype == read.pDatatype);

  std::vector<os::PrinterInfo2> queues;
  CHECK(os::EnumPrintersW(os::PRINTER_ENUM_LOCAL, &queues));
  bool found = false;
  for (const auto& q : queues) {
    if (q.pPrinterName != kQueue) continue;
    found = true;
    CHECK(q.pPortName == u"FILE:");
    CHECK(q.pComment == u"written back by the adapter test");
    CHECK(!q.native.empty());
  }
  CHECK(found);

  CHECK(os::DeletePrinter(printer));
  printer.reset();
  os::Handle gone;
  CHECK(!os::OpenPrinterW(kQueue, os::PRINTER_ALL_ACCESS, &gone));
}

void TestDriverPackages() {
  // Resolved at run time: where the system lacks them (Wine lacks the
  // deletion entirely, and has the upload as a stub), the result is an
  // error code, not a process that cannot start.
  char16_t destination[260] = {};
  Dword capacity = 260;
  korv::HResult upload = os::UploadPrinterDriverPackageW(u"C:\\korv\\none.inf", os::UPDP_UPLOAD_ALWAYS,
                                                         destination, &capacity);
  CHECK(upload != korv::hr::Ok);
  korv::HResult removal = os::DeletePrinterDriverPackageW(u"C:\\korv\\none.inf");
  CHECK(removal != korv::hr::Ok);
}

// ---- devices ------------------------------------------------------------------------

void TestDevices() {
  os::Handle set = os::SetupDiGetClassDevsW(os::GUID_DEVINTERFACE_USBPRINT,
                                            os::DIGCF_PRESENT | os::DIGCF_DEVICEINTERFACE);
  CHECK(static_cast<bool>(set));
  os::DeviceInterfaceData data;
  // Whatever is plugged in: every listed interface has a device path.
  for (Dword i = 0; i < 64 && os::SetupDiEnumDeviceInterfaces(set, os::GUID_DEVINTERFACE_USBPRINT, i, &data);
       ++i) {
    Text path;
    CHECK(os::SetupDiGetDeviceInterfaceDetailW(set, data, &path));
    CHECK(path.rfind(u"\\\\?\\", 0) == 0);
  }
  CHECK_EQ(os::GetLastError(), korv::err::NoMoreItems);

  // A record the set never gave out is refused, with the system's error.
  os::DeviceInterfaceData bogus;
  Text path;
  os::SetLastError(0);
  CHECK(!os::SetupDiGetDeviceInterfaceDetailW(set, bogus, &path));
  CHECK(os::GetLastError() != 0);

  std::vector<os::Guid> system;
  CHECK(os::SetupDiClassGuidsFromNameW(u"System", &system));
  CHECK(!system.empty());
  CHECK(!os::SetupDiClassGuidsFromNameW(u"korv no such class", &system));
  CHECK(os::SetupDiClassGuidsFromNameW(u"System", &system));
  if (!system.empty()) {
    // {4d36e97d-e325-11ce-bfc1-08002be10318}
    CHECK_EQ(system[0].data1, 0x4d36e97du);
    CHECK_EQ(system[0].data2, 0xe325u);
    CHECK_EQ(system[0].data4[0], 0xbfu);
    CHECK_EQ(system[0].data4[7], 0x18u);

    // The devices of all classes; the first one's record round-trips into
    // the calls that take it back, which find the device by it.
    os::Handle devices = os::SetupDiGetClassDevsExW(system[0], os::DIGCF_ALLCLASSES);
    CHECK(static_cast<bool>(devices));
    os::DeviceInfoData device;
    CHECK(os::SetupDiEnumDeviceInfo(devices, 0, &device));
    CHECK(device.reserved != 0);
    char16_t name[255];
    std::memset(name, 0x7F, sizeof(name));
    name[254] = 0;
    os::SetLastError(0);
    bool named = os::SetupDiGetDeviceFriendlyNameW(devices, device, name, 255);
    // Either a terminated name, or the system's reason there is none; never
    // a refused record.
    CHECK(named || os::GetLastError() != korv::err::InvalidParameter);
    CHECK(name[254] == 0);
    os::DeviceInfoData forged = device;
    forged.reserved = 0;
    CHECK(!os::SetupDiGetDeviceFriendlyNameW(devices, forged, name, 255));
  }

  // The root of the device tree, where the system implements the call
  // (Wine answers CR_FAILURE from a stub).
  Dword root = 0;
  Dword located = os::CM_Locate_DevNodeW(&root, os::CM_LOCATE_DEVNODE_NORMAL);
  if (located == os::CR_SUCCESS) {
    CHECK(root != 0);
    CHECK_EQ(os::CM_Reenumerate_DevNode(root, os::CM_REENUMERATE_NORMAL), os::CR_SUCCESS);
  } else {
    std::printf("note: CM_Locate_DevNodeW answers 0x%lx here\n", static_cast<unsigned long>(located));
  }
}

}  // namespace

int wmain() {
  TestThreads();
  TestFilesAndText();
  TestProcesses();
  TestCommandLine();
  TestRegistry();
  TestServices();
  TestSpooler();
  TestDriverPackages();
  TestDevices();
  std::printf("%d checks, %d failed\n", checks, failures);
  return failures == 0 ? 0 : 1;
}

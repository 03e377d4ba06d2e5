#include "install/driver_registration.h"

#include <vector>

#include "common/text_util.h"
#include "common/trace.h"
#include "install/driver_files.h"
#include "install/file_time.h"
#include "platform/kernel.h"
#include "platform/spooler.h"

namespace korv {

namespace {

constexpr char kDriverBuild[] = "2026.04.07.06";
constexpr int kRegistrationChecks = 5;
constexpr Dword kRegistrationPauseMs = 1000;

struct BuildNumbers {
  int a = 0, b = 0, c = 0, d = 0;
};

// The four dot-separated decimal fields of the build text. Parsed by hand:
// the C library's scanner would bring its whole floating-point reader into
// the executable for four small integers.
constexpr BuildNumbers ParseBuild() {
  int fields[4] = {0, 0, 0, 0};
  int field = 0;
  for (const char* p = kDriverBuild; *p != '\0' && field < 4; ++p) {
    if (*p == '.') {
      ++field;
    } else {
      fields[field] = fields[field] * 10 + (*p - '0');
    }
  }
  return BuildNumbers{fields[0], fields[1], fields[2], fields[3]};
}
static_assert(ParseBuild().a == 2026);
static_assert(ParseBuild().d == 6);

// Walks the registered drivers in the spooler's order until `decide`
// answers (returns 0 or 1); -1 means "go on". Nothing listed, or no list at
// all, answers 0.
template <typename Decide>
int WalkDrivers(Decide decide) {
  std::vector<os::DriverInfo8> drivers;
  if (!os::EnumPrinterDriversW(&drivers)) return 0;
  for (const os::DriverInfo8& driver : drivers) {
    int answer = decide(driver);
    if (answer >= 0) return answer;
  }
  return 0;
}

bool Contains(const Text& text, const char16_t* part) { return FindText(text.c_str(), part) != nullptr; }

}  // namespace

std::uint64_t DriverVersion() {
  const BuildNumbers n = ParseBuild();
  return (static_cast<std::uint64_t>(static_cast<unsigned>(n.a)) << 48) |
         (static_cast<std::uint64_t>(static_cast<unsigned>(n.b)) << 32) |
         (static_cast<std::uint64_t>(static_cast<unsigned>(n.c)) << 16) |
         static_cast<std::uint64_t>(static_cast<unsigned>(n.d));
}

std::uint64_t DriverDate() {
  const BuildNumbers n = ParseBuild();
  SystemTime time;
  time.wYear = static_cast<std::uint16_t>(n.a);
  time.wMonth = static_cast<std::uint16_t>(n.b);
  time.wDay = static_cast<std::uint16_t>(n.c);
  std::uint64_t fileTime = 0;
  SystemTimeToFileTime(time, &fileTime);
  return fileTime;
}

int IsDriverRegistered(const InstallRequest& request) {
  return WalkDrivers([&](const os::DriverInfo8& d) { return d.pName == request.DriverName.view() ? 1 : -1; });
}

int IsForeignDriverRegistered(const InstallRequest& request) {
  return WalkDrivers([&](const os::DriverInfo8& d) {
    if (d.pName != request.DriverName.view()) return -1;
    return Contains(d.pConfigFile, u"korvdrv") ? 0 : 1;
  });
}

int IsSeagullDriverInstalled() {
  return WalkDrivers([](const os::DriverInfo8& d) {
    return Contains(d.pConfigFile, u"Seagull") && d.pszProvider == u"Korvane" ? 1 : -1;
  });
}

int RegisterPrinterDriver(const InstallRequest& request) {
  const bool monitor = UsesLanguageMonitor(request);
  os::DriverInfo8 driver;
  driver.cVersion = 3;
  driver.pName = request.DriverName.view();
  driver.pDriverPath = kRenderingDriverFile;
  driver.pDataFile = kDataFile;
  driver.pConfigFile = kConfigModuleFile;
  if (monitor) {
    driver.pDependentFiles = {kMonitorFile};
    driver.pMonitorName = kMonitorName;
  }
  driver.pDefaultDataType = u"RAW";
  driver.ftDriverDate = DriverDate();
  driver.dwlDriverVersion = DriverVersion();
  driver.pszProvider = u"korvane";
  driver.pszPrintProcessor = u"winprint";

  if (!os::AddPrinterDriverW(driver)) {
    trace("AddPrinterDriver failed, errcode:%d.", static_cast<int>(os::GetLastError()));
    return 0;
  }
  // The spooler may take a moment to list what it accepted.
  for (int check = 0; check < kRegistrationChecks; ++check) {
    if (IsDriverRegistered(request)) return 1;
    os::Sleep(kRegistrationPauseMs);
  }
  return 0;
}

int InstallPrinterLanguageMonitor(const char16_t* name, const char16_t* file) {
  os::MonitorInfo2 monitor;
  monitor.pName = name;
  monitor.pDLLName = file;
  if (os::AddMonitorW(monitor)) return 1;
  const Dword error = os::GetLastError();
  if (error == err::PrintMonitorAlreadyInstalled) return 1;
  trace("InstallPrinterLanguageMonitor failed, errcode:%d.", static_cast<int>(error));
  return 0;
}

}  // namespace korv

// Installing one printer (the KV-T80 on USB001) on machines that differ in
// what the spooler and Plug and Play hold or answer: the outcome, the virtual
// time it took, and what the machine holds afterwards.
#include "install/install_printer.h"

#include <functional>
#include <string>
#include <vector>

#include "common/globals.h"
#include "common/text_util.h"
#include "platform/kernel.h"
#include "platform/services.h"
#include "platform/sim/sim_fixtures.h"
#include "sim_fixture.h"

namespace korv::test {
namespace {

// Plug and Play's answer to the binding: the queue, `delay` ms later, on `port`.
std::string Pnp(int delay, const std::string& port = "USB001") {
  return R"("pnp": [{"hardwareId": "usbprint\\korvanekv-t80", "queueName": "Korvane KV-T80",
            "driverName": "Korvane KV-T80", "portName": ")" + port + R"(", "delayMs": )" + std::to_string(delay) + "}]";
}
const std::string kRefused = R"("uploadResult": "0x80004005")";
const std::string kOurs = R"("drivers": [{"pName": "Korvane KV-T80", "pConfigFile": "C:\\D\\korvdrv6ui.dll",
                                          "dwlDriverVersion": "2020.1.1.1"}])";
const std::string kFailing = R"("faults": [{"operation": )";

// spooler: its fields, ports USB001 and USB002 unless given; machine: further fields of the machine; monitor: the
// model prints through the language monitor; after: what the machine holds afterwards (After).
struct Row { const char* what; std::string spooler, machine; bool monitor; int result; std::uint64_t endsAt;
             std::string after; std::function<void(sim::Machine&)> also = [](sim::Machine&) {}; };

// The printer's queue (and whether it is paused), the configuration module
// of its driver, the build of the language monitor in the system folder,
// the spooler's restarts and the replacements scheduled.
std::string After(sim::Machine& m) {
  std::string after;
  auto add = [&](const std::string& part) { after += (after.empty() ? "" : ", ") + part; };
  for (const auto& q : m.spooler.queues) {
    if (q.info.pPrinterName == u"Korvane KV-T80") add("queue " + U8(q.info.pPortName) + (q.info.Status ? " paused" : ""));
  }
  for (const auto& d : m.spooler.drivers) {
    if (d.info.pName == u"Korvane KV-T80") add("driver " + U8(d.info.pConfigFile.substr(d.info.pConfigFile.rfind(u'\\') + 1)));
  }
  for (const char* folder : {"system32", "SysWOW64"}) {
    auto file = m.kernel.files.find(u"C:\\Windows\\" + Utf8ToUtf16(folder) + u"\\korvmon.dll");
    if (file == m.kernel.files.end()) continue;
    std::string build = "?";
    for (const char16_t* b : {u"amd64", u"arm64", u"i386"}) {
      if (file->second.content == sim::InstallerFileContent(b, u"korvmon.dll")) build = U8(b);
    }
    add("monitor " + build + (std::string(folder) == "SysWOW64" ? " in SysWOW64" : ""));
  }
  if (int stops = m.services.services.at(u"Spooler").stopRequests) add(std::to_string(stops) + " restart");
  if (!m.kernel.pendingRenames.empty()) add(std::to_string(m.kernel.pendingRenames.size()) + " scheduled");
  return after;
}

class InstallPrinterTest : public SimTest {};

TEST_F(InstallPrinterTest, OutcomeTimeAndWhatIsLeft) {
  const std::vector<Row> rows = {
      {"queue after the last check: taken without the monitor", Pnp(9500), "", true, 1, 10000,
       "queue USB001, driver korvdrv6ui.dll"},
      {"monitor model: the wait ends at the first check", Pnp(0), "", true, 1, 1000 + 3500,
       "queue USB001, driver korvdrv6ui.dll, monitor amd64, 1 restart"},
      {"monitor model: the wait ends at the tenth check", Pnp(8500), "", true, 1, 9000 + 3500,
       "queue USB001, driver korvdrv6ui.dll, monitor amd64, 1 restart"},
      {"queue made on another port is moved, ready to print", Pnp(1000, "USB002"), "", false, 1, 10000,
       "queue USB001, driver korvdrv6ui.dll"},
      {"the move refused fails", Pnp(1000, "USB002"), kFailing + R"("SetPrinterW", "error": 5}])", false, 0, 10000,
       "queue USB002, driver korvdrv6ui.dll",
       [](sim::Machine& m) { EXPECT_EQ(m.CallCount("EnumPortsW"), 0) << "no port check after a failure"; }},
      {"port listed in another case: moved there, and the spooler restarted",
       R"("ports": ["LPT1:", "usb001"], )" + Pnp(1000, "usb001"), "", false, 1, 13300,
       "queue usb001, driver korvdrv6ui.dll, 1 restart"},
      {"the maker's Seagull driver: straight to the manual road", R"("drivers": [{"pName": "KV-T80 Seagull",
          "pszProvider": "Korvane", "pConfigFile": "C:\\D\\KP80SeagullUI.dll"}], )" + Pnp(0),
       "", false, 1, 0, "queue USB001, driver korvdrv6ui.dll", [](sim::Machine& m) {
         const os::DriverInfo8& d = m.spooler.drivers.at(1).info;
         EXPECT_TRUE(d.pMonitorName.empty() && d.pDependentFiles.empty());
       }},
      {"another vendor's driver of the name is left alone; the port comes with a restart",
       R"("ports": ["LPT1:"], "portsAfterCycle": ["USB001"],
          "drivers": [{"pName": "Korvane KV-T80", "pConfigFile": "C:\\D\\OTHERUI.DLL"}])",
       "", true, 1, 10000 + 3300, "driver OTHERUI.DLL, 1 restart"},
      {"upload refused, monitor model: the manual road", kRefused, "", true, 1, 3500,
       "queue USB001, driver korvdrv6ui.dll, monitor amd64, 1 restart", [](sim::Machine& m) {
         const os::DriverInfo8& d = m.spooler.drivers.at(0).info;
         EXPECT_EQ(U8(d.pMonitorName + u"|" + d.pDefaultDataType + u"|" + d.pszProvider + u"|" + d.pszPrintProcessor),
                   "Language Monitor|RAW|korvane|winprint");
         ASSERT_EQ(d.pDependentFiles.size(), 1u);
         EXPECT_EQ(U8(d.pDependentFiles[0]), "C:\\Windows\\system32\\spool\\DRIVERS\\x64\\3\\korvmon.dll");
         EXPECT_EQ(d.cVersion, 3u);
         EXPECT_EQ(d.dwlDriverVersion, 0x07EA000400070006u);
         EXPECT_EQ(d.ftDriverDate, 0x01DCC6217A290000u);
       }},
      {"the monitor registered already",
       kRefused + R"(, "monitors": [{"pName": "Language Monitor", "pDLLName": "korvmon.dll"}])", "", true, 1, 3500,
       "queue USB001, driver korvdrv6ui.dll, monitor amd64, 1 restart"},
      {"ARM64: the monitor of its build", kRefused, R"("nativeArch": "arm64")", true, 1, 3500,
       "queue USB001, driver korvdrv6ui.dll, monitor arm64, 1 restart"},
      {"a locked monitor in the driver directory: scheduled, and the system folder's replaced", kRefused,
       R"("files": [{"path": "C:\\Windows\\system32\\spool\\DRIVERS\\x64\\korvmon.dll", "locked": true}])", true, 1,
       3500, "queue USB001, driver korvdrv6ui.dll, monitor amd64, 1 restart, 1 scheduled"},
      {"a locked driver file: scheduled", kRefused,
       R"("files": [{"path": "C:\\Windows\\system32\\spool\\DRIVERS\\x64\\korvdrv6.dll", "locked": true}])", false, 1,
       0, "queue USB001, driver korvdrv6ui.dll, 1 scheduled"},
      {"upload success other than S_OK: nothing bound", R"("uploadResult": 1, )" + Pnp(0), "", false, 1, 0,
       "queue USB001, driver korvdrv6ui.dll"},
      {"our driver registered earlier is kept", kRefused + ", " + kOurs, "", false, 1, 0,
       "queue USB001, driver korvdrv6ui.dll",
       [](sim::Machine& m) { EXPECT_EQ(m.spooler.drivers.at(0).info.dwlDriverVersion, 0x07E4000100010001u); }},
      {"every file failing, our driver there: the queue all the same", kRefused + ", " + kOurs,
       kFailing + R"("CopyFileW", "error": 5}, {"operation": "MoveFileExW", "error": 5}])", true, 1, 3500,
       "queue USB001, driver korvdrv6ui.dll, 1 restart"},
      {"the configuration module not staged: no driver", kRefused,
       kFailing + R"("CopyFileW", "error": 5, "onCall": 2}, {"operation": "MoveFileExW", "error": 5}])", false, 0,
       5000, ""},
      {"the data file not staged: no driver", kRefused, kFailing + R"("CopyFileW", "error": 5, "onCall": 3}])", false,
       0, 5000, ""},
      {"the monitor refused: no driver", kRefused, kFailing + R"("AddMonitorW", "error": 5}])", true, 0, 3500 + 5000,
       "monitor amd64, 1 restart"},
      {"driver accepted but never listed", kRefused + R"(, "acceptedNeverListed": ["Korvane KV-T80"])", "", false, 0,
       5000, ""},
      {"queue never added after a complete staging still counts", kRefused,
       kFailing + R"("AddPrinterW", "error": 5}])", false, 1, 5000, "driver korvdrv6ui.dll"},
      {"unknown processor: no build to register", "", R"("nativeArch": "ia64")", true, 0, 15000, ""},
      {"unknown processor, our driver there: the queue on it", kOurs, R"("nativeArch": "ia64")", false, 1, 10000,
       "queue USB001, driver korvdrv6ui.dll"},
      {"spooler stopped: fails with its error, and it stays stopped", Pnp(0),
       R"("services": {"Spooler": {"state": "stopped"}})", true, 0, 5000, "", [](sim::Machine& m) {
         EXPECT_EQ(os::GetLastError(), 1722u);
         EXPECT_EQ(m.services.services.at(u"Spooler").state, os::SERVICE_STOPPED);
       }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    TearDown();
    SetUp();
    const bool ports = row.spooler.find("\"ports\"") != std::string::npos;
    Given(R"({"machine": {"installerFolders": ["C:\\Korvane\\"], "spooler": {)" +
          (ports ? "" : R"("ports": ["USB001", "USB002"])" + std::string(row.spooler.empty() ? "" : ", ")) +
          row.spooler + "}" + (row.machine.empty() ? "" : ", " + row.machine) + "}}");
    InstallDir.assign(u"C:\\Korvane\\");
    InstallRequest request;
    request.DriverName.assign(u"Korvane KV-T80");
    request.PrinterName.assign(u"Korvane KV-T80");
    request.PortName.assign(u"USB001");
    request.HardwareId.assign(u"usbprint\\korvanekv-t80");
    request.Options = row.monitor ? kOptionLanguageMonitor : 0;

    EXPECT_EQ(InstallPrinter(request, u"C:\\Korvane\\korvv6.inf"), row.result);
    EXPECT_EQ(Now(), row.endsAt);
    row.also(M());
    EXPECT_EQ(After(M()), row.after);
  }
}

}  // namespace
}  // namespace korv::test

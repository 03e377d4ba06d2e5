// Installing one printer (the KV-T80 on USB001) on machines that differ in
// what the spooler and Plug and Play hold or answer: the outcome, the virtual
// time it took, and what the machine holds afterwards.
#include "install/install_printer.h"

#include <algorithm>
#include <cstring>
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

struct Row {
  const char* what;
  std::string machine;       // the machine's fields besides the installer folder
  bool monitor;              // the model prints through the language monitor
  int result;
  std::uint64_t endsAt;
  const char* queuePort;     // the queue's port afterwards; "" no queue
  const char* driverUi;      // end of the driver's configuration module; "" no driver
  const char* monitorBuild;  // build of korvmon.dll in the native system folder; "" none
  int spoolerStops;
  std::function<void(sim::Machine&)> also = [](sim::Machine&) {};
};

std::string ContentOf(sim::Machine& m, const Text& path) {
  auto it = m.kernel.files.find(path);
  return it == m.kernel.files.end() ? "" : it->second.content;
}

class InstallPrinterTest : public SimTest {};

TEST_F(InstallPrinterTest, OutcomeTimeAndWhatIsLeft) {
  const std::vector<Row> rows = {
      {"a queue of the name exists: nothing is done", R"("spooler": {"ports": ["USB001", "USB002"], )" + kOurs +
           R"(, "queues": [{"pPrinterName": "Korvane KV-T80", "pPortName": "USB002", "pDriverName": "Korvane KV-T80"}],
           )" + Pnp(0) + "}",
       true, kAlreadyInstalled, 0, "USB002", "korvdrv6ui.dll", "", 0},
      {"driver store, no monitor: all ten checks", R"("spooler": {"ports": ["USB001"], )" + Pnp(0) + "}", false, 1,
       10000, "USB001", "korvdrv6ui.dll", "", 0},
      {"queue after the last check: taken without the monitor", R"("spooler": {"ports": ["USB001"], )" + Pnp(9500) + "}",
       true, 1, 10000, "USB001", "korvdrv6ui.dll", "", 0},
      {"monitor model: the wait ends at the first check", R"("spooler": {"ports": ["USB001"], )" + Pnp(0) + "}", true,
       1, 1000 + 3500, "USB001", "korvdrv6ui.dll", "amd64", 1},
      {"monitor model: the wait ends at the fourth check", R"("spooler": {"ports": ["USB001"], )" + Pnp(2500) + "}",
       true, 1, 3000 + 3500, "USB001", "korvdrv6ui.dll", "amd64", 1},
      {"monitor model: the wait ends at the tenth check", R"("spooler": {"ports": ["USB001"], )" + Pnp(8500) + "}",
       true, 1, 9000 + 3500, "USB001", "korvdrv6ui.dll", "amd64", 1},
      {"queue made on another port is moved, ready to print",
       R"("spooler": {"ports": ["USB001", "USB002"], )" + Pnp(1000, "USB002") + "}", false, 1, 10000, "USB001",
       "korvdrv6ui.dll", "", 0},
      {"the move refused fails", R"("spooler": {"ports": ["USB001", "USB002"], )" + Pnp(1000, "USB002") +
           R"(}, "faults": [{"operation": "SetPrinterW", "error": 5}])",
       false, 0, 10000, "USB002", "korvdrv6ui.dll", "", 0,
       [](sim::Machine& m) { EXPECT_EQ(m.CallCount("EnumPortsW"), 0) << "no port check after a failure"; }},
      {"port listed in another case: moved there and the spooler restarted",
       R"("spooler": {"ports": ["LPT1:", "usb001"], )" + Pnp(1000, "usb001") + "}", false, 1, 13300, "usb001",
       "korvdrv6ui.dll", "", 1},
      {"the maker's Seagull driver: straight to the manual road",
       R"("spooler": {"ports": ["USB001"], "drivers": [{"pName": "KV-T80 Seagull", "pszProvider": "Korvane",
          "pConfigFile": "C:\\D\\KP80SeagullUI.dll"}], )" + Pnp(0) + "}",
       false, 1, 0, "USB001", "korvdrv6ui.dll", "", 0, [](sim::Machine& m) {
         const os::DriverInfo8& d = m.spooler.drivers.at(1).info;
         EXPECT_TRUE(d.pMonitorName.empty() && d.pDependentFiles.empty());
       }},
      {"another vendor's driver of the name is left alone; the port comes with a restart",
       R"("spooler": {"ports": ["LPT1:"], "portsAfterCycle": ["USB001"],
          "drivers": [{"pName": "Korvane KV-T80", "pConfigFile": "C:\\D\\OTHERUI.DLL"}]})",
       true, 1, 10000 + 3300, "", "OTHERUI.DLL", "", 1},
      {"upload refused, monitor model: the manual road", R"("spooler": {"ports": ["USB001"], )" + kRefused + "}", true, 1,
       3500, "USB001", "korvdrv6ui.dll", "amd64",
       1, [](sim::Machine& m) {
         const os::DriverInfo8& d = m.spooler.drivers.at(0).info;
         EXPECT_EQ(U8(d.pMonitorName + u"|" + d.pDefaultDataType + u"|" + d.pszProvider + u"|" + d.pszPrintProcessor),
                   "Language Monitor|RAW|korvane|winprint");
         ASSERT_EQ(d.pDependentFiles.size(), 1u);
         EXPECT_EQ(U8(d.pDependentFiles[0]), "C:\\Windows\\system32\\spool\\DRIVERS\\x64\\3\\korvmon.dll");
         EXPECT_EQ(d.cVersion, 3u);
         EXPECT_EQ(d.dwlDriverVersion, 0x07EA000400070006u);
         EXPECT_EQ(d.ftDriverDate, 0x01DCC6217A290000u);
       }},
      {"a locked monitor in the driver directory is scheduled; the system folder's is replaced",
       R"("spooler": {"ports": ["USB001"], )" + kRefused +
           R"(}, "files": [{"path": "C:\\Windows\\system32\\spool\\DRIVERS\\x64\\korvmon.dll", "locked": true}])",
       true, 1, 3500, "USB001", "korvdrv6ui.dll", "amd64", 1,
       [](sim::Machine& m) { EXPECT_EQ(m.kernel.pendingRenames.size(), 1u); }},
      {"ARM64: the monitor of its build", R"("nativeArch": "arm64", "spooler": {"ports": ["USB001"], )" + kRefused + "}",
       true, 1, 3500, "USB001", "korvdrv6ui.dll", "arm64", 1},
      {"x86: the monitor of its build", R"("nativeArch": "x86", "spooler": {"ports": ["USB001"], )" + kRefused + "}",
       true, 1, 3500, "USB001", "korvdrv6ui.dll", "i386", 1},
      {"upload success other than S_OK: nothing bound", R"("spooler": {"ports": ["USB001"], "uploadResult": 1, )" +
           Pnp(0) + "}",
       false, 1, 0, "USB001", "korvdrv6ui.dll", "", 0},
      {"our driver registered earlier is kept",
       R"("spooler": {"ports": ["USB001"], )" + kRefused + ", " + kOurs + "}", false, 1, 0, "USB001",
       "korvdrv6ui.dll", "", 0,
       [](sim::Machine& m) { EXPECT_EQ(m.spooler.drivers.at(0).info.dwlDriverVersion, 0x07E4000100010001u); }},
      {"a locked driver file is replaced at the next start", R"("spooler": {"ports": ["USB001"], )" + kRefused +
           R"(}, "files": [{"path": "C:\\Windows\\system32\\spool\\DRIVERS\\x64\\korvdrv6.dll", "locked": true}])",
       false, 1, 0, "USB001", "korvdrv6ui.dll", "", 0,
       [](sim::Machine& m) { EXPECT_EQ(m.kernel.pendingRenames.size(), 1u); }},
      {"every file failing, our driver there: the queue all the same",
       R"("spooler": {"ports": ["USB001"], )" + kRefused + ", " + kOurs +
           R"(}, "faults": [{"operation": "CopyFileW", "error": 5}, {"operation": "MoveFileExW", "error": 5}])",
       true, 1, 3500, "USB001", "korvdrv6ui.dll", "", 1},
      {"the configuration module not staged: no driver registered",
       R"("spooler": {"ports": ["USB001"], )" + kRefused +
           R"(}, "faults": [{"operation": "CopyFileW", "error": 5, "onCall": 2}, {"operation": "MoveFileExW", "error": 5}])",
       false, 0, 5000, "", "", "", 0},
      {"the data file not staged: no driver registered",
       R"("spooler": {"ports": ["USB001"], )" + kRefused + R"(}, "faults": [{"operation": "CopyFileW", "error": 5, "onCall": 3}])",
       false, 0, 5000, "", "", "", 0},
      {"the monitor refused: no driver registered",
       R"("spooler": {"ports": ["USB001"], )" + kRefused + R"(}, "faults": [{"operation": "AddMonitorW", "error": 5}])",
       true, 0, 3500 + 5000, "", "", "amd64", 1},
      {"driver accepted but never listed", R"("spooler": {"ports": ["USB001"], )" + kRefused +
           R"(, "acceptedNeverListed": ["Korvane KV-T80"]})",
       false, 0, 5000, "", "", "", 0},
      {"queue never added after a complete staging still counts",
       R"("spooler": {"ports": ["USB001"], )" + kRefused + R"(}, "faults": [{"operation": "AddPrinterW", "error": 5}])",
       false, 1, 5000, "", "korvdrv6ui.dll", "", 0},
      {"unknown processor: no build to register", R"("nativeArch": "ia64", "spooler": {"ports": ["USB001"]})", true, 0,
       15000, "", "", "", 0},
      {"unknown processor, our driver there: the queue on it",
       R"("nativeArch": "ia64", "spooler": {"ports": ["USB001"], )" + kOurs + "}", false, 1, 10000, "USB001",
       "korvdrv6ui.dll", "", 0},
      {"spooler stopped: fails with its error, and stays stopped",
       R"("services": {"Spooler": {"state": "stopped"}}, "spooler": {"ports": ["USB001"], )" + Pnp(0) + "}", true, 0,
       5000, "", "", "", 0, [](sim::Machine& m) {
         EXPECT_EQ(os::GetLastError(), 1722u);
         EXPECT_EQ(m.services.services.at(u"Spooler").state, os::SERVICE_STOPPED);
       }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    TearDown();
    SetUp();
    Given(R"({"machine": {"installerFolders": ["C:\\Korvane\\"], )" + row.machine + "}}");
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
    std::string port, ui;
    for (const auto& q : M().spooler.queues) {
      if (q.info.pPrinterName != u"Korvane KV-T80") continue;
      port = U8(q.info.pPortName);
      EXPECT_EQ(q.info.Status, 0u) << "not ready to print";
    }
    EXPECT_EQ(port, row.queuePort);
    for (const auto& d : M().spooler.drivers) {
      if (d.info.pName == u"Korvane KV-T80") ui = U8(d.info.pConfigFile);
    }
    EXPECT_EQ(ui.substr(ui.size() - std::min(ui.size(), std::strlen(row.driverUi))), row.driverUi);
    EXPECT_EQ(ui.empty(), *row.driverUi == 0);
    const std::string monitor = ContentOf(M(), u"C:\\Windows\\system32\\korvmon.dll");
    EXPECT_EQ(monitor, *row.monitorBuild ? sim::InstallerFileContent(Utf8ToUtf16(row.monitorBuild), u"korvmon.dll") : "");
    EXPECT_EQ(ContentOf(M(), u"C:\\Windows\\SysWOW64\\korvmon.dll"), "");
    EXPECT_EQ(M().services.services.at(u"Spooler").stopRequests, row.spoolerStops);
  }
}

}  // namespace
}  // namespace korv::test

// Installing the KV-T80 on USB001 on machines whose spooler and Plug and Play differ:
// outcome, virtual time and what is left; then the steps that decide more alone.
#include <algorithm>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "common/globals.h"
#include "common/path_split.h"
#include "common/text_util.h"
#include "install/driver_registration.h"
#include "install/file_staging.h"
#include "install/file_time.h"
#include "install/install_printer.h"
#include "install/package_binding.h"
#include "install/print_queue.h"
#include "platform/devices.h"
#include "platform/kernel.h"
#include "platform/services.h"
#include "platform/sim/sim_fixtures.h"
#include "sim_fixture.h"

namespace korv::test {
namespace {

const std::string kDriverDir = "C:\\Windows\\system32\\spool\\DRIVERS\\x64\\";

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
struct PrinterRow { const char* what; std::string spooler, machine; bool monitor; int result; std::uint64_t endsAt;
                    std::string after; std::function<void(sim::Machine&)> also = [](sim::Machine&) {}; };

// The printer's queue (paused or not), its driver's configuration module, the monitor's
// build in the system folder, the spooler's restarts and the replacements scheduled.
std::string After(sim::Machine& m) {
  std::string after;
  auto add = [&](const std::string& part) { after += (after.empty() ? "" : ", ") + part; };
  for (const auto& q : m.spooler.queues) {
    if (q.info.pPrinterName == u"Korvane KV-T80") add("queue " + U8(q.info.pPortName) + (q.info.Status ? " paused" : ""));
  }
  for (const auto& d : m.spooler.drivers) {
    if (d.info.pName == u"Korvane KV-T80") add("driver " + U8(d.info.pConfigFile.substr(d.info.pConfigFile.rfind(u'\\') + 1)));
  }
  for (const std::string folder : {"system32", "SysWOW64"}) {
    auto file = m.kernel.files.find(u"C:\\Windows\\" + Utf8ToUtf16(folder) + u"\\korvmon.dll");
    for (const char16_t* build : {u"amd64", u"arm64", u"i386"}) {
      if (file != m.kernel.files.end() && file->second.content == sim::InstallerFileContent(build, u"korvmon.dll")) {
        add("monitor " + U8(build) + (folder == "SysWOW64" ? " in SysWOW64" : ""));
      }
    }
  }
  if (int stops = m.services.services.at(u"Spooler").stopRequests) add(std::to_string(stops) + " restart");
  if (!m.kernel.pendingRenames.empty()) add(std::to_string(m.kernel.pendingRenames.size()) + " scheduled");
  return after;
}

class InstallTest : public SimTest {
 protected:
  // A fresh machine: the installer folder at C:\Korvane\ and these fields.
  void Fresh(const std::string& machine, const char16_t* installDir = u"C:\\Korvane\\") {
    Anew(R"({"machine": {"installerFolders": ["C:\\Korvane\\"])" + (machine.empty() ? "" : ", " + machine) + "}}");
    InstallDir.assign(installDir);
  }
  std::string Traces() {  // the trace lines so far, joined by '|'
    std::string all;
    for (const Text& line : M().kernel.debugOutput) {
      if (line != u"\n") all += (all.empty() ? "" : "|") + U8(line);
    }
    return all;
  }
  std::string ContentOf(const std::string& path) {
    auto it = M().kernel.files.find(Utf8ToUtf16(path));
    return it == M().kernel.files.end() ? "" : it->second.content;
  }
  InstallRequest Request(bool monitor = false) {
    InstallRequest r;
    r.DriverName.assign(u"Korvane KV-T80");
    r.PrinterName.assign(u"Korvane KV-T80");
    r.PortName.assign(u"USB001");
    r.HardwareId.assign(u"usbprint\\korvanekv-t80");
    r.Options = monitor ? kOptionLanguageMonitor : 0;
    return r;
  }
};

TEST_F(InstallTest, OnePrinterOutcomeTimeAndWhatIsLeft) {
  const std::vector<PrinterRow> rows = {
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
       "", false, 1, 0, "queue USB001, driver korvdrv6ui.dll"},
      {"another vendor's driver of the name is left alone; the port comes with a restart",
       R"("ports": ["LPT1:"], "portsAfterCycle": ["USB001"],
          "drivers": [{"pName": "Korvane KV-T80", "pConfigFile": "C:\\D\\OTHERUI.DLL"}])",
       "", true, 1, 10000 + 3300, "driver OTHERUI.DLL, 1 restart"},
      {"upload refused, monitor model: the manual road", kRefused, "", true, 1, 3500,
       "queue USB001, driver korvdrv6ui.dll, monitor amd64, 1 restart", [](sim::Machine& m) {
         const os::DriverInfo8& d = m.spooler.drivers.at(0).info;  // as registered
         EXPECT_EQ(U8(d.pMonitorName + u"|" + d.pDefaultDataType + u"|" + d.pszProvider + u"|" + d.pszPrintProcessor +
                      u"|" + d.pDependentFiles.at(0)),
                   "Language Monitor|RAW|korvane|winprint|" + kDriverDir + "3\\korvmon.dll");
         EXPECT_EQ(std::tuple(d.cVersion, d.dwlDriverVersion, d.ftDriverDate),
                   std::tuple(3u, 0x07EA000400070006ull, 0x01DCC6217A290000ull));  // the build 2026.04.07.06
       }},
      {"the monitor registered already",
       kRefused + R"(, "monitors": [{"pName": "Language Monitor", "pDLLName": "korvmon.dll"}])", "", true, 1, 3500,
       "queue USB001, driver korvdrv6ui.dll, monitor amd64, 1 restart"},
      {"ARM64: the monitor of its build", kRefused, R"("nativeArch": "arm64")", true, 1, 3500,
       "queue USB001, driver korvdrv6ui.dll, monitor arm64, 1 restart"},
      {"a locked monitor in the driver directory: scheduled, and the system folder's replaced", kRefused,
       R"("files": [{"path": "C:\\Windows\\system32\\spool\\DRIVERS\\x64\\korvmon.dll", "locked": true}])", true, 1,
       3500, "queue USB001, driver korvdrv6ui.dll, monitor amd64, 1 restart, 1 scheduled"},
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
       "monitor amd64, 1 restart", [](sim::Machine& m) { EXPECT_EQ(std::count(m.kernel.debugOutput.begin(),
         m.kernel.debugOutput.end(), u"InstallPrinterLanguageMonitor failed, errcode:5."), 1); }},
      {"driver accepted but never listed", kRefused + R"(, "acceptedNeverListed": ["Korvane KV-T80"])", "", false, 0,
       5000, ""},
      {"queue never added after a complete staging still counts", kRefused,
       kFailing + R"("AddPrinterW", "error": 5}])", false, 1, 5000, "driver korvdrv6ui.dll"},
      {"unknown processor: no build to register", "", R"("nativeArch": "ia64")", true, 0, 15000, ""},
      {"spooler stopped: fails with its error, and it stays stopped", Pnp(0),
       R"("services": {"Spooler": {"state": "stopped"}})", true, 0, 5000, "", [](sim::Machine& m) {
         EXPECT_EQ(std::pair(os::GetLastError(), m.services.services.at(u"Spooler").state),
                   std::pair(1722u, os::SERVICE_STOPPED));
       }},
  };
  for (const PrinterRow& row : rows) {
    SCOPED_TRACE(row.what);
    const bool ports = row.spooler.find("\"ports\"") != std::string::npos;
    Fresh(R"("spooler": {)" +
          (ports ? "" : R"("ports": ["USB001", "USB002"])" + std::string(row.spooler.empty() ? "" : ", ")) +
          row.spooler + "}" + (row.machine.empty() ? "" : ", " + row.machine));
    EXPECT_EQ(InstallPrinter(Request(row.monitor), u"C:\\Korvane\\korvv6.inf"), row.result);
    EXPECT_EQ(Now(), row.endsAt);
    row.also(M());
    EXPECT_EQ(After(M()), row.after);
  }
}

TEST(FileTimeTest, CountsFrom1601AndRefusesWhatIsNoTime) {
  constexpr std::uint64_t kNo = 42;  // refused: the output keeps its value
  const std::vector<std::pair<SystemTime, std::uint64_t>> rows = {
      {{1601, 1, 0, 1}, 0}, {{1970, 1, 0, 1}, 116444736000000000},
      {{2000, 2, 0, 29}, 125962560000000000},  // divisible by 400: a leap year (1900 is not, below)
      {{2026, 4, 6, 7, 23, 59, 59, 999}, 134200799999990000},          // the day of the week is not looked at
      {{30827, 12, 0, 31, 23, 59, 59, 999}, 9223149887999990000u},
      {{1900, 2, 0, 29}, kNo}, {{2023, 2, 0, 29}, kNo}, {{1600, 12, 0, 31}, kNo}, {{30828, 1, 0, 1}, kNo},
      {{2026, 13, 0, 1}, kNo}, {{2026, 0, 0, 1}, kNo}, {{2026, 4, 0, 31}, kNo}, {{2026, 4, 0, 0}, kNo},
      {{2026, 4, 0, 7, 24}, kNo}, {{2026, 4, 0, 7, 0, 60}, kNo}, {{2026, 4, 0, 7, 0, 0, 60}, kNo},
      {{2026, 4, 0, 7, 0, 0, 0, 1000}, kNo},
  };
  for (const auto& [time, expected] : rows) {
    std::uint64_t out = kNo;
    EXPECT_EQ(SystemTimeToFileTime(time, &out), expected != kNo) << time.wYear << "-" << time.wMonth;
    EXPECT_EQ(out, expected) << time.wYear << "-" << time.wMonth << "-" << time.wDay;
  }
  EXPECT_EQ(DriverDate(), 134199936000000000u);  // the build's 7 April 2026, 00:00 UTC
}

TEST_F(InstallTest, QuestionsAboutTheRegisteredDrivers) {
  // drivers, faults -> registered, another vendor's, the maker's Seagull driver
  const std::vector<std::tuple<std::string, std::string, int, int, int>> rows = {
      {"", "", 0, 0, 0},
      {R"({"pName": "korvane kv-t80", "pConfigFile": "C:\\D\\korvdrv6ui.dll"})", "", 0, 0, 0},
      {R"({"pName": "Korvane KV-T80", "pConfigFile": "C:\\D\\korvdrv6ui.dll"})", "", 1, 0, 0},
      {R"({"pName": "Korvane KV-T80", "pConfigFile": "C:\\D\\OTHERUI.DLL"})", "", 1, 1, 0},
      {R"({"pName": "Korvane KV-T80", "pConfigFile": "C:\\D\\KORVDRV6UI.DLL"})", "", 1, 1, 0},
      {R"({"pName": "Korvane KV-T80", "pConfigFile": "C:\\D\\korvdrv6ui.dll"})",
       R"(, "faults": [{"operation": "EnumPrinterDriversW", "error": 8}])", 0, 0, 0},
      {R"({"pName": "A", "pConfigFile": "SeagullUI.dll", "pszProvider": "korvane"}, {"pName": "B", "pConfigFile":
          "o.dll", "pszProvider": "Korvane"}, {"pName": "C", "pConfigFile": "seagullui.dll", "pszProvider": "Korvane"})",
       "", 0, 0, 0},
      {R"({"pName": "A", "pConfigFile": "C:\\D\\SeagullUI.dll", "pszProvider": "korvane"},
          {"pName": "D", "pConfigFile": "C:\\D\\SeagullUI.dll", "pszProvider": "Korvane"})", "", 0, 0, 1},
  };
  for (const auto& [drivers, faults, registered, foreign, seagull] : rows) {
    SCOPED_TRACE(drivers + faults);
    Fresh(R"("spooler": {"drivers": [)" + drivers + "]}" + faults);
    EXPECT_EQ(IsDriverRegistered(Request()), registered);
    EXPECT_EQ(IsForeignDriverRegistered(Request()), foreign);
    EXPECT_EQ(IsSeagullDriverInstalled(), seagull);
  }
}

TEST_F(InstallTest, StagingOneFile) {
  // content: in the driver directory afterwards, a build's or as given; traces "?": not looked at
  struct Row { const char* what; std::string machine; const char16_t *file, *installDir; int result; std::string content;
               std::size_t scheduled; std::string traces = "?"; };
  const std::string dll = kDriverDir + "korvdrv6.dll", dat = kDriverDir + "korvdrv6.dat";
  const std::string locked = R"("files": [{"path": "C:\\Windows\\system32\\spool\\DRIVERS\\x64\\korvdrv6.d)";
  const std::vector<Row> rows = {
      {"x64", "", u"korvdrv6.dll", u"C:\\Korvane\\", 1, "amd64", 0,
       "Remove file:" + dll + ", 0, errcode:2.|CopyFile file:C:\\Korvane\\amd64\\korvdrv6.dll to " + dll +
           ", 1, errcode:0."},
      {"ARM64", R"("nativeArch": "arm64")", u"korvdrv6.dll", u"C:\\Korvane\\", 1, "arm64", 0},
      {"x86", R"("nativeArch": "x86")", u"korvdrv6.dll", u"C:\\Korvane\\", 1, "i386", 0},
      {"ARM", R"("nativeArch": "arm")", u"korvdrv6.dll", u"C:\\Korvane\\", 1, "arm", 0},
      {"no build for the processor", R"("nativeArch": "ia64")", u"korvdrv6.dll", u"C:\\Korvane\\", 0, "", 0, ""},
      {"folder without its separator", "", u"korvdrv6.dll", u"C:\\Korvane", 1, "amd64", 0},
      {"no installer folder", "", u"korvdrv6.dll", u"", 0, "", 0, ""},
      {"no driver directory", R"("faults": [{"operation": "GetPrinterDriverDirectoryW", "error": 122}])",
       u"korvdrv6.dll", u"C:\\Korvane\\", 0, "", 0, ""},
      {"an empty driver directory", R"("spooler": {"driverDirectory": ""})", u"korvdrv6.dat", u"C:\\Korvane\\", 0, "",
       0, ""},
      {"a locked file is scheduled", locked + R"(ll", "content": "old", "locked": true}])", u"korvdrv6.dll",
       u"C:\\Korvane\\", 1, "old", 1, "?"},
      {"a locked file that cannot be scheduled",
       locked + R"(ll", "content": "old", "locked": true}], "faults": [{"operation": "MoveFileExW", "error": 5}])",
       u"korvdrv6.dll", u"C:\\Korvane\\", 0, "old", 0},
      {"the data file", "", u"korvdrv6.dat", u"C:\\Korvane\\", 1, "dat", 0,
       "CopyFile file:C:\\Korvane\\dat\\korvdrv6.dat to " + dat + ", 1, errcode:0."},
      {"a locked data file is not scheduled", locked + R"(at", "content": "old", "locked": true}])", u"korvdrv6.dat",
       u"C:\\Korvane\\", 0, "old", 0, "CopyFile file:C:\\Korvane\\dat\\korvdrv6.dat to " + dat + ", 0, errcode:32."},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Fresh(row.machine, row.installDir);
    const bool data = Text(row.file) == u"korvdrv6.dat";
    EXPECT_EQ(data ? StageDataFile(row.file) : StageArchFile(row.file), row.result);
    const bool build = !row.content.empty() && row.content != "old";
    EXPECT_EQ(ContentOf(kDriverDir + U8(row.file)),
              build ? sim::InstallerFileContent(Utf8ToUtf16(row.content), row.file) : row.content);
    EXPECT_EQ(M().kernel.pendingRenames.size(), row.scheduled);
    if (row.traces != "?") {
      EXPECT_EQ(Traces(), row.traces);
    }
  }
}

TEST_F(InstallTest, CopyIntoTheSystemFolder) {
  const std::string arm64 = sim::InstallerFileContent(u"arm64", u"korvmon.dll");
  const std::vector<std::tuple<std::string, const char16_t*, int, std::string>> rows = {
      {"", u"C:\\Korvane\\arm64\\korvmon.dll", 1, arm64},
      {"", u"C:\\Korvane\\arm64\\missing.dll", 0, ""},
      {R"("faults": [{"operation": "GetSystemDirectoryW", "error": 5}])", u"C:\\Korvane\\arm64\\korvmon.dll", 0, ""},
      {R"("systemFolder": "C:\\)" + std::string(257, 'S') + "\"", u"C:\\Korvane\\arm64\\korvmon.dll", 0, ""},
  };
  for (const auto& [machine, source, result, content] : rows) {
    Fresh(machine);
    EXPECT_EQ(CopyToSystemFolder(source), result) << machine;
    EXPECT_EQ(ContentOf("C:\\Windows\\system32\\korvmon.dll"), content);
  }
}

TEST(SplitPathTest, SplitsLikeTheRuntime) {
  // path|drive|folder|name|extension; the last name is cut to the runtime's 255
  for (const std::string& path : std::vector<std::string>{
           "C:\\Korvane\\amd64\\korvmon.v2.dll|C:|\\Korvane\\amd64\\|korvmon.v2|.dll", "dir.d/name||dir.d/|name|",
           "korvmon.dll|||korvmon|.dll", "C:\\" + std::string(300, 'n') + ".dll|C:|\\|" + std::string(255, 'n') + "|.dll"}) {
    const SplitPath p = SplitPathOf(Utf8ToUtf16(path.substr(0, path.find('|'))).c_str());
    EXPECT_EQ(path.substr(0, path.find('|')) + "|" + U8(p.drive.view()) + "|" + U8(p.folder.view()) + "|" +
                  U8(p.name.view()) + "|" + U8(p.extension.view()),
              path);
  }
}

TEST_F(InstallTest, QueueStateAndMovingTheQueue) {
  // port asked for, further machine fields -> state, moved, the queue's port afterwards
  const std::vector<std::tuple<const char16_t*, std::string, int, bool, const char*>> rows = {
      {u"USB002", "", kQueueOnPort, false, "USB002"},
      {u"USB001", "", kQueueOnOtherPort, true, "USB001"},
      {u"usb002", "", kQueueOnOtherPort, true, "USB002"},   // the spooler keeps its own spelling
      {u"USB009", "", kQueueOnOtherPort, false, "USB002"},  // a port it does not know
      {u"USB001", R"(, "faults": [{"operation": "GetPrinterW", "error": 8}])", kQueueOnPort, false, "USB002"},
      {u"USB001", R"(, "faults": [{"operation": "SetPrinterW", "error": 5}])", kQueueOnOtherPort, false, "USB002"},
      {u"USB001", R"(, "services": {"Spooler": {"state": "stopped"}})", kQueueAbsent, false, "USB002"},
  };
  for (const auto& [port, machine, state, moved, portAfter] : rows) {
    SCOPED_TRACE(U8(port) + machine);
    Fresh(R"("spooler": {"ports": ["USB001", "USB002"], "drivers": [{"pName": "Korvane KV-T80"}],
          "queues": [{"pPrinterName": "Korvane KV-T80", "pPortName": "USB002", "pDriverName": "Korvane KV-T80",
                      "pComment": "kept"}]})" + machine);
    EXPECT_EQ(QueryQueueState(u"Korvane KV-T80", port), state);
    EXPECT_EQ(SetQueuePort(u"Korvane KV-T80", port) != 0, moved);
    const auto& queue = M().spooler.queues.at(0).info;
    EXPECT_EQ(U8(queue.pPortName), portAfter);
    EXPECT_EQ(U8(queue.pComment), "kept") << "the record goes back whole";
    EXPECT_EQ(queue.Status, 0u) << "left ready to print";
  }
}

TEST_F(InstallTest, AddingTheQueue) {
  const std::string ours = R"("drivers": [{"pName": "Korvane KV-T80"}], "ports": ["USB001", "USB002"])";
  // spooler -> result, virtual time, the queue's port, traces
  const std::vector<std::tuple<std::string, int, std::uint64_t, const char*, std::string>> rows = {
      {ours, 1, 0, "USB001", ""},
      {ours + R"(, "queues": [{"pPrinterName": "Korvane KV-T80", "pPortName": "USB002", "pDriverName": "Korvane KV-T80"}])",
       1, 0, "USB002", "The printer Korvane KV-T80 is already added."},
      {R"("ports": ["USB001"])", 0, 5000, "", "AddPrinter Korvane KV-T80 failed, errcode:1797."},
  };
  for (const auto& [spooler, result, endsAt, port, traces] : rows) {
    Fresh(R"("spooler": {)" + spooler + "}");
    EXPECT_EQ(AddPrintQueue(Request()), result) << spooler;
    EXPECT_EQ(Now(), endsAt);
    EXPECT_EQ(Traces(), traces);
    EXPECT_EQ(M().spooler.queues.empty() ? "" : U8(M().spooler.queues[0].info.pPortName), port);
  }
  Fresh(R"("spooler": {)" + ours + "}");
  ASSERT_EQ(AddPrintQueue(Request()), 1);
  const auto& q = M().spooler.queues.at(0).info;
  EXPECT_EQ(U8(q.pDriverName + u"|" + q.pPrintProcessor + u"|" + q.pDatatype) + std::to_string(q.Attributes),
            "Korvane KV-T80|WinPrint|RAW" + std::to_string(os::PRINTER_ATTRIBUTE_LOCAL));
}

TEST_F(InstallTest, PackageUploadAndReenumeration) {
  const std::string stored = U8(M().spooler.uploadDestination);
  // upload result, INF -> uploaded, trace
  const std::vector<std::tuple<std::string, const char16_t*, int, std::string>> uploads = {
      {"0", u"C:\\Korvane\\korvv6.inf", 1, stored + ", code:0."},
      {"1", u"C:\\Korvane\\korvv6.inf", 0, stored + ", code:1."},  // S_FALSE is no success here
      {"\"0x80004005\"", u"C:\\Korvane\\korvv6.inf", 0, ", code:-2147467259."},
      {"0", u"C:\\Elsewhere\\korvv6.inf", 0, ", code:-2147024894."},
  };
  for (const auto& [result, inf, uploaded, trace] : uploads) {
    Fresh(R"("spooler": {"uploadResult": )" + result + "}");
    EXPECT_EQ(DoUploadDriverPackage(inf), uploaded) << result;
    EXPECT_EQ(Traces(), "DoUploadDriverPackage, " + trace);
  }
  // Asked of the root when it was located; after a failed lookup only when
  // the answer is not looked at.
  const std::vector<std::tuple<RootLookup, bool, int>> reenumerations = {
      {RootLookup::kLocated, true, 1}, {RootLookup::kLocated, false, 0}, {RootLookup::kUnchecked, false, 1}};
  for (const auto& [lookup, located, times] : reenumerations) {
    Fresh(located ? "" : R"("faults": [{"operation": "CM_Locate_DevNodeW", "error": 13}])");
    ReenumerateDevices(os::CM_REENUMERATE_NORMAL, lookup);
    EXPECT_EQ(M().CallCount("CM_Reenumerate_DevNode"), times) << located;
  }
}

}  // namespace
}  // namespace korv::test

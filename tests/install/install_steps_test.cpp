// The steps of an installation one by one, where a step decides more than
// the whole installation shows: the driver's version and date, the
// questions asked of the registered drivers, the staging of each file, the
// queue and its port, and the package upload.
#include <string>
#include <vector>

#include "common/globals.h"
#include "common/path_split.h"
#include "common/text_util.h"
#include "install/driver_registration.h"
#include "install/file_staging.h"
#include "install/file_time.h"
#include "install/package_binding.h"
#include "install/print_queue.h"
#include "platform/devices.h"
#include "platform/sim/sim_fixtures.h"
#include "sim_fixture.h"

namespace korv::test {
namespace {

const std::string kDriverDir = "C:\\Windows\\system32\\spool\\DRIVERS\\x64\\";
const std::string kDriverDirJson = R"(C:\\Windows\\system32\\spool\\DRIVERS\\x64\\)";

class InstallStepsTest : public SimTest {
 protected:
  // A fresh machine with the installer folder at C:\Korvane\ and these
  // further machine fields.
  void Fresh(const std::string& machine, const char16_t* installDir = u"C:\\Korvane\\") {
    TearDown();
    SetUp();
    Given(R"({"machine": {"installerFolders": ["C:\\Korvane\\"])" + (machine.empty() ? "" : ", " + machine) + "}}");
    InstallDir.assign(installDir);
  }
  // The trace lines so far, joined by '|'.
  std::string Traces() {
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
  InstallRequest Request() {
    InstallRequest r;
    r.DriverName.assign(u"Korvane KV-T80");
    r.PrinterName.assign(u"Korvane KV-T80");
    r.PortName.assign(u"USB001");
    return r;
  }
};

TEST(DriverBuildTest, VersionAndDateComeFromTheBuildText) {
  EXPECT_EQ(DriverVersion(), 0x07EA000400070006ull);
  EXPECT_EQ(DriverDate(), 0x01DCC6217A290000ull);  // 7 April 2026, 00:00 UTC
}

TEST(FileTimeTest, CountsFrom1601AndRefusesWhatIsNoTime) {
  constexpr std::uint64_t kRefused = 42;  // what stays in the output
  const std::vector<std::pair<SystemTime, std::uint64_t>> rows = {
      {{1601, 1, 0, 1}, 0},
      {{1970, 1, 0, 1}, 116444736000000000},
      {{2000, 2, 0, 29}, 125962560000000000},  // divisible by 400: a leap year
      {{1900, 3, 0, 1}, 94405824000000000},
      {{2026, 4, 6, 7, 23, 59, 59, 999}, 134200799999990000},  // the day of the week is not looked at
      {{30827, 12, 0, 31, 23, 59, 59, 999}, 9223149887999990000u},
      {{1900, 2, 0, 29}, kRefused},  {{2023, 2, 0, 29}, kRefused},  {{1600, 12, 0, 31}, kRefused},
      {{30828, 1, 0, 1}, kRefused},  {{2026, 13, 0, 1}, kRefused},  {{2026, 0, 0, 1}, kRefused},
      {{2026, 4, 0, 31}, kRefused},  {{2026, 4, 0, 0}, kRefused},   {{2026, 4, 0, 7, 24}, kRefused},
      {{2026, 4, 0, 7, 0, 60}, kRefused}, {{2026, 4, 0, 7, 0, 0, 60}, kRefused},
      {{2026, 4, 0, 7, 0, 0, 0, 1000}, kRefused},
  };
  for (const auto& [time, expected] : rows) {
    std::uint64_t out = kRefused;
    EXPECT_EQ(SystemTimeToFileTime(time, &out), expected != kRefused) << time.wYear << "-" << time.wMonth;
    EXPECT_EQ(out, expected) << time.wYear << "-" << time.wMonth << "-" << time.wDay;
  }
}

TEST_F(InstallStepsTest, QuestionsAboutTheRegisteredDrivers) {
  struct Row {
    std::string drivers;
    int registered, foreign, seagull;
    std::string faults = "[]";
  };
  const std::vector<Row> rows = {
      {"", 0, 0, 0},
      {R"({"pName": "korvane kv-t80", "pConfigFile": "C:\\D\\korvdrv6ui.dll"})", 0, 0, 0},
      {R"({"pName": "Korvane KV-T80", "pConfigFile": "C:\\D\\korvdrv6ui.dll"})", 1, 0, 0},
      {R"({"pName": "Korvane KV-T80", "pConfigFile": "C:\\D\\OTHERUI.DLL"})", 1, 1, 0},
      {R"({"pName": "Korvane KV-T80", "pConfigFile": "C:\\D\\KORVDRV6UI.DLL"})", 1, 1, 0},
      {R"({"pName": "Korvane KV-T80", "pConfigFile": "C:\\D\\korvdrv6ui.dll"})", 0, 0, 0,
       R"([{"operation": "EnumPrinterDriversW", "error": 8}])"},
      {R"({"pName": "A", "pConfigFile": "C:\\D\\SeagullUI.dll", "pszProvider": "korvane"},
          {"pName": "B", "pConfigFile": "C:\\D\\other.dll", "pszProvider": "Korvane"},
          {"pName": "C", "pConfigFile": "C:\\D\\seagullui.dll", "pszProvider": "Korvane"})", 0, 0, 0},
      {R"({"pName": "A", "pConfigFile": "C:\\D\\SeagullUI.dll", "pszProvider": "korvane"},
          {"pName": "D", "pConfigFile": "C:\\D\\SeagullUI.dll", "pszProvider": "Korvane"})", 0, 0, 1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.drivers);
    Fresh(R"("spooler": {"drivers": [)" + row.drivers + R"(]}, "faults": )" + row.faults);
    EXPECT_EQ(IsDriverRegistered(Request()), row.registered);
    EXPECT_EQ(IsForeignDriverRegistered(Request()), row.foreign);
    EXPECT_EQ(IsSeagullDriverInstalled(), row.seagull);
  }
}

TEST_F(InstallStepsTest, LanguageMonitorRegistration) {
  struct Row {
    std::string machine;
    int result;
    std::string traces;
  };
  const std::vector<Row> rows = {
      {R"("files": [{"path": "C:\\Windows\\system32\\korvmon.dll"}])", 1, ""},
      {R"("spooler": {"monitors": [{"pName": "Language Monitor", "pDLLName": "korvmon.dll"}]})", 1, ""},
      {"", 0, "InstallPrinterLanguageMonitor failed, errcode:126."},
      {R"("services": {"Spooler": {"state": "stopped"}})", 0, "InstallPrinterLanguageMonitor failed, errcode:1722."},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.machine);
    Fresh(row.machine);
    EXPECT_EQ(InstallPrinterLanguageMonitor(u"Language Monitor", u"korvmon.dll"), row.result);
    EXPECT_EQ(Traces(), row.traces);
    ASSERT_EQ(M().spooler.monitors.size(), static_cast<std::size_t>(row.result));
    for (const auto& m : M().spooler.monitors) EXPECT_EQ(U8(m.pName + u"|" + m.pDLLName), "Language Monitor|korvmon.dll");
  }
}

TEST_F(InstallStepsTest, StagingOneFile) {
  struct Row {
    const char* what;
    std::string machine;
    const char16_t* file;
    const char16_t* installDir;
    int result;
    std::string content;  // in the driver directory afterwards
    std::size_t scheduled;
    std::string traces = "?";  // "?": not looked at
  };
  const std::string t = kDriverDir + "korvdrv6.dll";
  const std::string locked = R"("files": [{"path": ")" + kDriverDirJson + R"(korvdrv6.dll", "content": "in use", "locked": true}])";
  const std::string lockedData = R"("files": [{"path": ")" + kDriverDirJson + R"(korvdrv6.dat", "content": "in use", "locked": true}])";
  const std::vector<Row> rows = {
      {"x64", "", u"korvdrv6.dll", u"C:\\Korvane\\", 1, "amd64", 0,
       ("Remove file:" + t + ", 0, errcode:2.|CopyFile file:C:\\Korvane\\amd64\\korvdrv6.dll to " + t +
        ", 1, errcode:0.")},
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
      {"a locked file is scheduled", locked, u"korvdrv6.dll", u"C:\\Korvane\\", 1, "in use", 1},
      {"a locked file that cannot be scheduled",
       locked + R"(, "faults": [{"operation": "MoveFileExW", "error": 5}])", u"korvdrv6.dll", u"C:\\Korvane\\", 0,
       "in use", 0},
      {"the data file", "", u"korvdrv6.dat", u"C:\\Korvane\\", 1, "dat", 0,
       ("CopyFile file:C:\\Korvane\\dat\\korvdrv6.dat to " + kDriverDir + "korvdrv6.dat, 1, errcode:0.")},
      {"a locked data file is not scheduled", lockedData, u"korvdrv6.dat", u"C:\\Korvane\\", 0, "in use", 0,
       ("CopyFile file:C:\\Korvane\\dat\\korvdrv6.dat to " + kDriverDir + "korvdrv6.dat, 0, errcode:32.")},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Fresh(row.machine, row.installDir);
    const bool data = Text(row.file) == u"korvdrv6.dat";
    EXPECT_EQ(data ? StageDataFile(row.file) : StageArchFile(row.file), row.result);
    const std::string shipped =
        row.content == "in use" || row.content.empty()
            ? row.content
            : sim::InstallerFileContent(Utf8ToUtf16(row.content), row.file);
    EXPECT_EQ(ContentOf(kDriverDir + U8(row.file)), shipped);
    EXPECT_EQ(M().kernel.pendingRenames.size(), row.scheduled);
    if (row.traces != "?") {
      EXPECT_EQ(Traces(), row.traces);
    }
  }
}

TEST_F(InstallStepsTest, CopyIntoTheSystemFolder) {
  struct Row {
    std::string machine;
    const char16_t* source;
    int result;
    std::string content;
  };
  const std::vector<Row> rows = {
      {"", u"C:\\Korvane\\arm64\\korvmon.dll", 1, sim::InstallerFileContent(u"arm64", u"korvmon.dll")},
      {"", u"C:\\Korvane\\arm64\\missing.dll", 0, ""},
      {R"("faults": [{"operation": "GetSystemDirectoryW", "error": 5}])", u"C:\\Korvane\\amd64\\korvmon.dll", 0, ""},
      {R"("systemFolder": "C:\\)" + std::string(257, 'S') + "\"", u"C:\\Korvane\\amd64\\korvmon.dll", 0, ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.machine);
    Fresh(row.machine);
    EXPECT_EQ(CopyToSystemFolder(row.source), row.result);
    EXPECT_EQ(ContentOf("C:\\Windows\\system32\\korvmon.dll"), row.content);
  }
}

TEST(SplitPathTest, SplitsLikeTheRuntime) {
  const std::vector<std::vector<std::string>> rows = {
      {"C:\\Korvane\\amd64\\korvmon.v2.dll", "C:", "\\Korvane\\amd64\\", "korvmon.v2", ".dll"},
      {"dir.d/name", "", "dir.d/", "name", ""},
      {"korvmon.dll", "", "", "korvmon", ".dll"},
      {"C:\\" + std::string(300, 'n') + ".dll", "C:", "\\", std::string(255, 'n'), ".dll"},  // cut to the runtime's size
  };
  for (const auto& row : rows) {
    const SplitPath p = SplitPathOf(Utf8ToUtf16(row[0]).c_str());
    EXPECT_EQ((std::vector<std::string>{row[0], U8(p.drive.view()), U8(p.folder.view()), U8(p.name.view()),
                                        U8(p.extension.view())}),
              row);
  }
}

TEST_F(InstallStepsTest, QueueStateAndMovingTheQueue) {
  struct Row {
    const char16_t* port;
    std::string machine;  // besides the spooler with the queue on USB002
    int state;
    bool moved;
    const char* portAfter;
  };
  const std::vector<Row> rows = {
      {u"USB002", "", kQueueOnPort, false, "USB002"},
      {u"USB001", "", kQueueOnOtherPort, true, "USB001"},
      {u"usb002", "", kQueueOnOtherPort, true, "USB002"},   // the spooler keeps its own spelling
      {u"USB009", "", kQueueOnOtherPort, false, "USB002"},  // a port it does not know
      {u"USB001", R"("faults": [{"operation": "GetPrinterW", "error": 8}])", kQueueOnPort, false, "USB002"},
      {u"USB001", R"("faults": [{"operation": "SetPrinterW", "error": 5}])", kQueueOnOtherPort, false, "USB002"},
      {u"USB001", R"("services": {"Spooler": {"state": "stopped"}})", kQueueAbsent, false, "USB002"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(U8(row.port) + " " + row.machine);
    Fresh(R"("spooler": {"ports": ["USB001", "USB002"], "drivers": [{"pName": "Korvane KV-T80"}],
          "queues": [{"pPrinterName": "Korvane KV-T80", "pPortName": "USB002", "pDriverName": "Korvane KV-T80",
                      "pComment": "kept"}]})" + (row.machine.empty() ? "" : ", " + row.machine));
    EXPECT_EQ(QueryQueueState(u"Korvane KV-T80", row.port), row.state);
    EXPECT_EQ(SetQueuePort(u"Korvane KV-T80", row.port) != 0, row.moved);
    const auto& queue = M().spooler.queues.at(0).info;
    EXPECT_EQ(U8(queue.pPortName), row.portAfter);
    EXPECT_EQ(U8(queue.pComment), "kept") << "the record goes back whole";
    EXPECT_EQ(queue.Status, 0u) << "left ready to print";
  }
}

TEST_F(InstallStepsTest, AddingTheQueue) {
  struct Row {
    std::string spooler;
    int result;
    std::uint64_t endsAt;
    const char* port;
    std::string traces;
  };
  const std::string driver = R"("drivers": [{"pName": "Korvane KV-T80"}], "ports": ["USB001", "USB002"])";
  const std::vector<Row> rows = {
      {driver, 1, 0, "USB001", ""},
      {driver + R"(, "queues": [{"pPrinterName": "Korvane KV-T80", "pPortName": "USB002", "pDriverName": "Korvane KV-T80"}])",
       1, 0, "USB002", "The printer Korvane KV-T80 is already added."},
      {R"("ports": ["USB001"])", 0, 5000, "", "AddPrinter Korvane KV-T80 failed, errcode:1797."},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.spooler);
    Fresh(R"("spooler": {)" + row.spooler + "}");
    EXPECT_EQ(AddPrintQueue(Request()), row.result);
    EXPECT_EQ(Now(), row.endsAt);
    EXPECT_EQ(Traces(), row.traces);
    EXPECT_EQ(M().spooler.queues.empty() ? "" : U8(M().spooler.queues[0].info.pPortName), row.port);
  }
  Fresh(R"("spooler": {)" + driver + "}");
  ASSERT_EQ(AddPrintQueue(Request()), 1);
  const auto& q = M().spooler.queues.at(0).info;
  EXPECT_EQ(U8(q.pDriverName + u"|" + q.pPrintProcessor + u"|" + q.pDatatype), "Korvane KV-T80|WinPrint|RAW");
  EXPECT_EQ(q.Attributes, os::PRINTER_ATTRIBUTE_LOCAL);
}

TEST_F(InstallStepsTest, PortsAreComparedExactly) {
  const std::vector<std::tuple<std::string, const char16_t*, int>> rows = {
      {R"("spooler": {"ports": ["LPT1:", "USB001"]})", u"USB001", 1},
      {R"("spooler": {"ports": ["LPT1:", "USB001"]})", u"USB003", 0},
      {R"("spooler": {"ports": ["LPT1:", "usb001"]})", u"USB001", 0},
      {R"("spooler": {"ports": ["USB001"]}, "faults": [{"operation": "EnumPortsW", "error": 8}])", u"USB001", 0},
  };
  for (const auto& [machine, port, exists] : rows) {
    Fresh(machine);
    EXPECT_EQ(PortExists(port), exists) << machine;
  }
}

TEST_F(InstallStepsTest, PackageUploadAndReenumeration) {
  const std::string stored = U8(M().spooler.uploadDestination);
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
      {RootLookup::kLocated, true, 1},
      {RootLookup::kLocated, false, 0},
      {RootLookup::kUnchecked, false, 1},
  };
  for (const auto& [lookup, located, times] : reenumerations) {
    Fresh(located ? "" : R"("faults": [{"operation": "CM_Locate_DevNodeW", "error": 13}])");
    ReenumerateDevices(os::CM_REENUMERATE_NORMAL, lookup);
    EXPECT_EQ(M().CallCount("CM_Reenumerate_DevNode"), times) << located;
  }
}

}  // namespace
}  // namespace korv::test

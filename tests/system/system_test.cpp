// The runtime deployed into the native system folder (which build, retries,
// debugger lines) and blocking control of the spooler (when a request is sent,
// its result, the virtual time the polls take, the state left behind).
#include <string>
#include <vector>

#include "platform/services.h"
#include "platform/sim/sim_fixtures.h"
#include "platform/sim/wow64.h"
#include "sim_fixture.h"
#include "system/runtime_deploy.h"
#include "system/service_control.h"

namespace korv::test {
namespace {

class SystemTest : public SimTest {
 protected:
  void Fresh(const std::string& machine) {
    Anew(R"({"machine": {"installerFolders": ["C:\\Korvane\\"], "folders": ["C:\\Windows\\SysWOW64"])" +
          (machine.empty() ? "" : ", " + machine) + "}}");
  }
  std::string ContentOf(const char16_t* path) {
    auto it = M().kernel.files.find(path);
    return it == M().kernel.files.end() ? "" : it->second.content;
  }
  std::string Output() {  // the debugger lines, joined by '|'
    std::string all;
    for (const Text& line : M().kernel.debugOutput) all += (all.empty() ? "" : "|") + U8(line);
    return all;
  }
  sim::SimService& Spooler() { return M().services.services.at(u"Spooler"); }
};

const std::string kTo = " to C:\\Windows\\system32\\vcomp140.dll";
std::string Copied(const std::string& build) { return "Successfully copied: C:\\Korvane\\" + build + "\\vcomp140.dll" + kTo; }

TEST_F(SystemTest, WhatLandsInTheSystemFolder) {
  // system32: the native system folder's file afterwards
  struct Row { const char* what; std::string machine, system32, output; std::uint64_t endsAt = 0; };
  const std::string inSystem32 = R"("files": [{"path": "C:\\Windows\\system32\\vcomp140.dll", "content": "kept"}])";
  const std::string inSysWow64 = R"("files": [{"path": "C:\\Windows\\SysWOW64\\vcomp140.dll", "content": "32-bit"}])";
  auto build = [](const char16_t* folder) { return sim::InstallerFileContent(folder, u"vcomp140.dll"); };
  const std::vector<Row> rows = {
      {"present: never replaced", inSystem32, "kept", ""},
      {"x64, 32-bit program, present in SysWOW64 only", inSysWow64, build(u"amd64"), Copied("amd64")},
      {"x64, 64-bit program, present in SysWOW64 only", inSysWow64 + R"(, "programArch": "x64")", build(u"amd64"),
       Copied("amd64")},
      {"copy failing once: retried after a second", R"("faults": [{"operation": "CopyFileW", "error": 1223, "onCall": 1}])",
       build(u"amd64"), "Copy attempt 1 failed: C:\\Korvane\\amd64\\vcomp140.dll" + kTo + ", error: 0x4c7|" + Copied("amd64"),
       1000},
      {"copy always failing: two lines, two pauses", R"("faults": [{"operation": "CopyFileW", "error": 2}])", "",
       "Copy attempt 1 failed: C:\\Korvane\\amd64\\vcomp140.dll" + kTo + ", error: 0x2|Copy attempt 2 failed: "
       "C:\\Korvane\\amd64\\vcomp140.dll" + kTo + ", error: 0x2", 2000},
      {"no build for the processor: an empty folder name",
       R"("nativeArch": "ia64", "files": [{"path": "C:\\Korvane\\\\vcomp140.dll", "content": "none"}])", "none",
       "Successfully copied: C:\\Korvane\\\\vcomp140.dll" + kTo},
      {"no system folder", R"("faults": [{"operation": "GetSystemDirectoryW", "error": 5}])", "", ""},
      {"a system folder that does not fit", R"("systemFolder": "C:\\)" + std::string(257, 'w') + "\"", "", ""},
      {"no executable path", R"("faults": [{"operation": "GetModuleFileNameW", "error": 122}])", "", ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Fresh(row.machine);
    DeployRuntimeLibrary(u"vcomp140.dll");
    EXPECT_EQ(ContentOf(u"C:\\Windows\\system32\\vcomp140.dll"), row.system32);
    EXPECT_EQ(Output(), row.output);
    EXPECT_EQ(Now(), row.endsAt);
    const bool wow64 = row.machine.find("SysWOW64") != std::string::npos;
    EXPECT_EQ(ContentOf(u"C:\\Windows\\SysWOW64\\vcomp140.dll"), wow64 ? "32-bit" : "") << "left alone";
    EXPECT_FALSE(sim::ThreadFsRedirectionDisabled()) << "redirection turned on again";
  }
}

TEST_F(SystemTest, ExecutableFolderAndTheOverwriteFlag) {
  for (const auto& [module, folder] : {std::pair{u"C:\\Korvane\\korvsetup.exe", u"C:\\Korvane"},
                                       {u"C:/Korvane/setup/korvsetup.exe", u"C:/Korvane/setup"},
                                       {u"C:\\a/b\\c/d.exe", u"C:\\a/b\\c"}, {u"korvsetup.exe", u"korvsetup.exe"}}) {
    M().kernel.modulePath = module;
    EXPECT_EQ(U8(GetExecutableFolder()), U8(folder));
  }
  Given(R"({"machine": {"files": [{"path": "C:\\src.dll", "content": "new"}, {"path": "C:\\dst.dll", "content": "old"}]}})");
  EXPECT_FALSE(CopyFileWithRetry(u"C:\\src.dll", u"C:\\dst.dll", false));
  EXPECT_EQ(ContentOf(u"C:\\dst.dll"), "old");
  EXPECT_TRUE(CopyFileWithRetry(u"C:\\src.dll", u"C:\\dst.dll", true));
  EXPECT_EQ(ContentOf(u"C:\\dst.dll"), "new");
}

TEST_F(SystemTest, StopAndStartAndWait) {
  struct Row { std::string spooler; bool stop; unsigned timeoutMs; int result; std::uint64_t endsAt; Dword after;
               std::string faults = "[]"; };  // stop, else start
  const Dword running = os::SERVICE_RUNNING, stopped = os::SERVICE_STOPPED;
  const std::vector<Row> rows = {
      {R"("state": "running")", false, 10000, 0, 0, running},  // nothing to start
      {R"("state": "stopped")", true, 10000, 0, 0, stopped},   // nothing to stop
      {R"("stopDelayMs": 95)", true, 10000, 1, 100, stopped},  // seen at the first poll at or after the delay
      {R"("stopDelayMs": 100)", true, 110, 1, 100, stopped},  // timeout / 10 polls: 11 see it
      {R"("stopDelayMs": 100)", true, 109, 0, 100, stopped},  // 10 do not
      {R"("stopDelayMs": 100)", true, 9, 0, 0, os::SERVICE_STOP_PENDING},  // asked, not waited for
      {R"("state": "stopped", "startDelayMs": 200)", false, 50, 1, 200, running},  // 50 ms apart
      {R"("state": "stopped", "startDelayMs": 200)", false, 49, 0, 200, running},
      {R"("state": "stopped", "neverStarts": true)", false, 10000, 0, 50000, os::SERVICE_START_PENDING},
      {R"("neverStops": true)", true, 10000, 0, 10000, os::SERVICE_STOP_PENDING},
      {R"("stopDelayMs": 100)", true, 10000, 1, 100, stopped,  // a failed poll is not the target state
       R"([{"operation": "QueryServiceStatusEx", "error": 6, "onCall": 2}])"},
      {R"("state": "stopped")", false, 10000, 0, 50000, stopped, R"([{"operation": "StartServiceW", "error": 5}])"},
      {R"("state": "running")", true, 10000, 0, 0, running,
       R"([{"operation": "QueryServiceStatusEx", "error": 5, "onCall": 1}])"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.spooler + (row.stop ? " stop " : " start ") + std::to_string(row.timeoutMs) + row.faults);
    Fresh(R"("services": {"Spooler": {)" + row.spooler + R"(}}, "faults": )" + row.faults);
    EXPECT_EQ(row.stop ? StopServiceAndWait(u"Spooler", row.timeoutMs) : StartServiceAndWait(u"Spooler", row.timeoutMs),
              row.result);
    EXPECT_EQ(Now(), row.endsAt);
    EXPECT_EQ(Spooler().state, row.after);
    EXPECT_TRUE(M().openHandles.empty());
  }
  Fresh(R"("services": {"Fax": {}})");  // another service's stop leaves no mark for the spooler
  EXPECT_EQ(StopServiceAndWait(u"NoSuchService", 10000) + StopServiceAndWait(u"Fax", 10000), 1);
  EXPECT_FALSE(SpoolerStoppedByUs());
}

TEST_F(SystemTest, CycleSpoolerPausesAfterTheStopAndAfterTheStart) {
  // Stopped at 100, start asked at 3100 and seen at 3300, 3 s more.
  for (const auto& [state, endsAt] : {std::pair{"running", 6300u}, std::pair{"stopped", 6200u}}) {
    Fresh(R"("services": {"Spooler": {"state": ")" + std::string(state) + R"(", "stopDelayMs": 100, "startDelayMs": 200}})");
    CycleSpooler();
    EXPECT_EQ(Now(), endsAt) << state;
    EXPECT_EQ(Spooler().state, os::SERVICE_RUNNING);
  }
}

// The action's runs: how many, when, and the spooler's state then.
struct { int runs; std::uint64_t at; Dword state; } g_action;
int RecordingAction(const char16_t*) {
  g_action = {g_action.runs + 1, sim::Machine::Get().clock.Now(), sim::Machine::Get().services.services.at(u"Spooler").state};
  return 1;
}

TEST_F(SystemTest, RestartAroundAnAction) {
  // actionAt 0: the action is not run; during: the spooler's state then; stoppedByUs: it may stand stopped because of us
  struct Row { const char* what; std::string spooler; bool action; const char16_t* argument; std::uint64_t endsAt, actionAt;
               Dword during = os::SERVICE_STOPPED, after = os::SERVICE_RUNNING; bool stoppedByUs = false;
               std::string faults = "[]"; };
  const std::uint64_t polls = 999 * 50;
  const std::vector<Row> rows = {
      {"stop, pause, action, pause, start", "", true, u"arg", 3500, 300},
      {"no argument: no action, no pause for it", "", true, nullptr, 3300, 0},
      {"no action", "", false, u"arg", 3300, 0},
      {"never stops: the whole sequence after the polls", R"("neverStops": true)", true, u"arg",
       polls + 200 + 3000 + polls, polls + 200, os::SERVICE_STOP_PENDING, os::SERVICE_STOP_PENDING, true},
      {"stopped: left alone", R"("state": "stopped")", true, u"arg", 0, 0, 0, os::SERVICE_STOPPED},
      {"start pending: left alone", R"("state": "start pending")", true, u"arg", 0, 0, 0, os::SERVICE_START_PENDING},
      {"no state", "", true, u"arg", 0, 0, 0, os::SERVICE_RUNNING, false,
       R"([{"operation": "QueryServiceStatusEx", "error": 5}])"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Fresh(R"("services": {"Spooler": {"stopDelayMs": 100, "startDelayMs": 200)" +
          (row.spooler.empty() ? "" : ", " + row.spooler) + R"(}}, "faults": )" + row.faults);
    g_action = {0, 0, 0};
    RestartSpooler(row.action ? RecordingAction : nullptr, row.argument);
    EXPECT_EQ(Now(), row.endsAt);
    EXPECT_EQ(g_action.runs, row.actionAt != 0 ? 1 : 0);
    EXPECT_EQ(g_action.at, row.actionAt);
    EXPECT_EQ(g_action.state, row.actionAt != 0 ? row.during : 0);
    EXPECT_EQ(Spooler().state, row.after);
    EXPECT_EQ(SpoolerStoppedByUs(), row.stoppedByUs);
    EXPECT_TRUE(M().openHandles.empty());
  }
}

}  // namespace
}  // namespace korv::test

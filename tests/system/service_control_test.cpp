// Blocking control of the spooler service: when a request is sent at all,
// the result, the virtual time the polls take and the state left behind.
#include "system/service_control.h"

#include <string>
#include <vector>

#include "platform/services.h"
#include "sim_fixture.h"

namespace korv::test {
namespace {

class ServiceControlTest : public SimTest {
 protected:
  void Fresh(const std::string& spooler, const std::string& faults = "[]") {
    TearDown();
    SetUp();
    Given(R"({"machine": {"services": {"Spooler": {)" + spooler + R"(}}, "faults": )" + faults + "}}");
  }
  sim::SimService& Spooler() { return M().services.services.at(u"Spooler"); }
};

TEST_F(ServiceControlTest, StopAndStartAndWait) {
  struct Row { std::string spooler; bool stop; unsigned timeoutMs; int result; std::uint64_t endsAt; Dword after;
               std::string faults = "[]"; };  // stop, else start
  const Dword running = os::SERVICE_RUNNING, stopped = os::SERVICE_STOPPED;
  const std::vector<Row> rows = {
      {R"("state": "running")", false, 10000, 0, 0, running},  // nothing to start
      {R"("state": "stopped")", true, 10000, 0, 0, stopped},   // nothing to stop
      {R"("state": "start pending")", true, 10000, 0, 0, os::SERVICE_START_PENDING},
      {R"("state": "stop pending")", false, 10000, 0, 0, os::SERVICE_STOP_PENDING},
      {R"("state": "paused")", true, 10000, 0, 0, os::SERVICE_PAUSED},
      {R"("stopDelayMs": 95)", true, 10000, 1, 100, stopped},  // seen at the first poll at or after the delay
      {R"("stopDelayMs": 100)", true, 110, 1, 100, stopped},  // timeout / 10 polls: 11 see it
      {R"("stopDelayMs": 100)", true, 109, 0, 100, stopped},  // 10 do not
      {R"("stopDelayMs": 100)", true, 9, 0, 0, os::SERVICE_STOP_PENDING},  // asked, not waited for
      {R"("state": "stopped", "startDelayMs": 200)", false, 50, 1, 200, running},  // 50 ms apart
      {R"("state": "stopped", "startDelayMs": 200)", false, 49, 0, 200, running},
      {R"("state": "stopped")", false, 0, 0, 0, os::SERVICE_START_PENDING},
      {R"("state": "stopped", "neverStarts": true)", false, 10000, 0, 50000, os::SERVICE_START_PENDING},
      {R"("neverStops": true)", true, 10000, 0, 10000, os::SERVICE_STOP_PENDING},
      {R"("stopDelayMs": 100)", true, 10000, 1, 100, stopped,  // a failed poll is not the target state
       R"([{"operation": "QueryServiceStatusEx", "error": 6, "onCall": 2}])"},
      {R"("state": "stopped")", false, 10000, 0, 50000, stopped, R"([{"operation": "StartServiceW", "error": 5}])"},
      {R"("state": "running")", true, 10000, 0, 0, running,
       R"([{"operation": "QueryServiceStatusEx", "error": 5, "onCall": 1}])"},
      {R"("state": "running")", true, 10000, 0, 0, running, R"([{"operation": "OpenSCManagerW", "error": 5}])"},
      {R"("state": "stopped")", false, 10000, 0, 0, stopped, R"([{"operation": "OpenServiceW", "error": 5}])"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.spooler + (row.stop ? " stop " : " start ") + std::to_string(row.timeoutMs) + row.faults);
    Fresh(row.spooler, row.faults);
    EXPECT_EQ(row.stop ? StopServiceAndWait(u"Spooler", row.timeoutMs) : StartServiceAndWait(u"Spooler", row.timeoutMs),
              row.result);
    EXPECT_EQ(Now(), row.endsAt);
    EXPECT_EQ(Spooler().state, row.after);
    EXPECT_TRUE(M().openHandles.empty());
  }
  Fresh("");
  EXPECT_EQ(StopServiceAndWait(u"NoSuchService", 10000), 0);
}

TEST_F(ServiceControlTest, CycleSpoolerPausesAfterTheStopAndAfterTheStart) {
  // Stopped at 100, start asked at 3100 and seen at 3300, 3 s more.
  for (const auto& [state, endsAt] : {std::pair{"running", 6300u}, std::pair{"stopped", 6200u}}) {
    Fresh(R"("state": ")" + std::string(state) + R"(", "stopDelayMs": 100, "startDelayMs": 200)");
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

TEST_F(ServiceControlTest, RestartAroundAnAction) {
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
      {"no manager", "", true, u"arg", 0, 0, 0, os::SERVICE_RUNNING, false, R"([{"operation": "OpenSCManagerW", "error": 5}])"},
      {"no service", "", true, u"arg", 0, 0, 0, os::SERVICE_RUNNING, false, R"([{"operation": "OpenServiceW", "error": 5}])"},
      {"no state", "", true, u"arg", 0, 0, 0, os::SERVICE_RUNNING, false,
       R"([{"operation": "QueryServiceStatusEx", "error": 5}])"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Fresh(R"("stopDelayMs": 100, "startDelayMs": 200)" + (row.spooler.empty() ? "" : ", " + row.spooler), row.faults);
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

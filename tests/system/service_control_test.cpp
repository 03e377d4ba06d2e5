// Blocking service control on the simulated service control manager: when a
// request is sent at all, how many polls are made and how far apart, what
// the result is, and that both handles are closed, service first.
#include "system/service_control.h"

#include <string>
#include <vector>

#include "platform/services.h"
#include "sim_fixture.h"

namespace korv {
namespace {

class ServiceControlTest : public test::SimTest {
 protected:
  sim::SimService& Spooler() { return M().services.services.at(u"Spooler"); }
  int Calls(const char* op) { return M().CallCount(op); }
  std::vector<Text> ClosedNames() {
    std::vector<Text> names;
    for (const auto& h : M().closedHandles) names.push_back(h.name);
    return names;
  }
};

TEST_F(ServiceControlTest, ServiceAlreadyInTargetStateIsLeftAlone) {
  // The spooler runs on a fresh machine.
  EXPECT_EQ(StartServiceAndWait(u"Spooler", 10000), 0);
  EXPECT_EQ(Calls("StartServiceW"), 0);

  Spooler().state = os::SERVICE_STOPPED;
  EXPECT_EQ(StopServiceAndWait(u"Spooler", 10000), 0);
  EXPECT_EQ(Calls("ControlService"), 0);

  EXPECT_EQ(Calls("QueryServiceStatusEx"), 2);  // one look each, no polling
  EXPECT_EQ(Now(), 0u);
  EXPECT_TRUE(M().openHandles.empty());
}

TEST_F(ServiceControlTest, PendingOrPausedServiceIsLeftAlone) {
  for (Dword state : {os::SERVICE_START_PENDING, os::SERVICE_STOP_PENDING, os::SERVICE_PAUSED}) {
    Spooler().state = state;
    EXPECT_EQ(StartServiceAndWait(u"Spooler", 10000), 0) << state;
    EXPECT_EQ(StopServiceAndWait(u"Spooler", 10000), 0) << state;
    EXPECT_EQ(Spooler().state, state);
  }
  EXPECT_EQ(Calls("StartServiceW") + Calls("ControlService"), 0);
  EXPECT_EQ(Now(), 0u);
}

TEST_F(ServiceControlTest, TimeoutBelowTenSendsTheRequestButDoesNotWait) {
  EXPECT_EQ(StopServiceAndWait(u"Spooler", 9), 0);
  EXPECT_EQ(Calls("ControlService"), 1);
  EXPECT_EQ(Spooler().state, os::SERVICE_STOP_PENDING);

  M().clock.Sleep(1000);  // let it stop
  ASSERT_EQ(Spooler().state, os::SERVICE_STOPPED);
  const auto before = Now();
  EXPECT_EQ(StartServiceAndWait(u"Spooler", 0), 0);
  EXPECT_EQ(Calls("StartServiceW"), 1);
  EXPECT_EQ(Spooler().state, os::SERVICE_START_PENDING);

  EXPECT_EQ(Calls("QueryServiceStatusEx"), 2);
  EXPECT_EQ(Now(), before);
}

TEST_F(ServiceControlTest, StartThatNeverCompletesPollsAThousandTimesFiftyMsApart) {
  Spooler().state = os::SERVICE_STOPPED;
  Spooler().neverStarts = true;
  EXPECT_EQ(StartServiceAndWait(u"Spooler", 10000), 0);
  EXPECT_EQ(Calls("QueryServiceStatusEx"), 1 + 1000);
  EXPECT_EQ(Now(), 50000u);
  EXPECT_EQ(Spooler().state, os::SERVICE_START_PENDING);
  EXPECT_TRUE(M().openHandles.empty());
}

TEST_F(ServiceControlTest, StopThatNeverCompletesPollsAThousandTimesTenMsApart) {
  Spooler().neverStops = true;
  EXPECT_EQ(StopServiceAndWait(u"Spooler", 10000), 0);
  EXPECT_EQ(Calls("QueryServiceStatusEx"), 1 + 1000);
  EXPECT_EQ(Now(), 10000u);
}

TEST_F(ServiceControlTest, StopReturnsAtTheFirstPollThatSeesTheServiceStopped) {
  // delay -> virtual time the stop is seen: the first multiple of 10 at or
  // after the delay.
  const std::pair<std::uint64_t, std::uint64_t> cases[] = {{1, 10}, {95, 100}, {100, 100}, {2345, 2350}};
  for (auto [delay, seenAt] : cases) {
    Spooler().state = os::SERVICE_RUNNING;
    Spooler().stopDelayMs = delay;
    const auto start = Now();
    const int queries = Calls("QueryServiceStatusEx");
    EXPECT_EQ(StopServiceAndWait(u"Spooler", 10000), 1) << delay;
    EXPECT_EQ(Now() - start, seenAt) << delay;
    EXPECT_EQ(Calls("QueryServiceStatusEx") - queries, static_cast<int>(1 + seenAt / 10 + 1)) << delay;
    EXPECT_EQ(Spooler().state, os::SERVICE_STOPPED);
  }
}

TEST_F(ServiceControlTest, TimeoutGivesExactlyTimeoutOverTenPolls) {
  // Stopping takes 100 ms: 10 polls (at 0..90) miss it, 11 see it at 100.
  Spooler().stopDelayMs = 100;
  EXPECT_EQ(StopServiceAndWait(u"Spooler", 109), 0);
  EXPECT_EQ(Now(), 100u);
  Spooler().state = os::SERVICE_RUNNING;
  EXPECT_EQ(StopServiceAndWait(u"Spooler", 110), 1);
  EXPECT_EQ(Now(), 200u);

  // Starting takes 200 ms: 4 polls (at 0..150) miss it, 5 see it at 200.
  Spooler().state = os::SERVICE_STOPPED;
  Spooler().startDelayMs = 200;
  EXPECT_EQ(StartServiceAndWait(u"Spooler", 49), 0);
  EXPECT_EQ(Now(), 400u);
  Spooler().state = os::SERVICE_STOPPED;
  EXPECT_EQ(StartServiceAndWait(u"Spooler", 50), 1);
  EXPECT_EQ(Now(), 600u);
  EXPECT_EQ(Spooler().state, os::SERVICE_RUNNING);
}

TEST_F(ServiceControlTest, RequestAndPollResultsDoNotDecide) {
  // A failed poll is not taken for the target state, nor does it end the wait.
  M().faults.Set("QueryServiceStatusEx", sim::FaultRule{err::InvalidHandle, 0, 2});
  EXPECT_EQ(StopServiceAndWait(u"Spooler", 10000), 1);
  EXPECT_EQ(Now(), 100u);

  // A refused request still leads to the full wait.
  M().faults.ClearAll();
  M().faults.Set("StartServiceW", sim::FaultRule{err::AccessDenied});
  const auto start = Now();
  EXPECT_EQ(StartServiceAndWait(u"Spooler", 10000), 0);
  EXPECT_EQ(Now() - start, 50000u);
  EXPECT_EQ(Spooler().state, os::SERVICE_STOPPED);
}

TEST_F(ServiceControlTest, FailedFirstQueryMeansNothingIsDone) {
  M().faults.Set("QueryServiceStatusEx", sim::FaultRule{err::AccessDenied, 0, 1});
  EXPECT_EQ(StopServiceAndWait(u"Spooler", 10000), 0);
  EXPECT_EQ(Calls("ControlService"), 0);
  EXPECT_EQ(Spooler().state, os::SERVICE_RUNNING);
}

TEST_F(ServiceControlTest, OpenFailuresGiveZeroAndLeaveNoHandleOpen) {
  M().faults.Set("OpenSCManagerW", sim::FaultRule{err::AccessDenied});
  EXPECT_EQ(StopServiceAndWait(u"Spooler", 10000), 0);
  EXPECT_EQ(StartServiceAndWait(u"Spooler", 10000), 0);
  EXPECT_EQ(Calls("OpenServiceW"), 0);
  EXPECT_TRUE(M().closedHandles.empty());

  M().faults.ClearAll();
  M().faults.Set("OpenServiceW", sim::FaultRule{err::AccessDenied});
  EXPECT_EQ(StopServiceAndWait(u"Spooler", 10000), 0);
  EXPECT_EQ(StartServiceAndWait(u"Spooler", 10000), 0);
  M().faults.ClearAll();
  EXPECT_EQ(StopServiceAndWait(u"NoSuchService", 10000), 0);

  EXPECT_EQ(Calls("QueryServiceStatusEx"), 0);
  EXPECT_EQ(ClosedNames(), (std::vector<Text>{u"ServicesActive", u"ServicesActive", u"ServicesActive"}));
  EXPECT_TRUE(M().openHandles.empty());
  EXPECT_EQ(Spooler().state, os::SERVICE_RUNNING);
}

TEST_F(ServiceControlTest, ServiceHandleIsClosedBeforeTheManager) {
  EXPECT_EQ(StopServiceAndWait(u"Spooler", 10000), 1);
  EXPECT_EQ(StartServiceAndWait(u"Spooler", 10000), 1);
  EXPECT_EQ(ClosedNames(),
            (std::vector<Text>{u"Spooler", u"ServicesActive", u"Spooler", u"ServicesActive"}));
  EXPECT_TRUE(M().openHandles.empty());
}

TEST_F(ServiceControlTest, CycleSpoolerStopsPausesStartsAndPauses) {
  Spooler().stopDelayMs = 100;
  Spooler().startDelayMs = 200;
  CycleSpooler();
  // Stop seen at 100, pause to 3100, start requested then and seen at 3300,
  // pause to 6300.
  EXPECT_EQ(Now(), 6300u);
  EXPECT_EQ(M().CallNames({"ControlService", "StartServiceW"}),
            (std::vector<std::string>{"ControlService", "StartServiceW"}));
  for (const auto& call : M().calls) {
    if (call.operation == "ControlService") {
      EXPECT_EQ(call.at, 0u);
    } else if (call.operation == "StartServiceW") {
      EXPECT_EQ(call.at, 3100u);
    }
  }
  EXPECT_EQ(Spooler().state, os::SERVICE_RUNNING);

  // Already stopped: nothing to stop, the pauses still run.
  Spooler().state = os::SERVICE_STOPPED;
  CycleSpooler();
  EXPECT_EQ(Now(), 6300u + 3000 + 200 + 3000);
  EXPECT_EQ(Calls("ControlService"), 1);
  EXPECT_EQ(Calls("StartServiceW"), 2);
}

}  // namespace
}  // namespace korv

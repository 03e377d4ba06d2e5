// The program ending while one of its threads has the spooler stopped: the
// spooler is started again before the process goes.
#include <gtest/gtest.h>

#include "app_machine.h"
#include "install/file_staging.h"
#include "platform/kernel.h"
#include "platform/services.h"
#include "system/service_control.h"
#include "uninstall/removal.h"

namespace korv::test {
namespace {

class SpoolerOnExitTest : public AppTest {
 protected:
  sim::SimService& Spooler() { return M().services.services.at(u"Spooler"); }
};

// Each place that stops the spooler, run on a thread of its own as the
// worker and the removal run; the process ends (the window closed) at the
// moment the spooler stands stopped, as the end of RunProgram does it.
TEST_F(SpoolerOnExitTest, EndingWhileAThreadHadTheSpoolerStoppedStartsItAgain) {
  struct Case {
    const char* what;
    void (*stopper)();
    bool stoppedBySomeoneElse;
    Dword finalState;
  };
  const Case cases[] = {
      {"the worker's restart after a missing port", [] { RestartSpooler(nullptr, nullptr); }, false,
       os::SERVICE_RUNNING},
      {"file staging's restart around the monitor",
       [] { RestartSpooler(CopyToSystemFolder, u"C:\\Korvane\\amd64\\korvmon.dll"); }, false,
       os::SERVICE_RUNNING},
      {"the removal's monitor deletion", [] { DeleteSystemFile(u"korvmon.dll"); }, false, os::SERVICE_RUNNING},
      {"the removal's restart of a driver in use", [] { CycleSpooler(); }, false, os::SERVICE_RUNNING},
      // A spooler someone else stopped is not ours to start.
      {"a spooler stopped before we came", [] {}, true, os::SERVICE_STOPPED},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Fresh();
    if (c.stoppedBySomeoneElse) Spooler().state = os::SERVICE_STOPPED;
    // Slow enough that the thread is caught with the spooler down.
    Spooler().startDelayMs = 2000;
    M().clock.Spawn(c.stopper);
    M().clock.WaitUntil([&] { return Spooler().state == os::SERVICE_STOPPED; }, 5000);
    ASSERT_EQ(Spooler().state, os::SERVICE_STOPPED);
    const int stops = Spooler().stopRequests;

    RestartSpoolerStoppedByUs();
    M().clock.EndProcess();

    EXPECT_EQ(Spooler().state, c.finalState);
    EXPECT_EQ(Spooler().stopRequests, stops);  // nothing stopped it again
    EXPECT_FALSE(SpoolerStoppedByUs());
  }
}

// Caught while its stop was still under way, the spooler is let to stop
// first (a start is only taken from the stopped state), then started.
TEST_F(SpoolerOnExitTest, EndingDuringTheStopWaitsForItAndStarts) {
  Spooler().stopDelayMs = 1500;
  M().clock.Spawn([] { RestartSpooler(nullptr, nullptr); });
  M().clock.WaitUntil([&] { return Spooler().state == os::SERVICE_STOP_PENDING; }, 5000);
  ASSERT_EQ(Spooler().state, os::SERVICE_STOP_PENDING);

  EXPECT_EQ(RestartSpoolerStoppedByUs(), 1);
  M().clock.EndProcess();
  EXPECT_EQ(Spooler().state, os::SERVICE_RUNNING);
}

}  // namespace
}  // namespace korv::test

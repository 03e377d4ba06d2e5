// The program ending while one of its threads has the spooler stopped: the
// spooler is started again before the process goes.
#include <gtest/gtest.h>

#include "platform/services.h"
#include "sim_fixture.h"
#include "system/service_control.h"
#include "uninstall/removal.h"

namespace korv::test {
namespace {

class SpoolerOnExit : public SimTest {};

// Each place that stops the spooler runs on a thread of its own, as the worker and
// the removal do; the process ends while the spooler stands stopped or stopping.
TEST_F(SpoolerOnExit, EndingWhileAThreadHadTheSpoolerStoppedStartsItAgain) {
  // spooler: the Spooler service of the machine
  struct Case { const char* what; void (*stopper)(); const char* spooler; Dword caughtIn, finalState; };
  const Case cases[] = {
      {"the removal's monitor deletion", [] { DeleteSystemFile(u"korvmon.dll"); },
       R"({"state":"running","startDelayMs":2000})", os::SERVICE_STOPPED, os::SERVICE_RUNNING},
      {"caught while still stopping", [] { RestartSpooler(nullptr, nullptr); },
       R"({"state":"running","stopDelayMs":1500})", os::SERVICE_STOP_PENDING, os::SERVICE_RUNNING},
      {"a spooler stopped before we came is not ours to start", [] {}, R"({"state":"stopped"})", os::SERVICE_STOPPED,
       os::SERVICE_STOPPED},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Anew(R"({"machine":{"installerFolders":["C:\\Korvane\\"],"services":{"Spooler":)" + std::string(c.spooler) +
          "}}}");
    sim::SimService& spooler = M().services.services.at(u"Spooler");
    M().clock.Spawn(c.stopper);
    M().clock.WaitUntil([&] { return spooler.state == c.caughtIn; }, 5000);
    ASSERT_EQ(spooler.state, c.caughtIn);
    const int stops = spooler.stopRequests;

    RestartSpoolerStoppedByUs();
    M().clock.EndProcess();

    EXPECT_EQ(spooler.state, c.finalState);
    EXPECT_EQ(spooler.stopRequests, stops);  // nothing stopped it again
    EXPECT_FALSE(SpoolerStoppedByUs());
  }
}

}  // namespace
}  // namespace korv::test

// The virtual clock and the simulated threads every other test stands on.
#include "platform/sim/scheduler.h"

#include <chrono>
#include <string>
#include <vector>

#include "platform/kernel.h"
#include "sim_fixture.h"

namespace korv {
namespace {

using sim::ProcessEnded;

class SchedulerTest : public test::SimTest {
 protected:
  sim::Scheduler& Clock() { return M().clock; }
  // (virtual time, who) in the order things happened.
  std::vector<std::pair<std::uint64_t, std::string>> log;
  void Note(const std::string& who) { log.emplace_back(Clock().Now(), who); }
};

TEST_F(SchedulerTest, SleepAdvancesVirtualTimeOnly) {
  const auto realStart = std::chrono::steady_clock::now();
  os::Sleep(3600u * 1000u);
  Clock().Sleep(50);
  EXPECT_EQ(Now(), 3600u * 1000u + 50u);
  EXPECT_LT(std::chrono::steady_clock::now() - realStart, std::chrono::seconds(5));
}

TEST_F(SchedulerTest, ThreadsInterleaveByWakeTime) {
  int done = 0;
  Clock().Spawn([&] {
    for (int i = 0; i < 3; ++i) {
      Clock().Sleep(30);
      Note("A");
    }
    ++done;
  });
  Clock().Spawn([&] {
    for (int i = 0; i < 3; ++i) {
      Clock().Sleep(20);
      Note("B");
    }
    ++done;
  });
  EXPECT_EQ(Clock().LiveThreads(), 3);
  // Neither runs before the main thread blocks.
  EXPECT_TRUE(log.empty());
  Clock().Sleep(60);
  Note("main");
  // Main, A and B all wake at 60: whoever blocked first runs first (main at
  // 0, A at 30, B at 40).
  EXPECT_TRUE(Clock().WaitUntil([&] { return done == 2; }));
  const std::vector<std::pair<std::uint64_t, std::string>> expected = {
      {20, "B"}, {30, "A"}, {40, "B"}, {60, "main"}, {60, "A"}, {60, "B"}, {90, "A"}};
  EXPECT_EQ(log, expected);
  EXPECT_EQ(Now(), 90u);
  EXPECT_EQ(Clock().LiveThreads(), 1);
}

TEST_F(SchedulerTest, EventsRunAtTheirTimeInSchedulingOrder) {
  Clock().After(500, [&] { Note("first"); });
  Clock().At(500, [&] { Note("second"); });
  Clock().After(200, [&] {
    Note("early");
    Clock().After(100, [&] { Note("chained"); });
  });
  Clock().Sleep(499);
  EXPECT_EQ(log.size(), 2u);
  Clock().Sleep(1);
  const std::vector<std::pair<std::uint64_t, std::string>> expected = {
      {200, "early"}, {300, "chained"}, {500, "first"}, {500, "second"}};
  EXPECT_EQ(log, expected);
}

TEST_F(SchedulerTest, WaitUntilWakesOnAConditionOrTheDeadline) {
  bool flag = false;
  Clock().After(700, [&] { flag = true; });
  EXPECT_TRUE(Clock().WaitUntil([&] { return flag; }));
  EXPECT_EQ(Now(), 700u);

  flag = false;
  Clock().Spawn([&] {
    Clock().Sleep(300);
    flag = true;
    Clock().Sleep(10000);
  });
  EXPECT_TRUE(Clock().WaitUntil([&] { return flag; }));
  EXPECT_EQ(Now(), 1000u);

  EXPECT_FALSE(Clock().WaitUntil([] { return false; }, 1250));
  EXPECT_EQ(Now(), 1250u);
  EXPECT_TRUE(Clock().WaitUntil([] { return true; }, 0));  // already true: no wait
  EXPECT_EQ(Now(), 1250u);
}

TEST_F(SchedulerTest, EndProcessUnwindsBlockedThreads) {
  struct Guard {
    int* count;
    ~Guard() { ++*count; }
  };
  int unwound = 0, caught = 0;
  bool ranPastSleep = false;
  for (int i = 0; i < 2; ++i) {
    Clock().Spawn([&] {
      Guard guard{&unwound};
      try {
        Clock().Sleep(1000000);
        ranPastSleep = true;
      } catch (const ProcessEnded&) {
        ++caught;
        throw;
      }
    });
  }
  bool neverStarted = true;
  Clock().Sleep(10);
  Clock().Spawn([&] { neverStarted = false; });  // still waiting for its first turn
  Clock().EndProcess();
  EXPECT_EQ(caught, 2);
  EXPECT_EQ(unwound, 2);
  EXPECT_FALSE(ranPastSleep);
  EXPECT_TRUE(neverStarted);
  EXPECT_EQ(Clock().LiveThreads(), 1);
  EXPECT_EQ(Now(), 10u);
  EXPECT_THROW(Clock().Sleep(1), ProcessEnded);
}

TEST_F(SchedulerTest, TimeLimitEndsTheRun) {
  bool workerEnded = false;
  Clock().Spawn([&] {
    try {
      for (;;) Clock().Sleep(700);
    } catch (const ProcessEnded&) {
      workerEnded = true;
      throw;
    }
  });
  Clock().SetTimeLimit(5500);
  int naps = 0;
  try {
    for (;;) {
      Clock().Sleep(1000);
      ++naps;
    }
  } catch (const ProcessEnded&) {
  }
  // The worker's 5600 and main's 6000 both lie past the limit: the clock
  // stops at the limit itself.
  EXPECT_EQ(naps, 5);
  EXPECT_EQ(Now(), 5500u);
  EXPECT_TRUE(Clock().TimeLimitReached());
  EXPECT_TRUE(workerEnded);
}

TEST_F(SchedulerTest, RunWhereNothingCanHappenAgainEnds) {
  Clock().Sleep(40);
  Clock().Spawn([&] { Clock().WaitUntil([] { return false; }); });
  EXPECT_THROW(Clock().WaitUntil([] { return false; }), ProcessEnded);
  EXPECT_EQ(Now(), 40u);
  EXPECT_TRUE(Clock().Ending());
  EXPECT_FALSE(Clock().TimeLimitReached());
}

}  // namespace
}  // namespace korv

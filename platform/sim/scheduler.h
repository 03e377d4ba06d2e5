// The simulated machine's virtual clock and its threads.
//
// Program threads started on the simulated machine are real threads, but only
// one of them runs at a time: the one holding the baton. A thread gives the
// baton away only where a Windows thread would block (Sleep, a dialog waiting
// for input), and the scheduler hands it to the thread whose wake time comes
// first, advancing the virtual clock to that time and running the machine's
// scheduled events on the way. A 66-second spooler restart therefore costs a
// test nothing, and every run is deterministic.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace korv::sim {

// Thrown out of a blocking call on a thread of a simulated process that has
// ended (its main thread returned, or the run reached its time limit). It
// unwinds the thread the way process exit ends a Windows thread.
struct ProcessEnded {};

class Scheduler {
 public:
  static constexpr std::uint64_t kForever = UINT64_MAX;

  Scheduler();
  ~Scheduler();
  Scheduler(const Scheduler&) = delete;
  Scheduler& operator=(const Scheduler&) = delete;

  // Virtual milliseconds since the machine was made.
  std::uint64_t Now() const { return now_; }

  // Runs `event` on whichever thread holds the baton when the clock reaches
  // `when` (absolute virtual time). Events at the same time run in the order
  // they were scheduled.
  void At(std::uint64_t when, std::function<void()> event);
  void After(std::uint64_t delay, std::function<void()> event) { At(now_ + delay, std::move(event)); }

  // Blocks the calling thread for `ms` virtual milliseconds.
  void Sleep(std::uint64_t ms);

  // Blocks until `ready()` is true (checked whenever another thread gives up
  // the baton or an event ran) or until the absolute time `deadline`.
  // Returns ready()'s final value.
  bool WaitUntil(const std::function<bool()>& ready, std::uint64_t deadline = kForever);

  // Starts a simulated thread running `body`. It first runs when the caller
  // next blocks.
  void Spawn(std::function<void()> body);

  // Ends the run once the clock would pass `limit`: every thread unwinds
  // with ProcessEnded at its next blocking call.
  void SetTimeLimit(std::uint64_t limit) { limit_ = limit; }
  bool TimeLimitReached() const { return limitReached_; }

  // Called by the process's main thread when the program returns: the other
  // threads are unwound and joined. Safe to call more than once.
  void EndProcess();
  bool Ending() const { return ending_; }

  // Ends the process from inside, as TerminateProcess does: from now on
  // every thread unwinds with ProcessEnded at its next blocking call. Safe
  // to call from any simulated thread; EndProcess still joins them.
  void Kill();

  // Once the process's threads are gone: the machine's own work still under
  // way (a service starting or stopping, Plug and Play making a queue) runs
  // to its end, the clock advancing to each event's time.
  void RunRemainingEvents();

  // Number of simulated threads started and not yet finished (main included).
  int LiveThreads() const;

 private:
  struct Thread {
    int id;
    std::uint64_t wake = kForever;
    std::uint64_t order = 0;  // tie-break: who blocked first runs first
    const std::function<bool()>* ready = nullptr;
    bool finished = false;
    std::thread worker;
  };

  Thread& Current();
  // Picks who runs next, advancing the clock and running events as needed.
  // Called with the lock held by the baton holder.
  Thread* PickNext(std::unique_lock<std::mutex>& lock);
  void Block(Thread& me);
  void HandTo(Thread* next);
  bool RunDueEvents(std::unique_lock<std::mutex>& lock, std::uint64_t upTo);

  mutable std::mutex mutex_;
  std::condition_variable cv_;
  std::vector<std::unique_ptr<Thread>> threads_;
  std::multimap<std::uint64_t, std::pair<std::uint64_t, std::function<void()>>> events_;
  std::uint64_t eventSeq_ = 0;
  std::uint64_t order_ = 0;
  std::uint64_t now_ = 0;
  std::uint64_t limit_ = kForever;
  bool limitReached_ = false;
  bool ending_ = false;
  int running_ = 0;  // id of the baton holder
  int nextId_ = 1;
};

}  // namespace korv::sim

#include "platform/sim/scheduler.h"

#include <algorithm>
#include <exception>

namespace korv::sim {

namespace {
// Which simulated thread the calling OS thread is. A thread no scheduler
// knows is taken to be the process's main thread (id 0).
thread_local const Scheduler* tlsScheduler = nullptr;
thread_local int tlsThreadId = 0;
}  // namespace

Scheduler::Scheduler() {
  auto main = std::make_unique<Thread>();
  main->id = 0;
  threads_.push_back(std::move(main));
}

Scheduler::~Scheduler() { EndProcess(); }

Scheduler::Thread& Scheduler::Current() {
  int id = (tlsScheduler == this) ? tlsThreadId : 0;
  for (auto& t : threads_) {
    if (t->id == id) return *t;
  }
  return *threads_.front();
}

int Scheduler::LiveThreads() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int>(std::count_if(threads_.begin(), threads_.end(),
                                        [](const auto& t) { return !t->finished; }));
}

void Scheduler::At(std::uint64_t when, std::function<void()> event) {
  std::lock_guard<std::mutex> lock(mutex_);
  events_.emplace(when, std::make_pair(eventSeq_++, std::move(event)));
}

bool Scheduler::RunDueEvents(std::unique_lock<std::mutex>& lock, std::uint64_t upTo) {
  bool ran = false;
  while (!events_.empty() && events_.begin()->first <= upTo) {
    auto it = events_.begin();
    now_ = std::max(now_, it->first);
    auto event = std::move(it->second.second);
    events_.erase(it);
    lock.unlock();
    event();
    lock.lock();
    ran = true;
  }
  return ran;
}

Scheduler::Thread* Scheduler::PickNext(std::unique_lock<std::mutex>& lock) {
  for (;;) {
    if (ending_) {
      for (auto& t : threads_) {
        if (!t->finished && t->id != 0) return t.get();
      }
      return threads_.front().get();
    }
    RunDueEvents(lock, now_);
    Thread* best = nullptr;
    for (auto& t : threads_) {
      if (t->finished) continue;
      bool due = t->wake <= now_ || (t->ready != nullptr && (*t->ready)());
      if (due && (best == nullptr || t->order < best->order)) best = t.get();
    }
    if (best != nullptr) return best;

    std::uint64_t next = events_.empty() ? kForever : events_.begin()->first;
    for (auto& t : threads_) {
      if (!t->finished) next = std::min(next, t->wake);
    }
    if (next == kForever || next > limit_) {
      // Nothing can ever happen again, or the run is out of time: the
      // process is ended from outside. With a limit set, a stuck run sits
      // until the limit ends it; without one it ends where it got stuck,
      // and that is not the limit being reached.
      if (limit_ != kForever) {
        now_ = std::max(now_, limit_);
        limitReached_ = true;
      }
      ending_ = true;
      continue;
    }
    now_ = next;
  }
}

void Scheduler::HandTo(Thread* next) {
  running_ = next->id;
  cv_.notify_all();
}

void Scheduler::Block(Thread& me) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (ending_) {
    // Leave nothing behind that points into the caller's frame.
    me.ready = nullptr;
    me.wake = kForever;
    // A destructor that waits while the thread unwinds gets no wait at all
    // rather than a second exception: the process is gone either way.
    if (std::uncaught_exceptions() > 0) return;
    throw ProcessEnded{};
  }
  me.order = ++order_;
  Thread* next = PickNext(lock);
  if (next != &me) {
    HandTo(next);
    cv_.wait(lock, [&] { return running_ == me.id; });
  }
  me.ready = nullptr;
  me.wake = kForever;
  if (ending_) throw ProcessEnded{};
}

void Scheduler::Sleep(std::uint64_t ms) {
  Thread& me = Current();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    me.wake = (ms >= kForever - now_) ? kForever - 1 : now_ + ms;
    me.ready = nullptr;
  }
  Block(me);
}

bool Scheduler::WaitUntil(const std::function<bool()>& ready, std::uint64_t deadline) {
  Thread& me = Current();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (ready()) return true;
    me.wake = deadline;
    me.ready = &ready;
  }
  Block(me);
  std::lock_guard<std::mutex> lock(mutex_);
  return ready();
}

void Scheduler::Spawn(std::function<void()> body) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto thread = std::make_unique<Thread>();
  Thread* t = thread.get();
  t->id = nextId_++;
  t->wake = now_;
  t->order = ++order_;
  threads_.push_back(std::move(thread));
  t->worker = std::thread([this, t, body = std::move(body)] {
    tlsScheduler = this;
    tlsThreadId = t->id;
    bool run;
    {
      std::unique_lock<std::mutex> start(mutex_);
      cv_.wait(start, [&] { return running_ == t->id; });
      t->wake = kForever;
      run = !ending_;
    }
    if (run) {
      try {
        body();
      } catch (const ProcessEnded&) {
        // The process ended while this thread was blocked.
      }
    }
    std::unique_lock<std::mutex> done(mutex_);
    t->finished = true;
    HandTo(PickNext(done));
  });
}

void Scheduler::Kill() {
  std::lock_guard<std::mutex> lock(mutex_);
  ending_ = true;
}

void Scheduler::RunRemainingEvents() {
  std::unique_lock<std::mutex> lock(mutex_);
  RunDueEvents(lock, kForever);
}

void Scheduler::EndProcess() {
  std::vector<std::thread> workers;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    ending_ = true;
    for (;;) {
      Thread* next = nullptr;
      for (auto& t : threads_) {
        if (!t->finished && t->id != 0) {
          next = t.get();
          break;
        }
      }
      if (next == nullptr) break;
      HandTo(next);
      cv_.wait(lock, [&] { return running_ == 0; });
    }
    for (auto& t : threads_) {
      if (t->worker.joinable()) workers.push_back(std::move(t->worker));
    }
  }
  for (auto& w : workers) w.join();
}

}  // namespace korv::sim

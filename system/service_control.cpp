#include "system/service_control.h"

#include <atomic>
#include <string_view>

#include "common/globals.h"
#include "platform/kernel.h"
#include "platform/services.h"

namespace korv {

namespace {

constexpr unsigned kMsPerPoll = 10;  // timeout units per poll, for stop and start alike
constexpr Dword kStopPauseMs = 10;
constexpr Dword kStartPauseMs = 50;
constexpr unsigned kSpoolerTimeoutMs = 10000;
constexpr Dword kSpoolerSettleMs = 3000;

using Request = bool (*)(const os::Handle& service);

// Set from our request to stop the spooler until we see it running after a
// start: while it is set, the spooler may stand stopped because of us. Any
// thread may stop or start the spooler, and the window's thread reads the
// mark when the process ends.
std::atomic<bool> spoolerStoppedByUs{false};

void ForgetSpoolerStop() { spoolerStoppedByUs = false; }
[[maybe_unused]] const bool kResetRegistered = (RegisterGlobalReset(&ForgetSpoolerStop), true);

bool IsSpooler(const char16_t* name) { return name != nullptr && std::u16string_view(name) == u"Spooler"; }

bool RequestStop(const os::Handle& service) {
  return os::ControlService(service, os::SERVICE_CONTROL_STOP);
}
bool RequestStart(const os::Handle& service) { return os::StartServiceW(service); }

// Polls while the service sits in `pending`, as a stop is polled; true when
// it left that state within the polls.
bool WaitWhileIn(const char16_t* name, Dword pending, unsigned timeoutMs) {
  os::Handle manager = os::OpenSCManagerW(os::SC_MANAGER_ALL_ACCESS);
  if (!manager) return false;
  os::Handle service = os::OpenServiceW(manager, name, os::SERVICE_ALL_ACCESS);
  if (!service) return false;
  for (unsigned poll = 0; poll < timeoutMs / kMsPerPoll; ++poll) {
    Dword state = 0;
    if (os::QueryServiceStatusEx(service, &state) && state != pending) return true;
    os::Sleep(kStopPauseMs);
  }
  return false;
}

// Acts on the service only when it sits in `from`: a service already in the
// target state, or in the middle of a transition of its own, is left alone.
// The request's own result is not looked at: the polls decide.
int ChangeStateAndWait(const char16_t* name, unsigned timeoutMs, Dword from, Dword to,
                       Request request, Dword pauseMs) {
  const unsigned polls = timeoutMs / kMsPerPoll;

  // Declared manager first, service second: the service handle is closed
  // before the manager's on every way out.
  os::Handle manager = os::OpenSCManagerW(os::SC_MANAGER_ALL_ACCESS);
  if (!manager) return 0;
  os::Handle service = os::OpenServiceW(manager, name, os::SERVICE_ALL_ACCESS);
  if (!service) return 0;

  int result = 0;
  Dword state = 0;
  if (os::QueryServiceStatusEx(service, &state) && state == from) {
    if (request == RequestStop && IsSpooler(name)) NoteSpoolerStopRequested();
    request(service);
    for (unsigned poll = 0; poll < polls; ++poll) {
      // A failed query leaves the last state seen, which is not the target.
      os::QueryServiceStatusEx(service, &state);
      if (state == to) {
        result = 1;
        break;
      }
      os::Sleep(pauseMs);
    }
  }
  return result;
}

}  // namespace

int StopServiceAndWait(const char16_t* name, unsigned timeoutMs) {
  return ChangeStateAndWait(name, timeoutMs, os::SERVICE_RUNNING, os::SERVICE_STOPPED, RequestStop,
                            kStopPauseMs);
}

int StartServiceAndWait(const char16_t* name, unsigned timeoutMs) {
  const int started = ChangeStateAndWait(name, timeoutMs, os::SERVICE_STOPPED, os::SERVICE_RUNNING,
                                         RequestStart, kStartPauseMs);
  if (started != 0 && IsSpooler(name)) NoteSpoolerRunningAgain();
  return started;
}

void NoteSpoolerStopRequested() { spoolerStoppedByUs = true; }
void NoteSpoolerRunningAgain() { spoolerStoppedByUs = false; }
bool SpoolerStoppedByUs() { return spoolerStoppedByUs; }

int RestartSpoolerStoppedByUs() {
  if (!spoolerStoppedByUs) return 0;
  // A stop we asked for may still be under way, and a start is only taken
  // from the stopped state: let the stop end first.
  WaitWhileIn(u"Spooler", os::SERVICE_STOP_PENDING, kSpoolerTimeoutMs);
  return StartServiceAndWait(u"Spooler", kSpoolerTimeoutMs);
}

void CycleSpooler() {
  StopServiceAndWait(u"Spooler", kSpoolerTimeoutMs);
  os::Sleep(kSpoolerSettleMs);
  StartServiceAndWait(u"Spooler", kSpoolerTimeoutMs);
  os::Sleep(kSpoolerSettleMs);
}

}  // namespace korv

#include "system/service_control.h"

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

bool RequestStop(const os::Handle& service) {
  return os::ControlService(service, os::SERVICE_CONTROL_STOP);
}
bool RequestStart(const os::Handle& service) { return os::StartServiceW(service); }

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
  return ChangeStateAndWait(name, timeoutMs, os::SERVICE_STOPPED, os::SERVICE_RUNNING, RequestStart,
                            kStartPauseMs);
}

void CycleSpooler() {
  StopServiceAndWait(u"Spooler", kSpoolerTimeoutMs);
  os::Sleep(kSpoolerSettleMs);
  StartServiceAndWait(u"Spooler", kSpoolerTimeoutMs);
  os::Sleep(kSpoolerSettleMs);
}

}  // namespace korv

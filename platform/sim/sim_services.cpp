// Service control manager on the simulated machine.
#include "platform/kernel.h"
#include "platform/services.h"
#include "platform/sim/machine.h"
#include "platform/sim/spooler_model.h"

namespace korv::os {

using sim::Machine;

namespace {

Machine& M() { return Machine::Get(); }

sim::SimService* ServiceOf(const ServiceHandle& handle) {
  const auto* open = M().Lookup(handle);
  if (open == nullptr) return nullptr;
  auto it = M().services.services.find(open->name);
  return it == M().services.services.end() ? nullptr : &it->second;
}

// Moves a service to its final state once its transition time has passed.
void Settle(const Text& name, Dword pending, Dword final) {
  auto& services = M().services;
  auto it = services.services.find(name);
  if (it == services.services.end() || it->second.state != pending) return;
  it->second.state = final;
  // A spooler that has started again lets go of what the old one held.
  sim::SyncSpoolerWithService(M());
  if (services.onStateChanged) services.onStateChanged(name, final);
}

}  // namespace

ServiceHandle OpenSCManagerW(Dword access) {
  (void)access;
  if (M().Enter("OpenSCManagerW")) return ServiceHandle();
  return M().MakeHandle<ServiceHandle>(u"ServicesActive");
}

ServiceHandle OpenServiceW(const ServiceHandle& manager, const char16_t* name, Dword access) {
  (void)access;
  Text n = name != nullptr ? Text(name) : Text();
  if (M().Enter("OpenServiceW", n)) return ServiceHandle();
  if (M().Lookup(manager) == nullptr) {
    SetLastError(err::InvalidHandle);
    return ServiceHandle();
  }
  auto it = M().services.services.find(n);
  if (it == M().services.services.end()) {
    SetLastError(err::ServiceDoesNotExist);
    return ServiceHandle();
  }
  return M().MakeHandle<ServiceHandle>(it->first);
}

bool QueryServiceStatusEx(const ServiceHandle& service, Dword* currentState) {
  if (M().Enter("QueryServiceStatusEx")) return false;
  auto* s = ServiceOf(service);
  if (s == nullptr) {
    SetLastError(err::InvalidHandle);
    return false;
  }
  *currentState = s->state;
  return true;
}

bool ControlService(const ServiceHandle& service, Dword control) {
  const auto* open = M().Lookup(service);
  Text name = open != nullptr ? open->name : Text();
  if (M().Enter("ControlService", name)) return false;
  auto* s = ServiceOf(service);
  if (s == nullptr) {
    SetLastError(err::InvalidHandle);
    return false;
  }
  if (control != SERVICE_CONTROL_STOP) {
    SetLastError(err::InvalidParameter);
    return false;
  }
  if (s->state != SERVICE_RUNNING) {
    SetLastError(err::ServiceNotActive);
    return false;
  }
  ++s->stopRequests;
  s->state = SERVICE_STOP_PENDING;
  if (!s->neverStops) {
    M().clock.After(s->stopDelayMs, [name] { Settle(name, SERVICE_STOP_PENDING, SERVICE_STOPPED); });
  }
  return true;
}

bool StartServiceW(const ServiceHandle& service) {
  const auto* open = M().Lookup(service);
  Text name = open != nullptr ? open->name : Text();
  if (M().Enter("StartServiceW", name)) return false;
  auto* s = ServiceOf(service);
  if (s == nullptr) {
    SetLastError(err::InvalidHandle);
    return false;
  }
  if (s->state != SERVICE_STOPPED) {
    SetLastError(err::ServiceAlreadyRunning);
    return false;
  }
  ++s->startRequests;
  s->state = SERVICE_START_PENDING;
  if (!s->neverStarts) {
    M().clock.After(s->startDelayMs, [name] { Settle(name, SERVICE_START_PENDING, SERVICE_RUNNING); });
  }
  return true;
}

}  // namespace korv::os

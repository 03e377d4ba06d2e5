// Services of the simulated machine (the print spooler), with state
// transitions that take virtual time.
#pragma once

#include <cstdint>
#include <functional>
#include <map>

#include "platform/sim/nocase.h"
#include "platform/types.h"

namespace korv::sim {

struct SimService {
  Dword state = 4;                 // SERVICE_RUNNING
  std::uint64_t startDelayMs = 200;  // START_PENDING -> RUNNING
  std::uint64_t stopDelayMs = 100;   // STOP_PENDING -> STOPPED
  bool neverStarts = false;        // stays START_PENDING
  bool neverStops = false;         // stays STOP_PENDING
  int startRequests = 0;
  int stopRequests = 0;
};

struct ServicesState {
  std::map<Text, SimService, NoCaseLess> services{{u"Spooler", SimService{}}};
  // Called after a service reached RUNNING or STOPPED (name, new state), so
  // that other parts of the machine can react (the spooler lets go of files
  // and drivers it held, for instance).
  std::function<void(const Text&, Dword)> onStateChanged;
};

}  // namespace korv::sim

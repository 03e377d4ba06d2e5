// The simulated machine's state as JSON, for korvsim's --state output. Field
// names follow the scenario format (FORMAT.md) where the two meet, so a
// reader of one can read the other.
#pragma once

#include "platform/sim/machine.h"
#include "tools/korvsim/json_reader.h"

namespace korv::korvsim {

Json MachineStateJson(const sim::Machine& machine);

}  // namespace korv::korvsim

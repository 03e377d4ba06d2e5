// korvsnap's own calls on the simulated machine (platform/inspect.h).
#include "platform/inspect.h"

#include "platform/kernel.h"
#include "platform/sim/machine.h"
#include "platform/sim/spooler_model.h"

namespace korv::os {

using sim::Machine;

bool EnumMonitorsW(std::vector<MonitorInfo2>* monitors) {
  Machine& m = Machine::Get();
  monitors->clear();
  if (m.Enter("EnumMonitorsW")) return false;
  if (!sim::SpoolerRunning(m)) {
    SetLastError(1722);  // RPC_S_SERVER_UNAVAILABLE, as every spooler call
    return false;
  }
  *monitors = m.spooler.monitors;
  SetLastError(err::Success);
  return true;
}

unsigned GetACP() { return Machine::Get().kernel.ansiCodePage; }

std::uint16_t GetProgramArchitecture() { return Machine::Get().kernel.programArch; }

}  // namespace korv::os

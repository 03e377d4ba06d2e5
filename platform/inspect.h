// Reading the machine for korvsnap, the capture tool: the few calls it makes
// that the installer itself never needs. Everything else korvsnap reads goes
// through the installer's own calls (kernel.h, registry.h, devices.h,
// services.h, spooler.h), so a capture sees the machine as the installer does.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/spooler.h"
#include "platform/types.h"

namespace korv::os {

// EnumMonitorsW(null, 2): the installed print monitors. An empty list is a
// success.
bool EnumMonitorsW(std::vector<MonitorInfo2>* monitors);

// GetACP: the ANSI code page the code-page conversions use.
unsigned GetACP();

// The processor architecture the running program is built for (a
// wProcessorArchitecture value, see korv::arch): x86 for the shipped 32-bit
// program even on a 64-bit system.
std::uint16_t GetProgramArchitecture();

}  // namespace korv::os

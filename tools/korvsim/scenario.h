// A korvsim scenario: the simulated machine the program starts on, its
// command line and the scripted user. The file format is described in
// tools/korvsim/FORMAT.md.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/sim/machine.h"
#include "tools/korvsim/json_reader.h"

namespace korv::korvsim {

// What a started child must hold to be a copy of the program, which
// --follow (or "followChildren") runs in its turn. korvsim writes it at the
// program's own path and as every installer folder's "unins000.exe".
inline constexpr char kProgramContent[] = "korvsetup.exe (the program)";

struct InjectedFault {
  std::string operation;
  sim::FaultRule rule;
};

struct Scenario {
  std::string description;
  Text commandLine;
  std::uint64_t timeLimitMs = 60000;
  bool followChildren = false;
  std::vector<InjectedFault> faults;
};

// Parses the scenario text and sets the machine up as it describes. A
// mistake throws ScenarioError naming the field; malformed JSON throws
// ScenarioError with the parser's message.
Scenario ApplyScenario(const std::string& jsonText, sim::Machine& machine);

// Arms the scenario's faults on a machine (every process of a run gets them
// afresh, with fresh call counts).
void ArmFaults(const Scenario& scenario, sim::Machine& machine);

// The hardware ID Windows gives a USB printer with this "Port Description":
// "usbprint\" + description (at most 32 units) + the checksum of its bytes in
// the machine's ANSI code page, lower case.
Text UsbPrinterHardwareId(const Text& description, unsigned ansiCodePage);

}  // namespace korv::korvsim

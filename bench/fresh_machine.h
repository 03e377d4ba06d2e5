// The benchmarks' machines, in korvsim's scenario format, and upkeep of the
// logs the simulated machine keeps.
#pragma once

#include <nlohmann/json.hpp>

#include <cstddef>
#include <string>

#include "app/res/resource_tables.h"
#include "common/globals.h"
#include "discovery/model_table.h"
#include "platform/sim/machine.h"
#include "platform/sim/program_resources.h"
#include "tools/korvsim/scenario.h"

namespace korv::bench {

using Json = nlohmann::json;

// A fresh machine set up from the scenario, with fresh program globals.
inline sim::Machine& FreshMachine(const Json& scenario = Json::object()) {
  sim::Machine& machine = sim::Machine::Reset();
  sim::UseProgramResources(res::AsProgramResources());
  ResetGlobals();
  korvsim::ApplyScenario(scenario.dump(), machine);
  AppInstance = os::CurrentInstance();
  InstallDir.assign(u"C:\\Korvane\\");
  return machine;
}

// The simulated machine records every boundary call and every debugger
// line. A benchmark loop would grow those records without end, so they are
// emptied now and then; the cost of recording stays in the figures, as it
// is part of every call on this machine.
inline void TrimRecords(sim::Machine& machine, std::size_t iteration) {
  if (iteration % 64 != 0) return;
  machine.calls.clear();
  machine.kernel.debugOutput.clear();
}

// What a printer of the table's row reports: "Korvane" and the model joined.
inline Text DescriptionOfRow(std::size_t row) {
  return Text(SupportedModels[row].manufacturer) + SupportedModels[row].model;
}

inline std::string Utf8(const Text& text) { return std::string(text.begin(), text.end()); }  // ASCII texts only

}  // namespace korv::bench

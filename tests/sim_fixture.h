// Base fixture: every test starts on a fresh simulated machine (virtual clock at
// 0) with the program's globals back to their start values.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform/sim/machine.h"
#include "tools/korvsim/scenario.h"

namespace korv::test {

// Resets every global of the program (defined in tests/support/).
void ResetProgramState();

class SimTest : public ::testing::Test {
 protected:
  void SetUp() override {
    machine_ = &sim::Machine::Reset();
    ResetProgramState();
  }
  // The globals are reset here too, while the machine that made their
  // allocations is still current, so that freeing them is counted there.
  void TearDown() override {
    sim::Machine::Get().clock.EndProcess();
    ResetProgramState();
  }

  sim::Machine& M() { return *machine_; }
  // Sets the machine up from a scenario in korvsim's format (FORMAT.md):
  // the same description korvsim, the sweeps and the benchmarks read.
  korvsim::Scenario Given(const std::string& scenarioJson) {
    auto scenario = korvsim::ApplyScenario(scenarioJson, *machine_);
    korvsim::ArmFaults(scenario, *machine_);
    return scenario;
  }
  // The next row of a table: a fresh machine, set up from its scenario.
  korvsim::Scenario Anew(const std::string& scenarioJson) {
    TearDown();
    SetUp();
    return Given(scenarioJson);
  }
  std::uint64_t Now() { return machine_->clock.Now(); }

 private:
  sim::Machine* machine_ = nullptr;
};

// UTF-8 view of a UTF-16 text, for readable assertions.
std::string U8(std::u16string_view text);

}  // namespace korv::test

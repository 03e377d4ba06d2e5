#include "platform/sim/machine.h"

#include <algorithm>
#include <cstdlib>
#include <exception>

namespace korv::sim {

namespace {
std::unique_ptr<Machine>& Current() {
  static std::unique_ptr<Machine> machine = std::make_unique<Machine>();
  return machine;
}
}  // namespace

Machine& Machine::Get() { return *Current(); }

Machine& Machine::Reset() {
  // The old machine's threads are unwound before its state goes away.
  Current()->clock.EndProcess();
  Current() = std::make_unique<Machine>();
  return *Current();
}

Dword& ThreadLastError() {
  thread_local Dword error = 0;
  return error;
}

bool Machine::Enter(const char* operation, const Text& detail, FaultRule* rule) {
  if (!killed_ && killAt > 0 && calls.size() + 1 == static_cast<std::size_t>(killAt)) {
    killed_ = true;
    clock.Kill();
  }
  if (killed_) {
    if (std::uncaught_exceptions() == 0) throw ProcessEnded{};
    ThreadLastError() = 5;  // ERROR_ACCESS_DENIED: nothing happens
    return true;
  }
  calls.push_back(CallRecord{clock.Now(), operation, detail});
  FaultRule hit;
  if (!faults.Hit(operation, &hit)) return false;
  ThreadLastError() = hit.error;
  if (rule != nullptr) *rule = hit;
  return true;
}

void Machine::FinishEndedProcess() {
  for (const auto& [value, open] : openHandles) {
    if (open.kind == os::HandleKind::Kernel && open.name.rfind(u"mutex:", 0) == 0) {
      auto it = kernel.mutexes.find(open.name.substr(6));
      if (it != kernel.mutexes.end() && --it->second <= 0) kernel.mutexes.erase(it);
    }
  }
  openHandles.clear();
  // A killed process's memory goes with it, blocks its threads held on
  // their way included. (A process that returned keeps its leaks on the
  // record, for the leak checks.)
  if (killed_) {
    for (void* block : kernel.liveBlocks) std::free(block);
    kernel.liveAllocations -= kernel.liveBlocks.size();
    kernel.liveBlocks.clear();
  }
  clock.RunRemainingEvents();
}

Machine& Machine::CarryToNextStart() {
  Machine& old = Get();
  KernelState kernelState = std::move(old.kernel);
  RegistryState registryState = std::move(old.registry);
  ServicesState servicesState = std::move(old.services);
  SpoolerState spoolerState = std::move(old.spooler);
  DevicesState devicesState = std::move(old.devices);
  ShellState shellState = std::move(old.shell);
  const std::uint16_t uiLanguage = old.ui.uiLanguage;
  Machine& m = Reset();
  m.kernel = std::move(kernelState);
  m.registry = std::move(registryState);
  m.services = std::move(servicesState);
  m.spooler = std::move(spoolerState);
  m.devices = std::move(devicesState);
  m.shell = std::move(shellState);
  m.ui.uiLanguage = uiLanguage;
  m.kernel.debugOutput.clear();
  m.kernel.debugOutputAt.clear();
  for (auto& p : m.kernel.processes) p.startedAt = 0;  // before this clock began
  return m;
}

std::uintptr_t Machine::NewHandle(os::HandleKind kind, const Text& name) {
  std::uintptr_t value = ++lastHandle_;
  openHandles[value] = OpenHandle{kind, name};
  return value;
}

const Machine::OpenHandle* Machine::Lookup(std::uintptr_t value) const {
  auto it = openHandles.find(value);
  return it == openHandles.end() ? nullptr : &it->second;
}

std::vector<std::string> Machine::CallNames(const std::vector<std::string>& only) const {
  std::vector<std::string> names;
  for (const auto& c : calls) {
    if (only.empty() || std::find(only.begin(), only.end(), c.operation) != only.end()) {
      names.push_back(c.operation);
    }
  }
  return names;
}

}  // namespace korv::sim

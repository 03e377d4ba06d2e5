#include "platform/sim/machine.h"

#include <algorithm>

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
  calls.push_back(CallRecord{clock.Now(), operation, detail});
  FaultRule hit;
  if (!faults.Hit(operation, &hit)) return false;
  ThreadLastError() = hit.error;
  if (rule != nullptr) *rule = hit;
  return true;
}

os::Handle Machine::MakeHandle(os::HandleKind kind, const Text& name) {
  std::uintptr_t value = ++lastHandle_;
  openHandles[value] = OpenHandle{kind, name};
  return os::Handle(kind, value);
}

const Machine::OpenHandle* Machine::Lookup(const os::Handle& handle) const {
  auto it = openHandles.find(handle.get());
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

#include "platform/sim/faults.h"

namespace korv::sim {

const std::vector<std::string>& OperationNames() {
  static const std::vector<std::string> names = {
#define KORV_OP(name, service) #name,
#include "platform/operations.def"
#undef KORV_OP
  };
  return names;
}

bool Faults::Hit(const std::string& operation, FaultRule* rule) {
  int n = ++calls_[operation];
  auto it = rules_.find(operation);
  if (it == rules_.end()) return false;
  const FaultRule& r = it->second;
  bool fail = (r.onCall == 0 && r.fromCall == 0) || (r.onCall != 0 && n == r.onCall) ||
              (r.fromCall != 0 && n >= r.fromCall);
  if (!fail) return false;
  ++injected_;
  if (rule != nullptr) *rule = r;
  return true;
}

int Faults::Calls(const std::string& operation) const {
  auto it = calls_.find(operation);
  return it == calls_.end() ? 0 : it->second;
}

}  // namespace korv::sim

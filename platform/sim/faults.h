// Fault injection and the record of boundary calls on the simulated machine.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/types.h"

namespace korv::sim {

// Every operation name of platform/operations.def, in file order.
const std::vector<std::string>& OperationNames();

struct FaultRule {
  Dword error = 0;         // last error (or Win32 status) the failing call leaves
  HResult hresult = 0;     // for operations that return an HRESULT (0: derived from error)
  int onCall = 0;          // 0: every call fails; n: only the n-th call (1-based)
  int fromCall = 0;        // n: every call from the n-th on fails
};

class Faults {
 public:
  // Makes `operation` fail as the rule says.
  void Set(const std::string& operation, FaultRule rule) { rules_[operation] = rule; }
  void Clear(const std::string& operation) { rules_.erase(operation); }
  void ClearAll() { rules_.clear(); }

  // Counts one call of `operation` and reports whether it must fail. On
  // failure *rule receives the rule that applies.
  bool Hit(const std::string& operation, FaultRule* rule);

  int Calls(const std::string& operation) const;
  int FailuresInjected() const { return injected_; }

 private:
  std::map<std::string, FaultRule> rules_;
  std::map<std::string, int> calls_;
  int injected_ = 0;
};

}  // namespace korv::sim

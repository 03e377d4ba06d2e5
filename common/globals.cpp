#include "common/globals.h"

#include <vector>

namespace korv {

FixedText<260> InstallDir;
FixedText<260> InfPath;
os::Instance AppInstance = nullptr;

namespace {
std::vector<GlobalReset>& Resets() {
  static std::vector<GlobalReset> resets;
  return resets;
}
}  // namespace

void RegisterGlobalReset(GlobalReset reset) { Resets().push_back(reset); }

void ResetGlobals() {
  InstallDir.clear();
  InfPath.clear();
  AppInstance = nullptr;
  for (GlobalReset reset : Resets()) reset();
}

}  // namespace korv

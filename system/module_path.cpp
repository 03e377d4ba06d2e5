#include "system/module_path.h"

#include "platform/kernel.h"

namespace korv {

FixedText<260> ModulePath() {
  FixedText<260> path;
  const Dword length = os::GetModuleFileNameW(path.data(), static_cast<Dword>(path.capacity()));
  if (length == 0 || length >= path.capacity()) path.clear();
  return path;
}

}  // namespace korv

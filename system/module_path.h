// The running executable's own path.
#pragma once

#include "common/fixed_text.h"

namespace korv {

// GetModuleFileNameW of the executable, or an empty text when it cannot be
// had whole: a cut path may name a parent folder of the real one.
FixedText<260> ModulePath();

}  // namespace korv

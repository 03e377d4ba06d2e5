// Texts of the program's string table.
#pragma once

#include "common/fixed_text.h"
#include "platform/types.h"

namespace korv {

// The string-table text of `id` in a buffer of 260 code units (cut to 259).
FixedText<260> LoadText(Dword id);

}  // namespace korv

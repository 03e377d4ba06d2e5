// Splitting a path into drive, folder, file name and extension, with the
// fixed piece sizes the program keeps them in.
#pragma once

#include "common/fixed_text.h"

namespace korv {

// The four pieces of a path, in buffers of 3, 256, 260 and 256 code units.
struct PathPieces {
  FixedText<3> drive;        // "C:" or empty
  FixedText<256> folder;     // everything up to and including the last '\' or '/'
  FixedText<260> name;       // the file name without its extension
  FixedText<256> extension;  // from the last '.' of the file name on, or empty
};

// Splits `path` the way _wsplitpath_s does: the drive is the first two code
// units when the second is ':'; the folder runs to the last separator; the
// extension starts at the last '.' after it. When one piece does not fit its
// buffer, every piece comes out empty and the result is false, so that no
// cut piece is ever mistaken for a whole one. A null path also gives four
// empty pieces and false.
bool SplitPathChecked(const char16_t* path, PathPieces* pieces);

}  // namespace korv

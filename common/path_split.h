// Splitting a path into drive, folder, file name and extension the way the C
// runtime's _wsplitpath does, with the fixed piece sizes the program keeps
// them in. The uninstaller's relaunch refuses a path whose pieces do not fit
// (a cut piece would name another file); the installer's file staging cuts
// them like _wsplitpath does.
#pragma once

#include <string_view>

#include "common/fixed_text.h"

namespace korv {

// The four pieces as views into the path: the drive is the first two code
// units when the second is ':'; the folder runs to the last '\' or '/'
// included; the extension starts at the last '.' after it.
struct PathViews {
  std::u16string_view drive, folder, name, extension;
};
PathViews SplitPathViews(std::u16string_view path);

// The four pieces of a path, in buffers of 3, 256, 260 and 256 code units.
struct PathPieces {
  FixedText<3> drive;        // "C:" or empty
  FixedText<256> folder;     // everything up to and including the last '\' or '/'
  FixedText<260> name;       // the file name without its extension
  FixedText<256> extension;  // from the last '.' of the file name on, or empty
};

// When one piece does not fit its buffer, every piece comes out empty and the
// result is false, so that no cut piece is ever mistaken for a whole one. A
// null path also gives four empty pieces and false.
bool SplitPathChecked(const char16_t* path, PathPieces* pieces);

// Sizes of _wsplitpath's parts (the C runtime's _MAX_DRIVE, _MAX_DIR,
// _MAX_FNAME, _MAX_EXT), terminator included; longer parts are cut.
struct SplitPath {
  FixedText<3> drive;        // "C:" when the path starts with a letter and a colon
  FixedText<256> folder;     // up to and including the last '\' or '/'
  FixedText<256> name;       // the rest up to its last '.'
  FixedText<256> extension;  // from that '.' on, or empty
};

SplitPath SplitPathOf(const char16_t* path);

}  // namespace korv

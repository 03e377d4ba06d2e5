// A path taken apart the way the C runtime's _wsplitpath does it.
#pragma once

#include "common/fixed_text.h"

namespace korv {

// Sizes of _wsplitpath's parts (the C runtime's _MAX_DRIVE, _MAX_DIR,
// _MAX_FNAME, _MAX_EXT), terminator included; longer parts are cut.
struct SplitPath {
  FixedText<3> drive;      // "C:" when the path starts with a letter and a colon
  FixedText<256> folder;   // up to and including the last '\' or '/'
  FixedText<256> name;     // the rest up to its last '.'
  FixedText<256> extension;  // from that '.' on, or empty
};

SplitPath SplitPathOf(const char16_t* path);

}  // namespace korv

// Command-line helpers of the simulated machine, for tests and korvsim.
#pragma once

#include <string_view>
#include <vector>

#include "platform/types.h"

namespace korv::sim {

// The tokens CommandLineToArgvW makes of a non-empty line (see
// sim_shell.cpp for the rules).
std::vector<Text> SplitCommandLine(std::u16string_view line);

// What a started program's wWinMain receives of its command line: the line
// without the program name, as the C runtime's start-up code cuts it (the
// name runs to the first blank or control character outside quotes; the
// blanks and control characters after it are skipped).
Text ArgumentsAfterProgramName(std::u16string_view commandLine);

}  // namespace korv::sim

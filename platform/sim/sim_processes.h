// How the simulated machine finds the file a new process runs, and the
// files the program holds open.
#pragma once

#include "platform/sim/machine.h"
#include "platform/types.h"

namespace korv::sim {

// CreateProcessW without an application name: the program is the command
// line's first token (quoted, or up to the first blank). A name with a
// folder in it is that file (completed from the current folder); a bare
// name, with ".exe" added when it has no extension, is looked for as
// Windows does: the running program's own folder, the current folder, the
// system folder, the 16-bit system folder, the Windows folder, then the
// PATH folders. The result is the real path of the file found (after the
// redirector), or an empty text.
Text FindProgramOfCommandLine(const Machine& machine, const Text& commandLine);

// CreateProcessW with an application name: that file, completed from the
// current folder when it has no full path; no search, no extension added.
Text FindApplication(const Machine& machine, const Text& application);

// Lets go of the file a "file:<real path>" handle held open.
void ReleaseFile(Machine& machine, const Text& handleName);

}  // namespace korv::sim

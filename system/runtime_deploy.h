// Deployment of a runtime library that the driver needs in the system folder.
//
// The package ships one build of the library per processor, in the
// subfolders "i386", "arm", "amd64" and "arm64" next to the installer. The
// build that fits the machine's native processor (not the installer's own,
// which is always 32-bit) is copied when the system folder lacks the file.
#pragma once

#include "platform/types.h"

namespace korv {

// Copies <executable folder>\<processor folder>\fileName to
// <system folder>\fileName when the latter does not exist. An existing file
// is never replaced, whatever its age or processor. Failures are only
// reported on the debugger output channel.
void DeployRuntimeLibrary(const char16_t* fileName);

// Folder name of the native processor: "i386", "arm", "amd64", "arm64", or
// an empty text for any other processor.
Text GetProcessorArchName();

// Folder of the running executable without a trailing separator (the text
// before the last '\' or '/'); the whole path when it has no separator; an
// empty text when the path cannot be had.
Text GetExecutableFolder();

// Up to 3 copy attempts, 1000 ms apart. Each outcome but the last failure
// writes one line to the debugger output channel. True when a copy worked.
bool CopyFileWithRetry(const Text& source, const Text& target, bool overwrite);

}  // namespace korv

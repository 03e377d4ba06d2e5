// Copying the driver's files from the installer folder into the spooler's
// printer driver directory, the build that fits the machine's real
// processor, and restarting the spooler around the language monitor so that
// it loads the new one.
//
// When the spooler cannot name its driver directory (the call fails, or
// gives an empty name), nothing is staged: the file is not deleted, copied
// or scheduled, the spooler is not restarted, and the staging fails. A path
// built from an empty directory name would point at the root of the current
// drive, and a spooler in that state could not take the driver anyway.
#pragma once

namespace korv {

// Stages a processor-specific file (from InstallDir\<processor folder>).
// "korvmon.dll" is in addition copied into the system folder while the
// spooler is stopped. A copy that fails (a file in use) is scheduled for the
// next start of the system instead. Non-zero if the file is in place or
// scheduled; 0 on an unknown processor or when nothing could be done.
int StageArchFile(const char16_t* fileName);

// Stages a processor-independent file (from InstallDir\dat). Non-zero if the
// copy succeeded; there is no scheduled fallback.
int StageDataFile(const char16_t* fileName);

// Copies a file into the system folder under its own name. Non-zero on
// success. The action of RestartSpooler (system/service_control.h) for the
// language monitor.
int CopyToSystemFolder(const char16_t* path);


}  // namespace korv

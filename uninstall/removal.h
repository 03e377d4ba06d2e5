// Removal of the family's components, from the leaves up: every queue of a
// driver, then the driver with its language monitor, then the package. Each
// result goes into its record; a driver is tried only once all its queues are
// gone, a package only once all its drivers are. Runs are repeatable: a
// removed component is passed over, so pressing "Remove" again retries
// exactly what is still installed.
#pragma once

#include "platform/spooler.h"
#include "platform/types.h"

namespace korv {

// Thread procedure started for each press of "Remove"; the argument is the
// uninstall dialog. Works through InstalledPackages, posts the progress and
// WM_REFRESH_COMPONENTS, and then either reports the failure (the window stays
// open) or, after a run without failures, deletes the language monitor file
// and finishes. Returns 0.
Dword RemovalThread(void* dialog);

// Deletes one queue (its jobs purged first) and any device named after it.
// Non-zero when the queue is gone, also when it no longer existed. On failure
// *error (when given) receives the code of the failed open or deletion, taken
// before the device calls overwrite the thread's last error; it is also left
// as the thread's last error. On success *error is 0.
int DeletePrintQueue(const char16_t* name, Dword* error);

// Removes every device, of any setup class, whose friendly name is exactly
// `name`. The result of the last removal made; 0 when none was made.
int RemovePrintQueueDevice(const char16_t* name);

// Deletes the driver's language monitor (result not looked at) and the driver
// with its unused files; a driver still in use gets one spooler restart and
// one more try. Non-zero when the driver is gone, also when it no longer
// existed; on failure the thread's last error is that of the failed deletion.
int DeleteDriver(const os::DriverInfo8& details);

// Deletes a file of the system folder while the spooler is stopped, with up
// to five tries; leaves everything as it was when the spooler cannot be
// stopped. No result.
void DeleteSystemFile(const char16_t* fileName);

// The end of a complete removal: moves InstallDir to the Recycle Bin when it
// is the installer's own folder, shows the final message and closes the
// dialog.
void FinishUninstall(Hwnd dialog);

// Whether `folder` may be moved to the Recycle Bin at the end: an absolute
// path that is not a drive or share root, with no "." or ".." component,
// holding "korvv6.inf". The folder is named on the command line, so "-u C:\"
// or a user's own folder must never be thrown away.
bool IsInstallerFolder(const char16_t* folder);

}  // namespace korv

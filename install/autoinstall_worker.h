// The automatic installation worker: searches for plugged-in USB printers,
// identifies them in the supported-model table and installs the driver and
// a print queue for each supported one.
#pragma once

#include "install/install_view.h"
#include "platform/types.h"

namespace korv {

// Runs the search-and-install loop, showing its progress through `view`
// (the installer window, or SilentInstallView in silent mode). Returns 0.
//
// Each pass rebuilds the device list and installs every supported printer of
// it, in list order; the first failure shows text 104 with the last error and
// ends the worker. A pass that finds no supported printer shows text 101,
// waits 1000 ms, re-enumerates the device tree and searches again, without
// end. After a pass that installed printers, "Cancel" becomes "Done".
//
// InfPath is InstallDir followed by "korvv6.inf" and must fit 260 code units,
// so InstallDir may hold at most 249. A longer InstallDir is refused rather
// than cut: InfPath stays empty, nothing is searched or installed, and the
// worker ends as after a failed installation, with text 104 and error 206
// (ERROR_FILENAME_EXCED_RANGE). A cut InfPath would name another file.
//
// Formatted messages go into a buffer of 256 code units; a longer one (a
// translation with long printer names, say) is cut to its first 255 units.
Dword AutoInstall(InstallView& view);

// AutoInstall as a thread routine; `view` points to the InstallView.
Dword AutoInstallWorker(void* view);

}  // namespace korv

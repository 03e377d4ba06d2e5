// Installing the driver and the print queue for one plugged-in printer.
#pragma once

#include "install/install_request.h"

namespace korv {

// InstallPrinter's result when a queue named PrinterName existed already.
inline constexpr int kAlreadyInstalled = 3;

// Makes sure the printer has its driver and a queue named PrinterName on
// PortName. First through the driver store (upload the package of infPath,
// bind it to HardwareId, give Plug and Play up to 10 s to create the queue),
// then, where no queue came of it, by hand (InstallDriverAndQueue); a queue
// Plug and Play put on another port is moved to PortName. A port the spooler
// does not list afterwards gets the spooler restarted.
// 0: failed (the thread's last error is that of the failing step);
// kAlreadyInstalled: the queue existed, nothing was done; any other value:
// installed.
int InstallPrinter(const InstallRequest& request, const char16_t* infPath);

// The manual road: stage the files, register the monitor (for models that
// use it) and the driver, add the queue. Returns 1 at once, changing
// nothing, when DriverName belongs to another vendor's driver. Otherwise 1
// if the queue is there at the end or the staging and registration went
// through, else 0.
int InstallDriverAndQueue(const InstallRequest& request);

}  // namespace korv

// The family's printer driver and language monitor in the local spooler:
// registering them, and the questions the installation asks about the
// drivers already registered.
#pragma once

#include <cstdint>

#include "install/install_request.h"

namespace korv {

// Registers DriverName on the family's files (which must already be in the
// spooler's driver directory), with the language monitor when the model uses
// it, then waits for the spooler to list it: up to 5 checks, 1 s apart.
// 1 if it is listed, 0 if the spooler refused it or never listed it.
int RegisterPrinterDriver(const InstallRequest& request);

// Registers the language monitor `name` (neither text may be null). 1 also
// when it was registered already.
int InstallPrinterLanguageMonitor(const char16_t* name, const char16_t* file);

// 1 if a driver named exactly DriverName is registered.
int IsDriverRegistered(const InstallRequest& request);
// 1 if the first driver named DriverName has a configuration module that is
// not the family's (its path lacks "korvdrv").
int IsForeignDriverRegistered(const InstallRequest& request);
// 1 if a driver built with the Seagull tools for the maker is registered:
// its configuration module path contains "Seagull" and its provider is
// exactly "Korvane".
int IsSeagullDriverInstalled();

// Version and date of the driver build, from its version string
// "2026.04.07.06": version a.b.c.d packed 16 bits each; date a-b-c 00:00 UTC
// as a FILETIME value (0 if the string held no valid date).
std::uint64_t DriverVersion();
std::uint64_t DriverDate();

}  // namespace korv

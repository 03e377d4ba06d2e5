// The simulated spooler's own operations, shared by the spooler boundary
// (sim_spooler.cpp) and Plug and Play (sim_pnp.cpp), which creates queues
// and drivers behind the program's back.
#pragma once

#include <string_view>

#include "platform/sim/machine.h"

namespace korv::sim {

// Applies a completed restart of the Spooler service (STOPPED -> RUNNING
// since the last look) to the spooler's state: drivers held in use are let
// go and the ports of `portsAfterCycle` are listed. Every spooler call does
// this first; korvsim and tests may call it before reading the state.
void SyncSpoolerWithService(Machine& m);
// Whether the Spooler service is running (after syncing with it).
bool SpoolerRunning(Machine& m);

// Lookups by name, without regard to letter case as in the spooler.
SimDriver* FindDriver(Machine& m, std::u16string_view name);
SimQueue* FindQueue(Machine& m, std::u16string_view name);
const Text* FindPort(Machine& m, std::u16string_view name);

// Adds a queue as a successful AddPrinterW does (no checks).
SimQueue& CreateQueue(Machine& m, os::PrinterInfo2 info);
// Removes a queue and retires its device node.
void RemoveQueue(Machine& m, const Text& name);

// Records a package in the driver store and in the spooler's
// package-installation records in the registry.
void RecordPackage(Machine& m, const Text& sourceInf, const Text& storedInf);
// The package of that INF (stored or source path) leaves the store.
void ForgetPackage(Machine& m, const Text& inf);

}  // namespace korv::sim

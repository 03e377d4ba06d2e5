// The simulated Windows machine: a model of exactly what the program depends
// on, with a virtual clock and fault injection. The Linux build links the
// boundary of platform/ against it (platform/sim/*.cpp).
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/handle.h"
#include "platform/sim/faults.h"
#include "platform/sim/scheduler.h"
#include "platform/sim/state_devices.h"
#include "platform/sim/state_kernel.h"
#include "platform/sim/state_registry.h"
#include "platform/sim/state_services.h"
#include "platform/sim/state_spooler.h"
#include "platform/sim/state_ui.h"

namespace korv::sim {

// One boundary call as the program made it: the operation and its main
// argument(s), at a virtual time. Tests read the log to check the order of
// calls; korvsim can print it.
struct CallRecord {
  std::uint64_t at = 0;
  std::string operation;
  Text detail;
};

class Machine {
 public:
  // The machine the boundary currently acts on.
  static Machine& Get();
  // Replaces the current machine by a fresh one (default state, clock 0).
  static Machine& Reset();

  Scheduler clock;
  Faults faults;
  KernelState kernel;
  RegistryState registry;
  ServicesState services;
  SpoolerState spooler;
  DevicesState devices;
  UiState ui;
  ShellState shell;
  std::vector<CallRecord> calls;

  // Records a call and reports whether it must fail; on failure the thread's
  // last error is set from the rule and *rule (if given) receives it.
  // Once the process is killed no call has an effect: it unwinds the calling
  // thread with ProcessEnded, or, from a destructor run by that unwinding,
  // fails.
  bool Enter(const char* operation, const Text& detail = Text(), FaultRule* rule = nullptr);

  // Ends the process right before its killAt-th boundary call (1-based;
  // 0: never), as Windows ends a process: all its threads at once, none of
  // its clean-up code taking effect. What it did until then stays done.
  int killAt = 0;
  bool Killed() const { return killed_; }

  // What Windows does once a process has ended: closes the handles it still
  // held (letting go of its mutexes), gives back the memory of a killed one
  // and lets the system's own work under way run to its end. Call after
  // clock.EndProcess() and after the program's globals were reset (they
  // give back their own blocks).
  void FinishEndedProcess();

  // Replaces the current machine by one that carries everything this one
  // holds (files, registry, services, spooler, devices, shell, the
  // processes started), for the next program start: a clock of its own at
  // 0, no call records, no debugger output, no windows or presses, no
  // faults armed.
  static Machine& CarryToNextStart();

  // Convenience for tests: the operations called, in order, optionally only
  // those whose names are in `only`.
  std::vector<std::string> CallNames(const std::vector<std::string>& only = {}) const;
  int CallCount(const std::string& operation) const { return faults.Calls(operation); }

  // Open handles: value -> kind and the name of what it refers to (a mutex
  // name, a registry key path, a queue or service name). A handle that is
  // never closed stays here, which leak tests look at.
  struct OpenHandle {
    os::HandleKind kind;
    Text name;
  };
  std::map<std::uintptr_t, OpenHandle> openHandles;
  // Every handle closed, in the order it was closed, so that tests can see
  // in which order an operation let go of what it opened.
  std::vector<OpenHandle> closedHandles;
  template <typename Owner>
  Owner MakeHandle(const Text& name) {
    return Owner(NewHandle(Owner::kKind, name));
  }
  template <os::HandleKind Kind>
  const OpenHandle* Lookup(const os::Owned<Kind>& handle) const {
    return Lookup(handle.get());
  }
  const OpenHandle* Lookup(std::uintptr_t value) const;

 private:
  std::uintptr_t NewHandle(os::HandleKind kind, const Text& name);

  std::uintptr_t lastHandle_ = 0x100;
  bool killed_ = false;
};

// The calling thread's last error on the simulated machine.
Dword& ThreadLastError();

}  // namespace korv::sim

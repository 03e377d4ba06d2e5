// Machines for the benchmarks: printers plugged in, an installed family with
// many drivers and queues, and upkeep of the logs the simulated machine keeps.
#pragma once

#include <cstddef>
#include <string>

#include "app/res/resource_tables.h"
#include "common/globals.h"
#include "discovery/model_table.h"
#include "platform/sim/machine.h"
#include "platform/sim/program_resources.h"
#include "platform/sim/sim_fixtures.h"
#include "platform/sim/usb_printers.h"
#include "platform/spooler.h"
#include "platform/ui.h"

namespace korv::bench {

// A fresh machine and fresh program globals.
inline sim::Machine& FreshMachine() {
  sim::Machine& machine = sim::Machine::Reset();
  sim::UseProgramResources(res::AsProgramResources());
  ResetGlobals();
  AppInstance = os::CurrentInstance();
  InstallDir.assign(u"C:\\Korvane\\");
  return machine;
}

// The simulated machine records every boundary call and every debugger
// line. A benchmark loop would grow those records without end, so they are
// emptied now and then; the cost of recording stays in the figures, as it
// is part of every call on this machine.
inline void TrimRecords(sim::Machine& machine, std::size_t iteration) {
  if (iteration % 64 != 0) return;
  machine.calls.clear();
  machine.kernel.debugOutput.clear();
}

// What a printer of the table's row reports: "Korvane" and the model joined.
inline Text DescriptionOfRow(std::size_t row) {
  return Text(SupportedModels[row].manufacturer) + SupportedModels[row].model;
}

// `count` supported printers on ports USB001, USB002, ...
inline void PlugSupportedPrinters(sim::Machine& machine, int count) {
  for (int i = 0; i < count; ++i) {
    const std::string serial = "B" + std::to_string(1000 + i);
    sim::PlugUsbPrinter(machine, sim::UsbPrinterPath(u"2d37", u"0001", Text(serial.begin(), serial.end())),
                        DescriptionOfRow(static_cast<std::size_t>(i) % kSupportedModelCount),
                        static_cast<Dword>(i + 1));
  }
}

inline Text Numbered(const char16_t* prefix, int i) {
  const std::string n = std::to_string(i);
  return Text(prefix) + Text(n.begin(), n.end());
}

// One package of the family in the driver store, `count` drivers of the
// family installed from it and `count` queues, one on each driver: what the
// uninstall window's inventory collects.
inline void InstallFamily(sim::Machine& machine, int count) {
  const Text storedInf = u"C:\\Windows\\System32\\DriverStore\\FileRepository\\korvv6.inf_amd64_5f0c\\korvv6.inf";
  machine.registry
      .Create(u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\PackageInstallation\\Windows x64"
              u"\\DriverPackages\\korvv6.inf_amd64_5f0c")
      .values[u"DriverStorePath"] = sim::RegistryState::MultiString({storedInf});
  machine.devices.infVersions.emplace_back(storedInf, u"04/07/2026,2026.4.7.6");
  for (int i = 0; i < count; ++i) {
    os::DriverInfo8 d;
    d.cVersion = 3;
    d.pName = Numbered(u"Korvane KV-T", i);
    d.pEnvironment = u"Windows x64";
    d.pDriverPath = u"C:\\Windows\\system32\\spool\\DRIVERS\\x64\\3\\korvdrv6.dll";
    d.pConfigFile = u"C:\\Windows\\system32\\spool\\DRIVERS\\x64\\3\\korvdrv6ui.dll";
    d.pDataFile = u"C:\\Windows\\system32\\spool\\DRIVERS\\x64\\3\\korvdrv6.dat";
    d.pMonitorName = u"Korvane Language Monitor";
    d.pszMfgName = u"Korvane";
    d.pszInfPath = storedInf;
    d.dwlDriverVersion = 0x07EA000400070006ull;
    machine.spooler.drivers.push_back(sim::SimDriver{d});

    os::PrinterInfo2 q;
    q.pPrinterName = d.pName;
    q.pPortName = Numbered(u"USB", 100 + i);
    q.pDriverName = d.pName;
    q.pPrintProcessor = u"winprint";
    machine.spooler.queues.push_back(sim::SimQueue{q});
  }
}

}  // namespace korv::bench

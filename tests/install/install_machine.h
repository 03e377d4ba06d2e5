// A machine ready for installing one Korvane printer: the installer folder at
// C:\Korvane\ (InstallDir), the spooler's driver directory and the system
// folder, the printer's USB port, and helpers to plug the printer in and to
// read what happened.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "common/globals.h"
#include "install/install_request.h"
#include "platform/sim/machine.h"
#include "platform/services.h"
#include "platform/sim/sim_fixtures.h"
#include "sim_fixture.h"

namespace korv::test {

inline constexpr char16_t kInstallDir[] = u"C:\\Korvane\\";
inline constexpr char16_t kInf[] = u"C:\\Korvane\\korvv6.inf";
inline constexpr char16_t kDriverDir[] = u"C:\\Windows\\system32\\spool\\DRIVERS\\x64";
inline constexpr char16_t kSystemDir[] = u"C:\\Windows\\system32";
inline constexpr char16_t kModel[] = u"Korvane KP-80";
inline constexpr char16_t kPort[] = u"USB001";
inline constexpr char16_t kHardwareId[] = u"usbprint\\korvanekp-80c1d2";

inline void PrepareInstallMachine(sim::Machine& m) {
  InstallDir.assign(kInstallDir);
  sim::SetUpInstallerFolder(m, kInstallDir);
  m.spooler.ports.push_back(kPort);
}

inline InstallRequest MakeRequest(std::uint8_t options = 0) {
  InstallRequest r;
  r.DriverName.assign(kModel);
  r.PrinterName.assign(kModel);
  r.PortName.assign(kPort);
  r.HardwareId.assign(kHardwareId);
  r.Options = options;
  return r;
}

// The printer is plugged in: once the package is bound to its hardware ID,
// Plug and Play creates the queue on `port` after delayMs.
inline void PlugPrinter(sim::Machine& m, std::uint64_t delayMs, const Text& port = kPort) {
  m.spooler.pnp.push_back(sim::PnpReaction{kHardwareId, kModel, port, kModel, delayMs});
}

// A driver of the family registered earlier, as the spooler lists it.
inline os::DriverInfo8 FamilyDriver(const Text& name) {
  os::DriverInfo8 d;
  d.cVersion = 3;
  d.pName = name;
  d.pDriverPath = Text(kDriverDir) + u"\\3\\korvdrv6.dll";
  d.pDataFile = Text(kDriverDir) + u"\\3\\korvdrv6.dat";
  d.pConfigFile = Text(kDriverDir) + u"\\3\\korvdrv6ui.dll";
  d.pszProvider = u"korvane";
  return d;
}

inline os::DriverInfo8 OtherDriver(const Text& name, const Text& configFile, const Text& provider) {
  os::DriverInfo8 d;
  d.cVersion = 3;
  d.pName = name;
  d.pDriverPath = Text(kDriverDir) + u"\\3\\unidrv.dll";
  d.pConfigFile = configFile;
  d.pszProvider = provider;
  return d;
}

inline void AddQueue(sim::Machine& m, const Text& name, const Text& port, const Text& driver) {
  os::PrinterInfo2 q;
  q.pPrinterName = name;
  q.pPortName = port;
  q.pDriverName = driver;
  q.pPrintProcessor = u"winprint";
  q.pDatatype = u"RAW";
  q.Attributes = os::PRINTER_ATTRIBUTE_LOCAL;
  m.spooler.queues.push_back(sim::SimQueue{q});
}

inline const sim::SimQueue* QueueNamed(sim::Machine& m, const Text& name) {
  for (const auto& q : m.spooler.queues) {
    if (q.info.pPrinterName == name) return &q;
  }
  return nullptr;
}

inline const os::DriverInfo8* DriverNamed(sim::Machine& m, const Text& name) {
  for (const auto& d : m.spooler.drivers) {
    if (d.info.pName == name) return &d.info;
  }
  return nullptr;
}

inline const sim::SimFile* FileAt(sim::Machine& m, const Text& path) {
  auto it = m.kernel.files.find(path);
  return it == m.kernel.files.end() ? nullptr : &it->second;
}

// The trace lines written (each line without the separate "\n" entry).
inline std::vector<std::string> TraceLines(sim::Machine& m) {
  std::vector<std::string> lines;
  for (const auto& entry : m.kernel.debugOutput) {
    if (entry != u"\n") lines.push_back(U8(entry));
  }
  return lines;
}

inline bool Traced(sim::Machine& m, const std::string& line) {
  auto lines = TraceLines(m);
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// The boundary calls made, without the trace's own code-page conversions and
// the allocations, which say nothing about the installation.
inline std::vector<std::string> Calls(sim::Machine& m) {
  std::vector<std::string> names;
  for (const auto& c : m.calls) {
    if (c.operation != "MultiByteToWideChar" && c.operation != "LocalAlloc") names.push_back(c.operation);
  }
  return names;
}

// Details of the calls of one operation, in order.
inline std::vector<std::string> CallDetails(sim::Machine& m, const std::string& operation) {
  std::vector<std::string> details;
  for (const auto& c : m.calls) {
    if (c.operation == operation) details.push_back(U8(c.detail));
  }
  return details;
}

// Virtual time of the first call of an operation (UINT64_MAX if none).
inline std::uint64_t FirstCallAt(sim::Machine& m, const std::string& operation) {
  for (const auto& c : m.calls) {
    if (c.operation == operation) return c.at;
  }
  return UINT64_MAX;
}

inline int OpenPrinterHandles(sim::Machine& m) {
  int n = 0;
  for (const auto& [value, open] : m.openHandles) n += open.kind == os::HandleKind::Printer ? 1 : 0;
  return n;
}

inline const sim::SimService& Spooler(sim::Machine& m) { return m.services.services.at(u"Spooler"); }

}  // namespace korv::test

// Plug and Play on the simulated machine: the configuration manager's
// re-enumeration and the new-device library's driver update.
//
// A driver bound to a connected device makes the system's printer class
// installer create a print queue some time after the call returned, the way
// Windows does; the scenario says which queue, on which port, after how long
// (state_spooler.h, PnpReaction).
#include "platform/devices.h"
#include "platform/kernel.h"
#include "platform/sim/machine.h"
#include "platform/sim/spooler_model.h"

namespace korv::os {

using sim::Machine;

namespace {

Machine& M() { return Machine::Get(); }

constexpr Dword kRootDevInst = 1;
constexpr Dword kCrFailure = 0x13;
constexpr Dword kCrInvalidDevNode = 0x05;
constexpr Dword kErrorNoSuchDevInst = 0xE000020B;

bool InDriverStore(const Text& inf) {
  for (const auto& p : M().spooler.store) {
    if (sim::EqualNoCase(p.sourceInf, inf) || sim::EqualNoCase(p.storedInf, inf)) return true;
  }
  return false;
}

Text StoredInfOf(const Text& inf) {
  for (const auto& p : M().spooler.store) {
    if (sim::EqualNoCase(p.sourceInf, inf) || sim::EqualNoCase(p.storedInf, inf)) return p.storedInf;
  }
  return Text();
}

// The class installer's work once the device has its driver: the printer
// driver from the package, then the queue on the device's port. It needs the
// spooler; while the spooler is down it tries again a second later, for a
// minute at most (a machine whose spooler never returns must still be able
// to run out of events).
void CreatePlugAndPlayQueue(const sim::PnpReaction& reaction, const Text& inf, int attempt) {
  Machine& m = M();
  if (!sim::SpoolerRunning(m)) {
    if (attempt < 60) {
      m.clock.After(1000, [reaction, inf, attempt] { CreatePlugAndPlayQueue(reaction, inf, attempt + 1); });
    }
    return;
  }
  if (sim::FindQueue(m, reaction.queueName) != nullptr) return;
  const Text driverName = reaction.driverName.empty() ? reaction.queueName : reaction.driverName;
  if (sim::FindDriver(m, driverName) == nullptr) {
    const Text folder = m.spooler.driverDirectory + u"\\3\\";
    DriverInfo8 driver;
    driver.cVersion = 3;
    driver.pName = driverName;
    driver.pDriverPath = folder + u"korvdrv6.dll";
    driver.pDataFile = folder + u"korvdrv6.dat";
    driver.pConfigFile = folder + u"korvdrv6ui.dll";
    driver.pDefaultDataType = u"RAW";
    driver.pszProvider = u"Korvane";
    driver.pszMfgName = u"Korvane";
    driver.pszPrintProcessor = u"winprint";
    driver.pszInfPath = StoredInfOf(inf);
    m.spooler.drivers.push_back(sim::SimDriver{driver});
  }
  PrinterInfo2 queue;
  queue.pPrinterName = reaction.queueName;
  queue.pPortName = reaction.portName;
  queue.pDriverName = driverName;
  queue.pPrintProcessor = u"winprint";
  queue.pDatatype = u"RAW";
  queue.Attributes = PRINTER_ATTRIBUTE_LOCAL;
  sim::CreateQueue(m, queue);
}

}  // namespace

Dword CM_Locate_DevNodeW(Dword* devInst, Dword flags) {
  (void)flags;
  sim::FaultRule rule;
  if (M().Enter("CM_Locate_DevNodeW", Text(), &rule)) return rule.error != 0 ? rule.error : kCrFailure;
  if (devInst != nullptr) *devInst = kRootDevInst;
  return CR_SUCCESS;
}

Dword CM_Reenumerate_DevNode(Dword devInst, Dword flags) {
  sim::FaultRule rule;
  Text detail = (flags & CM_REENUMERATE_SYNCHRONOUS) != 0 ? u"synchronous" : u"normal";
  if (M().Enter("CM_Reenumerate_DevNode", detail, &rule)) return rule.error != 0 ? rule.error : kCrFailure;
  if (devInst != kRootDevInst) return kCrInvalidDevNode;
  ++M().devices.reenumerations;
  return CR_SUCCESS;
}

bool UpdateDriverForPlugAndPlayDevicesW(const char16_t* hardwareId, const char16_t* infPath, Dword flags) {
  (void)flags;
  Text id = hardwareId != nullptr ? Text(hardwareId) : Text();
  Text inf = infPath != nullptr ? Text(infPath) : Text();
  if (M().Enter("UpdateDriverForPlugAndPlayDevicesW", id + u" " + inf)) return false;
  if (M().kernel.files.count(inf) == 0) {
    SetLastError(err::FileNotFound);
    return false;
  }
  bool matched = false;
  for (const auto& reaction : M().spooler.pnp) {
    if (!reaction.plugged || !sim::EqualNoCase(reaction.hardwareId, id)) continue;
    matched = true;
    // The device takes the driver either way; the class installer finds the
    // printer driver only in a package the spooler has been given.
    if (!reaction.queueName.empty() && InDriverStore(inf)) {
      M().clock.After(reaction.delayMs, [reaction, inf] { CreatePlugAndPlayQueue(reaction, inf, 0); });
    }
  }
  if (!matched) {
    SetLastError(kErrorNoSuchDevInst);
    return false;
  }
  SetLastError(err::Success);
  return true;
}

}  // namespace korv::os

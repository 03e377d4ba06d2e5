// Devices of the simulated machine: USB printer interfaces and device nodes
// of any setup class.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

#include "platform/types.h"

namespace korv::sim {

// A USB printer interface of GUID_DEVINTERFACE_USBPRINT. Its "Device
// Parameters" ("Port Description", "Port Number") live in the registry under
// the DeviceClasses key, where a scenario may also leave them out or give
// them any type and size.
struct UsbPrinterInterface {
  Text devicePath;  // \\?\usb#vid_2d37&pid_0001#serial#{28d78fad-...}
  bool present = true;
};

struct DeviceNode {
  Text setupClass;    // "PrintQueue", "Printer", "USB", ...
  Text friendlyName;  // empty: no friendly name
  Text hardwareId;
  bool removed = false;
};

struct DevicesState {
  std::vector<UsbPrinterInterface> usbPrinters;
  // Open device information sets of interfaces: set handle value -> the
  // device paths of its members, fixed when the set was made.
  std::map<std::uintptr_t, std::vector<Text>> interfaceSets;
  std::vector<DeviceNode> nodes;
  int reenumerations = 0;
  // INF files the device-installation services can read: path -> DriverVer.
  std::vector<std::pair<Text, Text>> infVersions;
  // Device information sets made by SetupDiGetClassDevsExW: handle value ->
  // indices into `nodes` of the devices the set held when it was made. Like
  // a real set it is a snapshot: a device removed later stays in it.
  std::map<std::uintptr_t, std::vector<std::size_t>> deviceSets;
};

}  // namespace korv::sim

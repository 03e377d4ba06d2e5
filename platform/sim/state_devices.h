// Devices of the simulated machine: USB printer interfaces and device nodes
// of any setup class.
#pragma once

#include <cstdint>
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
  std::vector<DeviceNode> nodes;
  int reenumerations = 0;
  // INF files the device-installation services can read: path -> DriverVer.
  std::vector<std::pair<Text, Text>> infVersions;
};

}  // namespace korv::sim

// One USB printer that is plugged in, as one discovery pass found it, and
// the global list of them.
#pragma once

namespace korv {

// Field sizes are in UTF-16 code units and include the terminator; every
// field is terminated within its size.
struct PrinterDevice {
  PrinterDevice* next;       // next record, null in the last one
  char16_t checksum[5];      // UsbPrintChecksum of the description, "%04x"
  char16_t portName[260];    // the spooler port, "USB%.3d" of the port number
  char16_t description[260]; // the printer's "Port Description", at most 32 units
  char16_t hardwareId[260];  // "usbprint\" + description + checksum, lower case
};

// The printers of the last discovery pass, newest first; null before the
// first pass and when none was found. DiscoverUsbPrinters is its only
// writer; a pass frees the records of the previous one.
extern PrinterDevice* DeviceList;

}  // namespace korv

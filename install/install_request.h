// What the installation of one printer needs: the names under which its
// driver and queue are registered, its USB port and its Plug and Play
// hardware ID, and the model's option bits. The installation worker fills
// one per matched printer; the installation steps only read it.
#pragma once

#include <cstdint>

#include "common/fixed_text.h"

namespace korv {

struct InstallRequest {
  FixedText<260> DriverName;   // "<manufacturer> <model>": the printer driver's name
  FixedText<260> PrinterName;  // the same text: the print queue's name
  FixedText<260> PortName;     // the spooler port, "USB001" ...
  FixedText<260> HardwareId;   // "usbprint\..." as discovery built it
  std::uint8_t Options = 0;
};

// Options bit: the model prints through the family's language monitor.
inline constexpr std::uint8_t kOptionLanguageMonitor = 0x10;

inline bool UsesLanguageMonitor(const InstallRequest& request) {
  return (request.Options & kOptionLanguageMonitor) != 0;
}

}  // namespace korv

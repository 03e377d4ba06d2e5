#include "platform/sim/usb_printers.h"

#include <utility>

namespace korv::sim {

namespace {
constexpr char16_t kInterfaceClass[] = u"{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";
}  // namespace

Text UsbPrinterPath(std::u16string_view vid, std::u16string_view pid, std::u16string_view serial) {
  Text path = u"\\\\?\\usb#vid_";
  path += vid;
  path += u"&pid_";
  path += pid;
  path += u"#";
  path += serial;
  path += u"#";
  path += kInterfaceClass;
  return path;
}

Text UsbPrinterParametersKey(std::u16string_view devicePath) {
  Text key = u"SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\";
  key += kInterfaceClass;
  key += u"\\##?#";
  key += devicePath.substr(devicePath.size() < 4 ? devicePath.size() : 4);
  key += u"\\#\\Device Parameters";
  return key;
}

void PlugUsbPrinter(Machine& machine, Text devicePath, std::optional<Text> description,
                    std::optional<Dword> portNumber) {
  RegKey& key = machine.registry.Create(UsbPrinterParametersKey(devicePath));
  if (description) key.values[u"Port Description"] = RegistryState::String(*description);
  if (portNumber) key.values[u"Port Number"] = RegistryState::Number(*portNumber);
  machine.devices.usbPrinters.push_back(UsbPrinterInterface{std::move(devicePath), true});
}

void SetUsbPrinterValue(Machine& machine, std::u16string_view devicePath, std::u16string_view name,
                        Dword type, std::vector<std::uint8_t> data) {
  RegKey& key = machine.registry.Create(UsbPrinterParametersKey(devicePath));
  RegValue value;
  value.type = type;
  value.data = std::move(data);
  key.values[Text(name)] = std::move(value);
}

std::vector<std::uint8_t> Utf16Bytes(std::u16string_view text) {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(text.size() * 2);
  for (char16_t c : text) {
    bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  return bytes;
}

void UnplugUsbPrinter(Machine& machine, std::u16string_view devicePath) {
  for (auto& printer : machine.devices.usbPrinters) {
    if (printer.devicePath == devicePath) printer.present = false;
  }
}

}  // namespace korv::sim

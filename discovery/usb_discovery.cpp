#include "discovery/usb_discovery.h"

#include <climits>

#include "common/globals.h"
#include "common/strsafe.h"
#include "common/text_util.h"
#include "discovery/checksum.h"
#include "platform/devices.h"
#include "platform/kernel.h"
#include "platform/registry.h"

namespace korv {

PrinterDevice* DeviceList = nullptr;

namespace {

// A test that runs the program again starts without the records of the
// previous run.
void ResetDeviceList() { FreeDeviceList(&DeviceList); }
[[maybe_unused]] const bool kResetRegistered = (RegisterGlobalReset(&ResetDeviceList), true);

constexpr char16_t kKeyTemplate[] =
    u"SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\"
    u"{28d78fad-5a12-11d1-ae5b-0000f803a8c2}\\##?#%ws\\#\\Device Parameters";
// Units of the template; with the path's length (and the terminator) it
// bounds the formatted key name, since "%ws" itself takes three units.
constexpr std::size_t kKeyTemplateLength = sizeof(kKeyTemplate) / sizeof(char16_t) - 1;

// "\\?\" in front of every device path; the key name holds what follows.
constexpr std::size_t kDevicePathPrefixLength = 4;

// The description is cut to this many units before anything is derived
// from it.
constexpr char16_t kDescriptionFormat[] = u"%.32ws";

// Bytes of the ANSI text the checksum is taken over, terminator included;
// a description of at most 32 units always fits.
constexpr std::size_t kAnsiDescriptionSize = 255;

constexpr std::size_t kFieldSize = 260;

// A string value: REG_EXPAND_SZ is one as much as REG_SZ. Its "%...%" parts
// are taken as written, never expanded: a description is matched as the
// printer reported it.
bool IsStringType(Dword type) { return type == os::REG_SZ || type == os::REG_EXPAND_SZ; }

// Reads "Port Description" into device->description; leaves it empty when
// the value is missing, is not a string, is too large or cannot be read.
void ReadDescription(const os::Handle& key, PrinterDevice* device) {
  Dword type = 0;
  Dword size = 0;
  if (os::RegQueryValueExW(key, u"Port Description", &type, nullptr, &size) != 0) return;
  if (!IsStringType(type) || size > kLargestDescriptionValue) return;
  // Two bytes beyond the data for a terminator of our own: the stored data
  // need not carry one. Zero filled, so a short second read leaves no
  // garbage in front of it.
  auto* text = static_cast<char16_t*>(os::LocalAlloc(true, std::size_t{size} + sizeof(char16_t)));
  if (text == nullptr) return;
  Dword read = size;
  if (os::RegQueryValueExW(key, u"Port Description", &type, text, &read) == 0 && read <= size &&
      IsStringType(type)) {
    // Whole code units only: an odd trailing byte is dropped.
    text[read / sizeof(char16_t)] = 0;
    StringCchPrintfW(device->description, kFieldSize, kDescriptionFormat, text);
  }
  os::LocalFree(text);
}

// Reads "Port Number"; false unless its data is exactly 4 bytes. Those are
// the number whatever type the value was written with (drivers have written
// it as REG_BINARY too); any other length is not a port number.
bool ReadPortNumber(const os::Handle& key, Dword* number) {
  Dword type = 0;
  Dword value = 0;
  Dword size = sizeof(value);
  if (os::RegQueryValueExW(key, u"Port Number", &type, &value, &size) != 0) return false;
  if (size != sizeof(value)) return false;
  *number = value;
  return true;
}

// The fields that follow from the description: its checksum, taken over its
// ANSI bytes, and the hardware ID.
void DeriveIdentity(PrinterDevice* device) {
  char ansi[kAnsiDescriptionSize] = {};
  WideToAnsi(ansi, sizeof(ansi), device->description);
  std::size_t length = 0;
  StringCchLengthA(ansi, sizeof(ansi), &length);
  std::uint16_t checksum = 0;
  UsbPrintChecksum(reinterpret_cast<const std::uint8_t*>(ansi), static_cast<std::uint16_t>(length),
                   &checksum);
  StringCchPrintfW(device->checksum, sizeof(device->checksum) / sizeof(char16_t), u"%04x",
                   static_cast<unsigned>(checksum));

  StringCchPrintfW(device->hardwareId, kFieldSize, u"usbprint\\%ws%ws", device->description,
                   device->checksum);
  device->hardwareId[kFieldSize - 1] = 0;
  LowerAscii(device->hardwareId);
}

// Builds the record of the interface with this device path from its
// registry key, or returns null when the interface is left out.
PrinterDevice* ReadPrinter(const Text& devicePath) {
  if (devicePath.size() <= kDevicePathPrefixLength) return nullptr;
  const std::size_t keyNameSize = kKeyTemplateLength + devicePath.size() + 1;
  auto* keyName = static_cast<char16_t*>(os::LocalAlloc(false, keyNameSize * sizeof(char16_t)));
  if (keyName == nullptr) return nullptr;
  StringCchPrintfW(keyName, keyNameSize, kKeyTemplate,
                   devicePath.c_str() + kDevicePathPrefixLength);

  PrinterDevice* device = nullptr;
  {
    os::Handle key;
    if (os::RegOpenKeyExW(keyName, os::KEY_QUERY_VALUE, &key) == 0) {
      device = static_cast<PrinterDevice*>(os::LocalAlloc(true, sizeof(PrinterDevice)));
      if (device != nullptr) {
        ReadDescription(key, device);
        Dword port = 0;
        if (ReadPortNumber(key, &port)) {
          StringCchPrintfW(device->portName, kFieldSize, u"USB%.3d", static_cast<int>(port));
          DeriveIdentity(device);
        } else {
          os::LocalFree(device);
          device = nullptr;
        }
      }
    }
  }  // the key is closed before its name is freed
  os::LocalFree(keyName);
  return device;
}

}  // namespace

int DiscoverUsbPrinters(PrinterDevice** list) {
  if (list == nullptr) return 0;
  FreeDeviceList(list);
  int added = 0;
  const os::Handle set = os::SetupDiGetClassDevsW(
      os::GUID_DEVINTERFACE_USBPRINT, os::DIGCF_PRESENT | os::DIGCF_DEVICEINTERFACE);
  if (!set) return 0;
  os::DeviceInterfaceData interface;
  // Every member index is tried once; the first failing one ends the set.
  for (Dword index = 0;
       os::SetupDiEnumDeviceInterfaces(set, os::GUID_DEVINTERFACE_USBPRINT, index, &interface);
       ++index) {
    Text devicePath;
    if (!os::SetupDiGetDeviceInterfaceDetailW(set, interface, &devicePath)) continue;
    PrinterDevice* device = ReadPrinter(devicePath);
    if (device == nullptr) continue;
    device->next = *list;
    *list = device;
    ++added;
  }
  return added;
}

void FreeDeviceList(PrinterDevice** list) {
  if (list == nullptr) return;
  while (*list != nullptr) {
    PrinterDevice* device = *list;
    *list = device->next;
    os::LocalFree(device);
  }
}

char* WideToAnsi(char* dest, std::size_t destSize, const char16_t* source) {
  if (dest == nullptr || source == nullptr) return nullptr;
  std::size_t length = 0;
  if (Failed(StringCchLengthW(source, destSize, &length))) return nullptr;
  // A terminator within destSize units means destSize >= 1 and
  // length <= destSize - 1.
  std::size_t written = 0;
  if (length > 0) {
    const std::size_t room = destSize - 1 < INT_MAX ? destSize - 1 : INT_MAX;
    const int units = length < INT_MAX ? static_cast<int>(length) : INT_MAX;
    const int result = os::WideCharToMultiByte(source, units, dest, static_cast<int>(room));
    written = result > 0 ? static_cast<std::size_t>(result) : 0;
  }
  dest[written] = 0;
  return dest;
}

}  // namespace korv

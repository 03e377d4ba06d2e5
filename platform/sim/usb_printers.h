// USB printers on the simulated machine, for tests and korvsim: plugging
// one in writes its interface and the "Device Parameters" the USB printing
// class driver would write; the raw form puts values of any type and size
// there, as a misbehaving driver or device might.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/sim/machine.h"

namespace korv::sim {

// The usual device path of a USB printer interface:
// \\?\usb#vid_<vid>&pid_<pid>#<serial>#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}
Text UsbPrinterPath(std::u16string_view vid, std::u16string_view pid, std::u16string_view serial);

// The registry path (under HKLM) of the "Device Parameters" key of the
// interface with this device path: the path's first four units (\\?\) give
// way to ##?# (a path of four units or fewer leaves nothing after ##?#).
Text UsbPrinterParametersKey(std::u16string_view devicePath);

// Adds a present interface and creates its "Device Parameters" key, with a
// REG_SZ "Port Description" and a REG_DWORD "Port Number" for the values
// given; a value not given is left out.
void PlugUsbPrinter(Machine& machine, Text devicePath, std::optional<Text> description,
                    std::optional<Dword> portNumber);

// Stores a value with exactly these bytes (no terminator added) and this
// type under the interface's "Device Parameters", creating the key.
void SetUsbPrinterValue(Machine& machine, std::u16string_view devicePath, std::u16string_view name,
                        Dword type, std::vector<std::uint8_t> data);

// UTF-16 little-endian bytes of a text, without a terminator: the raw data
// of a REG_SZ value that lacks one.
std::vector<std::uint8_t> Utf16Bytes(std::u16string_view text);

// Marks the interface not present; its key stays, as on Windows.
void UnplugUsbPrinter(Machine& machine, std::u16string_view devicePath);

}  // namespace korv::sim

// Fuzz target: USB printer discovery on a machine whose printers report
// whatever they like.
//
// Each input builds a fresh simulated machine: up to eight USB printer
// interfaces, present or not, with device paths of any units (well formed
// or not, short, repeated) and "Device Parameters" values "Port Description"
// and "Port Number" of any type, size and bytes, without terminators, or
// missing. Optionally one boundary operation of the pass fails (on one call,
// or from one call on).
//
// Every record must keep its fields terminated within their sizes, with a
// hardware ID made of its description and checksum; without a fault two
// passes find the same, and no more than the printers present. Freeing the
// list must give back every block and close every handle the pass took.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/globals.h"
#include "discovery/checksum.h"
#include "discovery/printer_device.h"
#include "discovery/usb_discovery.h"
#include "fuzz_support.h"
#include "platform/kernel.h"
#include "platform/registry.h"
#include "platform/sim/machine.h"
#include "platform/sim/usb_printers.h"

namespace korv::fuzz {
namespace {

constexpr const char* kFaultable[] = {
    "SetupDiGetClassDevsW",   "SetupDiEnumDeviceInterfaces", "SetupDiGetDeviceInterfaceDetailW",
    "RegOpenKeyExW",          "RegQueryValueExW",            "LocalAlloc",
    "WideCharToMultiByte",
};

std::vector<std::uint8_t> ValueBytes(FuzzedDataProvider& in) {
  // Rare, and never from an exhausted input (which reads as zeros): a
  // megabyte per run would slow every run down.
  if (in.ConsumeIntegralInRange<int>(0, 255) == 255) {
    // Around the largest description that is read at all.
    const std::size_t size = kLargestDescriptionValue - 2 + in.ConsumeIntegralInRange<std::size_t>(0, 4);
    return std::vector<std::uint8_t>(size, 'K');  // units U+4B4B, no terminator
  }
  return in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange<std::size_t>(0, 90));
}

Dword ValueType(FuzzedDataProvider& in, Dword usual) {
  switch (in.ConsumeIntegralInRange<int>(0, 7)) {
    case 0: return in.ConsumeIntegral<Dword>();
    case 1: return os::REG_SZ + os::REG_DWORD - usual;  // the other one
    case 2: return in.PickValueInArray({os::REG_NONE, os::REG_EXPAND_SZ, os::REG_BINARY, os::REG_MULTI_SZ,
                                        os::REG_QWORD});
    default: return usual;
  }
}

Text DevicePath(FuzzedDataProvider& in) {
  Text path;
  switch (in.ConsumeIntegralInRange<int>(0, 3)) {
    case 0: {
      // Any units; a device path never holds a terminator.
      path = CompactUnitsFrom(in.ConsumeRandomLengthString(120));
      break;
    }
    default: {
      const Text serial = CompactUnitsFrom(in.ConsumeRandomLengthString(24));
      path = sim::UsbPrinterPath(in.ConsumeBool() ? u"2d37" : u"1fc9", u"0001", serial);
      break;
    }
  }
  std::erase(path, u'\0');
  return path;
}

template <std::size_t N>
Text Field(const char16_t (&field)[N], const char* name) {
  std::size_t n = 0;
  while (n < N && field[n] != 0) ++n;
  KORV_FUZZ_CHECK(n < N, "field %s is not terminated within its %zu units", name, N);
  return Text(field, n);
}

void CheckWellFormed(const PrinterDevice& device) {
  const Text checksum = Field(device.checksum, "checksum");
  const Text port = Field(device.portName, "portName");
  const Text description = Field(device.description, "description");
  const Text hardwareId = Field(device.hardwareId, "hardwareId");
  KORV_FUZZ_CHECK(description.size() <= 32, "description of %zu units", description.size());
  KORV_FUZZ_CHECK(port.starts_with(u"USB") && port.size() >= 6, "port '%s'", Show(port).c_str());
  KORV_FUZZ_CHECK(checksum.size() == 4 && checksum.find_first_not_of(u"0123456789abcdef") == Text::npos,
                  "checksum '%s'", Show(checksum).c_str());
  Text lowered = u"usbprint\\" + description + checksum;
  for (char16_t& c : lowered) {
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
  }
  KORV_FUZZ_CHECK(hardwareId == lowered, "hardware ID '%s' for description '%s'", Show(hardwareId).c_str(),
                  Show(description).c_str());
}

void Run(FuzzedDataProvider& in) {
  sim::Machine& machine = sim::Machine::Get();
  const int interfaces = in.ConsumeIntegralInRange<int>(0, 8);
  for (int i = 0; i < interfaces && in.remaining_bytes() > 0; ++i) {
    // Now and then the same path twice (a second interface on one key).
    const Text path = (i > 0 && in.ConsumeIntegralInRange<int>(0, 7) == 0)
                          ? machine.devices.usbPrinters.back().devicePath
                          : DevicePath(in);
    machine.devices.usbPrinters.push_back(sim::UsbPrinterInterface{path, in.ConsumeIntegralInRange<int>(0, 7) != 0});
    if (in.ConsumeIntegralInRange<int>(0, 7) != 0) {
      sim::SetUsbPrinterValue(machine, path, u"Port Description", ValueType(in, os::REG_SZ), ValueBytes(in));
    }
    if (in.ConsumeIntegralInRange<int>(0, 7) != 0) {
      std::vector<std::uint8_t> number = in.ConsumeIntegralInRange<int>(0, 3) == 0
                                             ? ValueBytes(in)
                                             : in.ConsumeBytes<std::uint8_t>(4);
      sim::SetUsbPrinterValue(machine, path, u"Port Number", ValueType(in, os::REG_DWORD), std::move(number));
    }
  }

  bool faulted = false;
  if (in.remaining_bytes() > 0 && in.ConsumeIntegralInRange<int>(0, 3) == 0) {
    sim::FaultRule rule;
    rule.error = in.PickValueInArray({err::NotEnoughMemory, err::InvalidHandle, err::NoMoreItems,
                                      err::AccessDenied, err::InsufficientBuffer});
    const int call = in.ConsumeIntegralInRange<int>(1, 12);
    (in.ConsumeBool() ? rule.onCall : rule.fromCall) = call;
    machine.faults.Set(in.PickValueInArray(kFaultable), rule);
    faulted = true;
  }

  const std::uint64_t liveBefore = machine.kernel.liveAllocations;
  const std::size_t handlesBefore = machine.openHandles.size();

  // The previous pass's list is freed by the next one: run twice.
  const int added = DiscoverUsbPrinters(&DeviceList);
  const int again = DiscoverUsbPrinters(&DeviceList);
  machine.faults.ClearAll();

  int count = 0;
  std::vector<const PrinterDevice*> devices;
  for (const PrinterDevice* d = DeviceList; d != nullptr; d = d->next) {
    CheckWellFormed(*d);
    devices.push_back(d);
    ++count;
  }
  KORV_FUZZ_CHECK(count == again, "%d records listed, %d reported", count, again);
  KORV_FUZZ_CHECK(machine.openHandles.size() == handlesBefore, "%zu handles left open",
                  machine.openHandles.size() - handlesBefore);

  if (!faulted) {
    KORV_FUZZ_CHECK(added == again, "two passes over the same machine found %d and %d", added, again);
    const auto present = std::count_if(machine.devices.usbPrinters.begin(), machine.devices.usbPrinters.end(),
                                       [](const auto& usb) { return usb.present; });
    KORV_FUZZ_CHECK(count <= present, "%d records for %td present printers", count, present);
  }

  FreeDeviceList(&DeviceList);
  KORV_FUZZ_CHECK(DeviceList == nullptr, "the list is not empty after freeing");
  KORV_FUZZ_CHECK(machine.kernel.liveAllocations == liveBefore, "%lld blocks not given back",
                  static_cast<long long>(machine.kernel.liveAllocations - liveBefore));
}

}  // namespace
}  // namespace korv::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace korv;
  FuzzedDataProvider in(data, size);
  fuzz::Run(in);
  fuzz::EndInput();
  return 0;
}

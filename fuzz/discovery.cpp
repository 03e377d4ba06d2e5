// Fuzz target: USB discovery over any paths and values and failing calls; records stay well formed, nothing leaks.
#include "discovery/printer_device.h"
#include "discovery/usb_discovery.h"
#include "fuzz_support.h"
#include "platform/registry.h"
#include "platform/sim/usb_printers.h"

namespace korv::fuzz {

std::vector<std::uint8_t> ValueBytes(FuzzedDataProvider& in) {
  // Rarely (a megabyte is slow) about the largest description read: U+4B4B units, no terminator.
  if (in.ConsumeIntegralInRange<int>(0, 255) == 255)
    return std::vector<std::uint8_t>(kLargestDescriptionValue - 2 + in.ConsumeIntegralInRange<std::size_t>(0, 4), 'K');
  return in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange<std::size_t>(0, 90));
}

Dword ValueType(FuzzedDataProvider& in, Dword usual) {
  const int pick = in.ConsumeIntegralInRange<int>(0, 7);  // 1: the other one of REG_SZ and REG_DWORD
  return pick == 0 ? in.ConsumeIntegral<Dword>() : pick == 1 ? os::REG_SZ + os::REG_DWORD - usual
         : pick == 2 ? in.PickValueInArray({os::REG_NONE, os::REG_EXPAND_SZ, os::REG_BINARY, os::REG_MULTI_SZ, os::REG_QWORD}) : usual;
}

template <std::size_t N>
Text Field(const char16_t (&field)[N]) {
  const std::size_t n = std::find(field, field + N, 0) - field;
  KORV_FUZZ_CHECK(n < N, "a field of %zu units without its terminator", N);
  return Text(field, n);
}

void Run(FuzzedDataProvider& in) {
  sim::Machine& machine = sim::Machine::Get();
  auto& usb = machine.devices.usbPrinters;
  for (int i = in.ConsumeIntegralInRange<int>(0, 8); i > 0 && in.remaining_bytes() > 0; --i) {
    Text path = !usb.empty() && in.ConsumeIntegralInRange<int>(0, 7) == 0 ? usb.back().devicePath  // a second interface
                : in.ConsumeIntegralInRange<int>(0, 3) == 0 ? TextFrom(in, 120)
                : sim::UsbPrinterPath(in.ConsumeBool() ? u"2d37" : u"1fc9", u"0001", TextFrom(in, 24));
    usb.push_back(sim::UsbPrinterInterface{path, in.ConsumeIntegralInRange<int>(0, 7) != 0});
    if (in.ConsumeIntegralInRange<int>(0, 7) != 0) sim::SetUsbPrinterValue(machine, path, u"Port Description", ValueType(in, os::REG_SZ), ValueBytes(in));
    if (in.ConsumeIntegralInRange<int>(0, 7) != 0) {
      auto number = in.ConsumeIntegralInRange<int>(0, 3) == 0 ? ValueBytes(in) : in.ConsumeBytes<std::uint8_t>(4);
      sim::SetUsbPrinterValue(machine, path, u"Port Number", ValueType(in, os::REG_DWORD), std::move(number));
    }
  }
  const bool faulted = in.remaining_bytes() > 0 && in.ConsumeIntegralInRange<int>(0, 3) == 0;
  if (faulted) {
    sim::FaultRule rule;
    rule.error = in.PickValueInArray({err::NotEnoughMemory, err::InvalidHandle, err::NoMoreItems, err::AccessDenied, err::InsufficientBuffer});
    (in.ConsumeBool() ? rule.onCall : rule.fromCall) = in.ConsumeIntegralInRange<int>(1, 12);
    machine.faults.Set(in.PickValueInArray({"SetupDiGetClassDevsW", "SetupDiEnumDeviceInterfaces", "SetupDiGetDeviceInterfaceDetailW",
                                            "RegOpenKeyExW", "RegQueryValueExW", "LocalAlloc", "WideCharToMultiByte"}), rule);
  }
  const std::uint64_t liveBefore = machine.kernel.liveAllocations;
  const std::size_t handlesBefore = machine.openHandles.size();
  const int first = DiscoverUsbPrinters(&DeviceList);  // the next pass frees this one's list
  const int second = DiscoverUsbPrinters(&DeviceList);
  machine.faults.ClearAll();
  int count = 0;
  for (const PrinterDevice* d = DeviceList; d != nullptr; d = d->next, ++count) {
    const Text checksum = Field(d->checksum), port = Field(d->portName), description = Field(d->description);
    Text id = u"usbprint\\" + description + checksum;
    for (char16_t& c : id) c = c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c;
    KORV_FUZZ_CHECK(description.size() <= 32 && port.starts_with(u"USB") && port.size() >= 6 && checksum.size() == 4 &&
                        checksum.find_first_not_of(u"0123456789abcdef") == Text::npos && Field(d->hardwareId) == id,
                    "record '%s' '%s' '%s' '%s'", Show(description).c_str(), Show(port).c_str(), Show(checksum).c_str(), Show(Field(d->hardwareId)).c_str());
  }
  KORV_FUZZ_CHECK(count == second && machine.openHandles.size() == handlesBefore, "%d listed, %d reported, handles %zu to %zu",
                  count, second, handlesBefore, machine.openHandles.size());
  const auto present = std::count_if(usb.begin(), usb.end(), [](const auto& u) { return u.present; });
  KORV_FUZZ_CHECK(faulted || (first == second && count <= present), "passes found %d and %d of %td", first, second, present);
  FreeDeviceList(&DeviceList);
  KORV_FUZZ_CHECK(DeviceList == nullptr && machine.kernel.liveAllocations == liveBefore, "blocks not given back");
}

}  // namespace korv::fuzz

KORV_FUZZ_TARGET(korv::fuzz::Run)

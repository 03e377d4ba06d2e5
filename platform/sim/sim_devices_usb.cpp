// USB printer interfaces on the simulated machine: the device information
// sets of interfaces and their members' device paths.
#include <iterator>

#include "platform/devices.h"
#include "platform/sim/machine.h"

namespace korv::os {

using sim::Machine;

namespace {

Machine& M() { return Machine::Get(); }

void Fail(Dword error) { sim::ThreadLastError() = error; }

Text Decimal(Dword value) {
  Text digits;
  do {
    digits.insert(digits.begin(), static_cast<char16_t>(u'0' + value % 10));
    value /= 10;
  } while (value != 0);
  return digits;
}

// The members of an open interface set, or null for any other handle.
const std::vector<Text>* MembersOf(const DevInfoHandle& set) {
  const auto* open = M().Lookup(set);
  if (open == nullptr || open->kind != HandleKind::DevInfo) return nullptr;
  const auto& sets = M().devices.interfaceSets;
  auto it = sets.find(set.get());
  return it == sets.end() ? nullptr : &it->second;
}

}  // namespace

// Only interface sets are modelled here: a set asked for without
// DIGCF_DEVICEINTERFACE, or for another interface class, has no interface
// members. Like a real set, it is a snapshot: a printer plugged or
// unplugged later does not change it.
DevInfoHandle SetupDiGetClassDevsW(const Guid& guid, Dword flags) {
  if (M().Enter("SetupDiGetClassDevsW")) return DevInfoHandle();
  auto& devices = M().devices;
  // Forget the members of sets that have been destroyed since.
  for (auto it = devices.interfaceSets.begin(); it != devices.interfaceSets.end();) {
    it = M().openHandles.count(it->first) == 0 ? devices.interfaceSets.erase(it) : std::next(it);
  }
  std::vector<Text> members;
  if ((flags & DIGCF_DEVICEINTERFACE) != 0 && guid == GUID_DEVINTERFACE_USBPRINT) {
    for (const auto& printer : devices.usbPrinters) {
      if (printer.present || (flags & DIGCF_PRESENT) == 0) members.push_back(printer.devicePath);
    }
  }
  DevInfoHandle set = M().MakeHandle<DevInfoHandle>(u"devinfo:interfaces");
  devices.interfaceSets[set.get()] = std::move(members);
  return set;
}

bool SetupDiEnumDeviceInterfaces(const DevInfoHandle& set, const Guid& guid, Dword index,
                                 DeviceInterfaceData* data) {
  if (M().Enter("SetupDiEnumDeviceInterfaces", Decimal(index))) return false;
  const auto* members = MembersOf(set);
  if (members == nullptr) {
    Fail(err::InvalidHandle);
    return false;
  }
  if (data == nullptr) {
    Fail(err::InvalidParameter);
    return false;
  }
  if (guid != GUID_DEVINTERFACE_USBPRINT || index >= members->size()) {
    Fail(err::NoMoreItems);
    return false;
  }
  // Which member the data stands for; 0 is never a member.
  data->reserved = std::uintptr_t{index} + 1;
  return true;
}

bool SetupDiGetDeviceInterfaceDetailW(const DevInfoHandle& set, const DeviceInterfaceData& data,
                                      Text* devicePath) {
  const auto* members = MembersOf(set);
  const bool known = members != nullptr && data.reserved != 0 && data.reserved <= members->size();
  const Text path = known ? (*members)[data.reserved - 1] : Text();
  if (M().Enter("SetupDiGetDeviceInterfaceDetailW", path)) return false;
  if (members == nullptr) {
    Fail(err::InvalidHandle);
    return false;
  }
  if (!known || devicePath == nullptr) {
    Fail(err::InvalidParameter);
    return false;
  }
  *devicePath = path;
  return true;
}

}  // namespace korv::os

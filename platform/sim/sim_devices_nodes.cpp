// Device nodes of any setup class on the simulated machine: class GUIDs by
// name, device information sets of all classes, friendly names, device
// removal; and the "DriverVer" of INF files.
#include <cstring>

#include "platform/devices.h"
#include "platform/sim/machine.h"

namespace korv::os {

using sim::Machine;

namespace {

Machine& M() { return Machine::Get(); }

void Fail(Dword error) { sim::ThreadLastError() = error; }

// SetupAPI's own error codes.
constexpr Dword kErrorInvalidData = 13;
constexpr Dword kErrorInvalidClass = 0xE0000209;
constexpr Dword kErrorNoSuchDevinst = 0xE000020B;
constexpr Dword kErrorLineNotFound = 0xE0000102;

struct SetupClass {
  const char16_t* name;
  Guid guid;
};

// The setup classes a scenario's devices may belong to.
constexpr SetupClass kClasses[] = {
    {u"PrintQueue", {0x1ed2bbf9, 0x11f0, 0x4084, {0xb2, 0x1f, 0xad, 0x83, 0xa8, 0xe6, 0xdc, 0xdc}}},
    {u"Printer", {0x4d36e979, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}}},
    {u"Ports", {0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}}},
    {u"USB", {0x36fc9e60, 0xc465, 0x11cf, {0x80, 0x56, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}}},
    {u"SoftwareDevice", {0x62f9c741, 0xb25a, 0x46ce, {0xb5, 0x4c, 0x9b, 0xcc, 0xce, 0x08, 0xb6, 0xf2}}},
};

const SetupClass* ClassByName(std::u16string_view name) {
  for (const auto& c : kClasses) {
    if (sim::EqualNoCase(name, c.name)) return &c;
  }
  return nullptr;
}

const SetupClass* ClassByGuid(const Guid& guid) {
  for (const auto& c : kClasses) {
    if (c.guid == guid) return &c;
  }
  return nullptr;
}

// The node a DeviceInfoData of the set refers to, or null.
sim::DeviceNode* NodeOf(const DevInfoHandle& set, const DeviceInfoData& data) {
  if (M().Lookup(set) == nullptr) return nullptr;
  auto& nodes = M().devices.nodes;
  if (data.devInst == 0 || data.devInst > nodes.size()) return nullptr;
  return &nodes[data.devInst - 1];
}

}  // namespace

bool SetupDiClassGuidsFromNameW(const char16_t* className, std::vector<Guid>* guids) {
  Text name = className != nullptr ? Text(className) : Text();
  if (M().Enter("SetupDiClassGuidsFromNameW", name)) return false;
  const SetupClass* c = ClassByName(name);
  if (c == nullptr) {
    Fail(kErrorInvalidClass);
    return false;
  }
  guids->assign(1, c->guid);
  return true;
}

DevInfoHandle SetupDiGetClassDevsExW(const Guid& guid, Dword flags) {
  const SetupClass* c = ClassByGuid(guid);
  if (M().Enter("SetupDiGetClassDevsExW", c != nullptr ? Text(c->name) : Text())) return DevInfoHandle();
  bool all = (flags & DIGCF_ALLCLASSES) != 0;
  if (!all && c == nullptr) {
    Fail(kErrorInvalidClass);
    return DevInfoHandle();
  }
  std::vector<std::size_t> members;
  const auto& nodes = M().devices.nodes;
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    if (nodes[i].removed) continue;
    if (!all && !sim::EqualNoCase(nodes[i].setupClass, c->name)) continue;
    members.push_back(i);
  }
  DevInfoHandle set = M().MakeHandle<DevInfoHandle>(all ? Text(u"devices:*") : Text(u"devices:") + c->name);
  M().devices.deviceSets[set.get()] = std::move(members);
  return set;
}

bool SetupDiEnumDeviceInfo(const DevInfoHandle& set, Dword index, DeviceInfoData* data) {
  if (M().Enter("SetupDiEnumDeviceInfo")) return false;
  auto it = M().devices.deviceSets.find(set.get());
  if (M().Lookup(set) == nullptr || it == M().devices.deviceSets.end()) {
    Fail(err::InvalidHandle);
    return false;
  }
  if (index >= it->second.size()) {
    Fail(err::NoMoreItems);
    return false;
  }
  data->devInst = it->second[index] + 1;
  return true;
}

bool SetupDiGetDeviceFriendlyNameW(const DevInfoHandle& set, const DeviceInfoData& data,
                                   char16_t* buffer, Dword capacity) {
  sim::DeviceNode* node = NodeOf(set, data);
  if (M().Enter("SetupDiGetDeviceFriendlyNameW", node != nullptr ? node->friendlyName : Text())) {
    return false;
  }
  if (node == nullptr) {
    Fail(err::InvalidHandle);
    return false;
  }
  if (node->friendlyName.empty()) {
    Fail(kErrorInvalidData);  // the device has no such property
    return false;
  }
  if (node->friendlyName.size() + 1 > capacity) {
    Fail(err::InsufficientBuffer);
    return false;
  }
  std::memcpy(buffer, node->friendlyName.c_str(), (node->friendlyName.size() + 1) * sizeof(char16_t));
  return true;
}

bool SetupDiRemoveDevice(const DevInfoHandle& set, const DeviceInfoData& data) {
  sim::DeviceNode* node = NodeOf(set, data);
  if (M().Enter("SetupDiRemoveDevice", node != nullptr ? node->friendlyName : Text())) return false;
  if (node == nullptr) {
    Fail(err::InvalidHandle);
    return false;
  }
  if (node->removed) {
    Fail(kErrorNoSuchDevinst);
    return false;
  }
  node->removed = true;
  return true;
}

bool SetupQueryInfVersionW(const char16_t* infPath, const char16_t* key, char16_t* out,
                           Dword capacity) {
  Text path = infPath != nullptr ? Text(infPath) : Text();
  if (M().Enter("SetupQueryInfVersionW", path)) return false;
  const Text* version = nullptr;
  for (const auto& [file, driverVer] : M().devices.infVersions) {
    if (sim::EqualNoCase(file, path)) version = &driverVer;
  }
  if (version == nullptr) {
    Fail(err::FileNotFound);
    return false;
  }
  if (key == nullptr || !sim::EqualNoCase(key, u"DriverVer") || version->empty()) {
    Fail(kErrorLineNotFound);
    return false;
  }
  if (version->size() + 1 > capacity) {
    Fail(err::InsufficientBuffer);
    return false;
  }
  std::memcpy(out, version->c_str(), (version->size() + 1) * sizeof(char16_t));
  return true;
}

}  // namespace korv::os

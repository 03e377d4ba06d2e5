// Device installation, configuration manager and new-device library on the
// real API. SetupAPI is linked (it is one of the system's known DLLs); the
// configuration manager and the new-device library are loaded from the
// system folder when first used.
#include "platform/devices.h"

#include "platform/win32/adapt.h"

#include <cfgmgr32.h>
#include <newdev.h>
#include <setupapi.h>

#include <cstring>

namespace korv::os {

using win32::ErrorKeeper;
using win32::LocalBuffer;
using win32::W;

namespace {

static_assert(sizeof(Guid) == sizeof(GUID));

GUID ToGuid(const Guid& guid) {
  GUID out{};
  out.Data1 = guid.data1;
  out.Data2 = guid.data2;
  out.Data3 = guid.data3;
  std::memcpy(out.Data4, guid.data4, sizeof(out.Data4));
  return out;
}

Guid FromGuid(const GUID& guid) {
  Guid out{};
  out.data1 = guid.Data1;
  out.data2 = guid.Data2;
  out.data3 = guid.Data3;
  std::memcpy(out.data4, guid.Data4, sizeof(out.data4));
  return out;
}

HDEVINFO Set(const DevInfoHandle& set) { return reinterpret_cast<HDEVINFO>(set.get()); }

DevInfoHandle SetHandle(HDEVINFO set) {
  if (set == INVALID_HANDLE_VALUE || set == nullptr) return DevInfoHandle();
  return DevInfoHandle(reinterpret_cast<std::uintptr_t>(set));
}

SP_DEVICE_INTERFACE_DATA ToNative(const DeviceInterfaceData& data) {
  SP_DEVICE_INTERFACE_DATA out{};
  out.cbSize = sizeof(out);
  out.InterfaceClassGuid = ToGuid(data.interfaceClassGuid);
  out.Flags = data.flags;
  out.Reserved = data.reserved;
  return out;
}

SP_DEVINFO_DATA ToNative(const DeviceInfoData& data) {
  SP_DEVINFO_DATA out{};
  out.cbSize = sizeof(out);
  out.ClassGuid = ToGuid(data.classGuid);
  out.DevInst = static_cast<DEVINST>(data.devInst);
  out.Reserved = data.reserved;
  return out;
}

}  // namespace

DevInfoHandle SetupDiGetClassDevsW(const Guid& guid, Dword flags) {
  GUID g = ToGuid(guid);
  return SetHandle(::SetupDiGetClassDevsW(&g, nullptr, nullptr, flags));
}

DevInfoHandle SetupDiGetClassDevsExW(const Guid& guid, Dword flags) {
  GUID g = ToGuid(guid);
  return SetHandle(::SetupDiGetClassDevsExW(&g, nullptr, nullptr, flags, nullptr, nullptr, nullptr));
}

bool SetupDiEnumDeviceInterfaces(const DevInfoHandle& set, const Guid& guid, Dword index,
                                 DeviceInterfaceData* data) {
  GUID g = ToGuid(guid);
  SP_DEVICE_INTERFACE_DATA iface{};
  iface.cbSize = sizeof(iface);
  if (::SetupDiEnumDeviceInterfaces(Set(set), nullptr, &g, index, &iface) == FALSE) return false;
  data->reserved = iface.Reserved;
  data->interfaceClassGuid = FromGuid(iface.InterfaceClassGuid);
  data->flags = iface.Flags;
  return true;
}

bool SetupDiGetDeviceInterfaceDetailW(const DevInfoHandle& set, const DeviceInterfaceData& data,
                                      Text* devicePath) {
  ErrorKeeper keep;
  SP_DEVICE_INTERFACE_DATA iface = ToNative(data);
  DWORD needed = 0;
  BOOL ok = ::SetupDiGetDeviceInterfaceDetailW(Set(set), &iface, nullptr, 0, &needed, nullptr);
  keep.Capture();
  if (ok != FALSE || keep.error() != ERROR_INSUFFICIENT_BUFFER) return false;
  // The fixed part is 6 bytes in a 32-bit process (packed) and 8 in a 64-bit
  // one; the buffer holds at least that much.
  LocalBuffer buffer(needed < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)
                         ? sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)
                         : needed);
  if (!buffer) {
    keep.Capture();
    return false;
  }
  auto* detail = buffer.as<SP_DEVICE_INTERFACE_DETAIL_DATA_W>();
  detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
  ok = ::SetupDiGetDeviceInterfaceDetailW(Set(set), &iface, detail, static_cast<DWORD>(buffer.size()),
                                          nullptr, nullptr);
  keep.Capture();
  if (ok == FALSE) return false;
  // The path is terminated within the size the system asked for.
  const auto* path = reinterpret_cast<const char16_t*>(detail->DevicePath);
  std::size_t maxUnits =
      (buffer.size() - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath)) / sizeof(char16_t);
  std::size_t length = 0;
  while (length < maxUnits && path[length] != u'\0') ++length;
  devicePath->assign(path, length);
  return true;
}
#if defined(__i386__)
static_assert(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W) == 6);
#endif

bool SetupDiClassGuidsFromNameW(const char16_t* className, std::vector<Guid>* guids) {
  ErrorKeeper keep;
  DWORD required = 0;
  BOOL ok = ::SetupDiClassGuidsFromNameW(W(className), nullptr, 0, &required);
  keep.Capture();
  if (ok == FALSE && keep.error() != ERROR_INSUFFICIENT_BUFFER) return false;
  guids->clear();
  // No class of that name: the system answers with no GUID at all.
  if (required == 0) return false;
  std::vector<GUID> list(required);
  ok = ::SetupDiClassGuidsFromNameW(W(className), list.data(), required, &required);
  keep.Capture();
  if (ok == FALSE || required == 0) return false;
  if (required < list.size()) list.resize(required);
  for (const GUID& g : list) guids->push_back(FromGuid(g));
  return true;
}

bool SetupDiEnumDeviceInfo(const DevInfoHandle& set, Dword index, DeviceInfoData* data) {
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof(device);
  if (::SetupDiEnumDeviceInfo(Set(set), index, &device) == FALSE) return false;
  data->devInst = device.DevInst;
  data->classGuid = FromGuid(device.ClassGuid);
  data->reserved = device.Reserved;
  return true;
}

bool SetupDiGetDeviceFriendlyNameW(const DevInfoHandle& set, const DeviceInfoData& data,
                                   char16_t* buffer, Dword capacity) {
  SP_DEVINFO_DATA device = ToNative(data);
  return ::SetupDiGetDeviceRegistryPropertyW(Set(set), &device, SPDRP_FRIENDLYNAME, nullptr,
                                             reinterpret_cast<PBYTE>(buffer),
                                             capacity * static_cast<DWORD>(sizeof(char16_t)),
                                             nullptr) != FALSE;
}

bool SetupDiRemoveDevice(const DevInfoHandle& set, const DeviceInfoData& data) {
  SP_DEVINFO_DATA device = ToNative(data);
  return ::SetupDiRemoveDevice(Set(set), &device) != FALSE;
}

bool SetupQueryInfVersionW(const char16_t* infPath, const char16_t* key, char16_t* out,
                           Dword capacity) {
  ErrorKeeper keep;
  DWORD size = 0;
  BOOL ok = ::SetupGetInfInformationW(W(infPath), INFINFO_INF_NAME_IS_ABSOLUTE, nullptr, 0, &size);
  keep.Capture();
  if (ok == FALSE || size == 0) return false;
  LocalBuffer info(size);
  if (!info) {
    keep.Capture();
    return false;
  }
  ok = ::SetupGetInfInformationW(W(infPath), INFINFO_INF_NAME_IS_ABSOLUTE,
                                 info.as<SP_INF_INFORMATION>(), size, nullptr);
  keep.Capture();
  if (ok == FALSE) return false;
  // Read into a buffer of our own, so that `out` stays untouched on failure.
  std::vector<wchar_t> value(capacity == 0 ? 1 : capacity, L'\0');
  DWORD required = 0;
  ok = ::SetupQueryInfVersionInformationW(info.as<SP_INF_INFORMATION>(), 0, W(key), value.data(),
                                          capacity, &required);
  keep.Capture();
  if (ok == FALSE) return false;
  std::size_t units = 0;
  while (units < capacity && value[units] != L'\0') ++units;
  if (units == capacity) {
    if (capacity == 0) return true;
    --units;  // cut and still terminated
  }
  std::memcpy(out, value.data(), units * sizeof(char16_t));
  out[units] = u'\0';
  return true;
}

Dword CM_Locate_DevNodeW(Dword* devInst, Dword flags) {
  KORV_SYSTEM_FUNCTION(L"cfgmgr32.dll", CM_Locate_DevNodeW);
  if (pCM_Locate_DevNodeW == nullptr) return CR_CALL_NOT_IMPLEMENTED;
  DEVINST node = devInst != nullptr ? *devInst : 0;
  CONFIGRET result = pCM_Locate_DevNodeW(&node, nullptr, flags);
  if (devInst != nullptr) *devInst = node;
  return result;
}

Dword CM_Reenumerate_DevNode(Dword devInst, Dword flags) {
  KORV_SYSTEM_FUNCTION(L"cfgmgr32.dll", CM_Reenumerate_DevNode);
  if (pCM_Reenumerate_DevNode == nullptr) return CR_CALL_NOT_IMPLEMENTED;
  return pCM_Reenumerate_DevNode(devInst, flags);
}

bool UpdateDriverForPlugAndPlayDevicesW(const char16_t* hardwareId, const char16_t* infPath,
                                        Dword flags) {
  KORV_SYSTEM_FUNCTION(L"newdev.dll", UpdateDriverForPlugAndPlayDevicesW);
  if (pUpdateDriverForPlugAndPlayDevicesW == nullptr) {
    ::SetLastError(ERROR_PROC_NOT_FOUND);
    return false;
  }
  return pUpdateDriverForPlugAndPlayDevicesW(nullptr, W(hardwareId), W(infPath), flags, nullptr) !=
         FALSE;
}

}  // namespace korv::os

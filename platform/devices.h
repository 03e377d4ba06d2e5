// Device installation (SetupAPI), the configuration manager and the
// new-device library.
#pragma once

#include <cstdint>

#include "platform/handle.h"
#include "platform/types.h"

namespace korv::os {

struct Guid {
  std::uint32_t data1;
  std::uint16_t data2;
  std::uint16_t data3;
  std::uint8_t data4[8];
  friend bool operator==(const Guid&, const Guid&) = default;
};

// {28d78fad-5a12-11d1-ae5b-0000f803a8c2}
inline constexpr Guid GUID_DEVINTERFACE_USBPRINT = {
    0x28d78fad, 0x5a12, 0x11d1, {0xae, 0x5b, 0x00, 0x00, 0xf8, 0x03, 0xa8, 0xc2}};

inline constexpr Dword DIGCF_PRESENT = 0x02;
inline constexpr Dword DIGCF_ALLCLASSES = 0x04;
inline constexpr Dword DIGCF_DEVICEINTERFACE = 0x10;

// An enumerated interface or device of a device information set. The fields
// after the first carry the rest of the real SP_DEVICE_INTERFACE_DATA and
// SP_DEVINFO_DATA, which the real calls that take the record back need (the
// system finds its member through `Reserved`); the simulation ignores them.
struct DeviceInterfaceData {
  std::uintptr_t reserved = 0;
  Guid interfaceClassGuid{};
  Dword flags = 0;
};
struct DeviceInfoData {
  std::uintptr_t devInst = 0;
  Guid classGuid{};
  std::uintptr_t reserved = 0;
};

// SetupDiGetClassDevsW(guid, no enumerator, no window, flags). Null on failure.
DevInfoHandle SetupDiGetClassDevsW(const Guid& guid, Dword flags);
// SetupDiGetClassDevsExW(guid, no enumerator, no window, flags, no set,
// local machine). Null on failure.
DevInfoHandle SetupDiGetClassDevsExW(const Guid& guid, Dword flags);
// SetupDiEnumDeviceInterfaces(set, no device, guid, index, &data).
bool SetupDiEnumDeviceInterfaces(const DevInfoHandle& set, const Guid& guid, Dword index,
                                 DeviceInterfaceData* data);
// SetupDiGetDeviceInterfaceDetailW, both calls: the sizing call, the detail
// buffer and the filling call. The device path comes back whole.
bool SetupDiGetDeviceInterfaceDetailW(const DevInfoHandle& set, const DeviceInterfaceData& data,
                                      Text* devicePath);
// SetupDiClassGuidsFromNameW("PrintQueue" etc.): every GUID of the class.
// False when the class name is unknown, names no GUID, or the call fails.
bool SetupDiClassGuidsFromNameW(const char16_t* className, std::vector<Guid>* guids);
// SetupDiEnumDeviceInfo(set, index, &data).
bool SetupDiEnumDeviceInfo(const DevInfoHandle& set, Dword index, DeviceInfoData* data);
// SetupDiGetDeviceRegistryPropertyW(set, data, SPDRP_FRIENDLYNAME, no type,
// buffer, capacity*2 bytes, no required size).
bool SetupDiGetDeviceFriendlyNameW(const DevInfoHandle& set, const DeviceInfoData& data,
                                   char16_t* buffer, Dword capacity);
// SetupDiRemoveDevice(set, data).
bool SetupDiRemoveDevice(const DevInfoHandle& set, const DeviceInfoData& data);

// SetupGetInfInformationW (sizing call, buffer, filling call) followed by
// SetupQueryInfVersionInformationW(info, 0, key, out, capacity). False, with
// out untouched, when any of them fails.
bool SetupQueryInfVersionW(const char16_t* infPath, const char16_t* key, char16_t* out,
                           Dword capacity);

// Configuration manager. Results are CONFIGRET codes.
inline constexpr Dword CR_SUCCESS = 0;
inline constexpr Dword CR_CALL_NOT_IMPLEMENTED = 0x34;
inline constexpr Dword CM_LOCATE_DEVNODE_NORMAL = 0;
inline constexpr Dword CM_REENUMERATE_NORMAL = 0;
inline constexpr Dword CM_REENUMERATE_SYNCHRONOUS = 1;
// CM_Locate_DevNodeW(&devInst, no device id = root, flags).
Dword CM_Locate_DevNodeW(Dword* devInst, Dword flags);
Dword CM_Reenumerate_DevNode(Dword devInst, Dword flags);

// UpdateDriverForPlugAndPlayDevicesW(no window, hardwareId, infPath, flags,
// no reboot indicator).
inline constexpr Dword INSTALLFLAG_FORCE = 1;
bool UpdateDriverForPlugAndPlayDevicesW(const char16_t* hardwareId, const char16_t* infPath,
                                        Dword flags);

}  // namespace korv::os

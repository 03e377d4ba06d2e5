// Registry: HKEY_LOCAL_MACHINE only, which is all the program reads.
#pragma once

#include <vector>

#include "platform/handle.h"
#include "platform/types.h"

namespace korv::os {

inline constexpr Dword KEY_QUERY_VALUE = 0x0001;
inline constexpr Dword KEY_ENUMERATE_SUB_KEYS = 0x0008;
// The 64-bit view of the registry, also for a 32-bit program on 64-bit
// Windows, which otherwise sees HKLM\SOFTWARE in WOW6432Node.
inline constexpr Dword KEY_WOW64_64KEY = 0x0100;
inline constexpr Dword REG_NONE = 0;
inline constexpr Dword REG_SZ = 1;
inline constexpr Dword REG_EXPAND_SZ = 2;
inline constexpr Dword REG_BINARY = 3;
inline constexpr Dword REG_DWORD = 4;
inline constexpr Dword REG_MULTI_SZ = 7;
inline constexpr Dword REG_QWORD = 11;
inline constexpr Dword RRF_RT_REG_MULTI_SZ = 0x00000020;

// Registry calls return a Win32 status (0 = ERROR_SUCCESS) rather than
// setting the last error, as the real ones do.

// RegOpenKeyExW(HKLM, path, 0, access, &key).
Dword RegOpenKeyExW(const char16_t* path, Dword access, Handle* key);
// RegOpenKeyExW(parent, subkey, 0, access, &key): below an open key.
Dword RegOpenKeyExW(const Handle& parent, const char16_t* subkey, Dword access, Handle* key);
// RegQueryValueExW(key, name, null, &type, data, &size): size in bytes. With
// data null, only the size (and type) are returned. A buffer too small gives
// ERROR_MORE_DATA (234) and the required size.
Dword RegQueryValueExW(const Handle& key, const char16_t* name, Dword* type, void* data,
                       Dword* sizeInBytes);
// RegEnumKeyW(key, index, name, capacity in code units).
Dword RegEnumKeyW(const Handle& key, Dword index, char16_t* name, Dword capacity);
// RegGetValueW(key, no subkey, value, flags, null type, data, &size).
Dword RegGetValueW(const Handle& key, const char16_t* value, Dword flags, void* data,
                   Dword* sizeInBytes);

}  // namespace korv::os

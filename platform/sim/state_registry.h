// Registry of the simulated machine: HKEY_LOCAL_MACHINE.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "platform/sim/nocase.h"
#include "platform/types.h"

namespace korv::sim {

struct RegValue {
  Dword type = 0;
  std::vector<std::uint8_t> data;  // raw bytes as stored, any size, no terminator implied
};

struct RegKey {
  std::map<Text, RegValue, NoCaseLess> values;
  std::map<Text, RegKey, NoCaseLess> subkeys;  // enumerated in name order
};

struct RegistryState {
  RegKey hklm;

  // Creates the key (and its parents) for a backslash-separated path.
  RegKey& Create(std::u16string_view path);
  // Finds a key, or null.
  RegKey* Find(std::u16string_view path);

  static RegValue String(std::u16string_view text, Dword type = 1 /* REG_SZ */);
  static RegValue MultiString(const std::vector<Text>& texts);
  static RegValue Number(Dword value);
};

}  // namespace korv::sim

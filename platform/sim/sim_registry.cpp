// Registry on the simulated machine.
#include <cstring>

#include "platform/registry.h"
#include "platform/sim/machine.h"
#include "platform/sim/wow64.h"

namespace korv::sim {

namespace {
template <typename Key>
Key* Walk(Key* key, std::u16string_view path, bool create) {
  while (key != nullptr && !path.empty()) {
    auto sep = path.find(u'\\');
    std::u16string_view part = path.substr(0, sep);
    path = sep == std::u16string_view::npos ? std::u16string_view() : path.substr(sep + 1);
    if (part.empty()) continue;
    auto it = key->subkeys.find(part);
    if (it == key->subkeys.end()) {
      if (!create) return nullptr;
      it = key->subkeys.emplace(Text(part), RegKey{}).first;
    }
    key = &it->second;
  }
  return key;
}
}  // namespace

RegKey& RegistryState::Create(std::u16string_view path) { return *Walk(&hklm, path, true); }
RegKey* RegistryState::Find(std::u16string_view path) { return Walk(&hklm, path, false); }

RegValue RegistryState::String(std::u16string_view text, Dword type) {
  RegValue v;
  v.type = type;
  v.data.resize((text.size() + 1) * sizeof(char16_t));
  std::memcpy(v.data.data(), text.data(), text.size() * sizeof(char16_t));
  return v;
}

RegValue RegistryState::MultiString(const std::vector<Text>& texts) {
  Text all;
  for (const auto& t : texts) {
    all += t;
    all += u'\0';
  }
  RegValue v = String(all, 7);
  return v;
}

RegValue RegistryState::Number(Dword value) {
  RegValue v;
  v.type = 4;
  v.data.resize(4);
  std::memcpy(v.data.data(), &value, 4);
  return v;
}

}  // namespace korv::sim

namespace korv::os {

using sim::Machine;

namespace {

Machine& M() { return Machine::Get(); }

constexpr Dword kErrorFileNotFound = 2;
constexpr Dword kErrorInvalidHandle = 6;

Dword Injected(const char* op, const Text& detail) {
  sim::FaultRule rule;
  if (M().Enter(op, detail, &rule)) return rule.error != 0 ? rule.error : kErrorFileNotFound;
  return 0;
}

sim::RegKey* KeyOf(const Handle& handle) {
  const auto* open = M().Lookup(handle);
  return open == nullptr ? nullptr : M().registry.Find(open->name);
}

Dword Open(const Text& path, Handle* key) {
  if (M().registry.Find(path) == nullptr) return kErrorFileNotFound;
  *key = M().MakeHandle(HandleKind::RegKey, path);
  return 0;
}

}  // namespace

Dword RegOpenKeyExW(const char16_t* path, Dword access, Handle* key) {
  Text p = path != nullptr ? Text(path) : Text();
  if (Dword e = Injected("RegOpenKeyExW", p)) return e;
  return Open(sim::RealKeyPath(M(), p, access), key);
}

Dword RegOpenKeyExW(const Handle& parent, const char16_t* subkey, Dword access, Handle* key) {
  const auto* open = M().Lookup(parent);
  Text sub = subkey != nullptr ? Text(subkey) : Text();
  const Text base = open != nullptr ? open->name : Text();
  // The redirector looks at the whole path: a subkey of a 64-bit key opened
  // without KEY_WOW64_64KEY is looked for in the 32-bit view again.
  const Text path = sub.empty() ? base : base + u"\\" + sub;
  if (Dword e = Injected("RegOpenKeyExW", path)) return e;
  if (open == nullptr) return kErrorInvalidHandle;
  return Open(sim::RealKeyPath(M(), path, access), key);
}

Dword RegQueryValueExW(const Handle& key, const char16_t* name, Dword* type, void* data,
                       Dword* sizeInBytes) {
  Text n = name != nullptr ? Text(name) : Text();
  if (Dword e = Injected("RegQueryValueExW", n)) return e;
  sim::RegKey* k = KeyOf(key);
  if (k == nullptr) return kErrorInvalidHandle;
  auto it = k->values.find(n);
  if (it == k->values.end()) return kErrorFileNotFound;
  const auto& v = it->second;
  if (type != nullptr) *type = v.type;
  Dword need = static_cast<Dword>(v.data.size());
  if (data == nullptr) {
    if (sizeInBytes != nullptr) *sizeInBytes = need;
    return 0;
  }
  if (sizeInBytes == nullptr) return err::InvalidParameter;
  if (*sizeInBytes < need) {
    *sizeInBytes = need;
    return err::MoreData;
  }
  if (need != 0) std::memcpy(data, v.data.data(), need);  // an empty value has no data pointer
  *sizeInBytes = need;
  return 0;
}

Dword RegEnumKeyW(const Handle& key, Dword index, char16_t* name, Dword capacity) {
  if (Dword e = Injected("RegEnumKeyW", Text())) return e;
  sim::RegKey* k = KeyOf(key);
  if (k == nullptr) return kErrorInvalidHandle;
  if (index >= k->subkeys.size()) return err::NoMoreItems;
  auto it = k->subkeys.begin();
  std::advance(it, index);
  if (it->first.size() + 1 > capacity) return err::MoreData;
  std::memcpy(name, it->first.c_str(), (it->first.size() + 1) * sizeof(char16_t));
  return 0;
}

Dword RegGetValueW(const Handle& key, const char16_t* value, Dword flags, void* data,
                   Dword* sizeInBytes) {
  Text n = value != nullptr ? Text(value) : Text();
  if (Dword e = Injected("RegGetValueW", n)) return e;
  sim::RegKey* k = KeyOf(key);
  if (k == nullptr) return kErrorInvalidHandle;
  auto it = k->values.find(n);
  if (it == k->values.end()) return kErrorFileNotFound;
  const auto& v = it->second;
  // Type filter: only the types the flags allow.
  bool allowed = (flags & RRF_RT_REG_MULTI_SZ) != 0 && v.type == REG_MULTI_SZ;
  if ((flags & 0x2) != 0 && v.type == REG_SZ) allowed = true;
  if ((flags & 0x10) != 0 && v.type == REG_DWORD) allowed = true;
  if (!allowed) return 1630;  // ERROR_UNSUPPORTED_TYPE
  // RegGetValueW makes sure string data comes back terminated: it needs
  // room for the terminators the stored data lacks.
  std::vector<std::uint8_t> bytes = v.data;
  if (bytes.size() % 2 != 0) bytes.push_back(0);
  auto units = [&] { return bytes.size() / 2; };
  auto unit = [&](std::size_t i) { return static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8)); };
  int needNul = v.type == REG_MULTI_SZ ? 2 : 1;
  std::size_t trailing = 0;
  while (trailing < units() && trailing < static_cast<std::size_t>(needNul) && unit(units() - 1 - trailing) == 0) ++trailing;
  for (std::size_t i = trailing; i < static_cast<std::size_t>(needNul); ++i) {
    bytes.push_back(0);
    bytes.push_back(0);
  }
  Dword need = static_cast<Dword>(bytes.size());
  if (sizeInBytes == nullptr) return err::InvalidParameter;
  if (data == nullptr) {
    *sizeInBytes = need;
    return 0;
  }
  if (*sizeInBytes < need) {
    *sizeInBytes = need;
    return err::MoreData;
  }
  std::memcpy(data, bytes.data(), need);
  *sizeInBytes = need;
  return 0;
}

}  // namespace korv::os

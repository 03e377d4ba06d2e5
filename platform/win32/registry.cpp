// Registry on the real API. Registry calls report their status as their
// result, so no last error needs keeping here.
#include "platform/registry.h"

#include "platform/win32/adapt.h"

namespace korv::os {

using win32::W;

namespace {

HKEY Key(const Handle& key) { return reinterpret_cast<HKEY>(key.get()); }

Dword Opened(LSTATUS status, HKEY opened, Handle* key) {
  if (status == ERROR_SUCCESS) *key = Handle(HandleKind::RegKey, reinterpret_cast<std::uintptr_t>(opened));
  return static_cast<Dword>(status);
}

// A size in bytes through the API's own type, which is another 32-bit type.
class Size {
 public:
  explicit Size(Dword* size) : outer_(size), value_(size != nullptr ? *size : 0) {}
  Size(const Size&) = delete;
  Size& operator=(const Size&) = delete;
  ~Size() {
    if (outer_ != nullptr) *outer_ = value_;
  }
  DWORD* get() { return outer_ != nullptr ? &value_ : nullptr; }

 private:
  Dword* outer_;
  DWORD value_;
};

}  // namespace

Dword RegOpenKeyExW(const char16_t* path, Dword access, Handle* key) {
  HKEY opened = nullptr;
  LSTATUS status = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, W(path), 0, access, &opened);
  return Opened(status, opened, key);
}

Dword RegOpenKeyExW(const Handle& parent, const char16_t* subkey, Dword access, Handle* key) {
  HKEY opened = nullptr;
  LSTATUS status = ::RegOpenKeyExW(Key(parent), W(subkey), 0, access, &opened);
  return Opened(status, opened, key);
}

Dword RegQueryValueExW(const Handle& key, const char16_t* name, Dword* type, void* data,
                       Dword* sizeInBytes) {
  DWORD valueType = type != nullptr ? *type : 0;
  Size size(sizeInBytes);
  LSTATUS status = ::RegQueryValueExW(Key(key), W(name), nullptr, type != nullptr ? &valueType : nullptr,
                                      static_cast<LPBYTE>(data), size.get());
  if (type != nullptr) *type = valueType;
  return static_cast<Dword>(status);
}

Dword RegEnumKeyW(const Handle& key, Dword index, char16_t* name, Dword capacity) {
  return static_cast<Dword>(::RegEnumKeyW(Key(key), index, W(name), capacity));
}

Dword RegGetValueW(const Handle& key, const char16_t* value, Dword flags, void* data,
                   Dword* sizeInBytes) {
  Size size(sizeInBytes);
  return static_cast<Dword>(::RegGetValueW(Key(key), nullptr, W(value), flags, nullptr, data, size.get()));
}

}  // namespace korv::os

// Move-only owners of operating-system handles, one type per kind.
//
// Every handle the core opens is held by one of these, so that each is closed
// on every path, in the reverse order of opening. The kind is part of the
// type: a registry key cannot be passed where a printer is wanted.
#pragma once

#include <cstdint>
#include <utility>

namespace korv::os {

enum class HandleKind : std::uint8_t {
  Kernel,     // mutex, process, thread, file: CloseHandle
  RegKey,     // RegCloseKey
  DevInfo,    // SetupDiDestroyDeviceInfoList
  Printer,    // ClosePrinter
  Service,    // CloseServiceHandle (manager and service alike)
};

// Closes a handle of the given kind. Implemented by the platform.
void CloseHandleOf(HandleKind kind, std::uintptr_t value);

template <HandleKind Kind>
class Owned {
 public:
  static constexpr HandleKind kKind = Kind;

  Owned() = default;
  explicit Owned(std::uintptr_t value) : value_(value) {}
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;
  Owned(Owned&& other) noexcept : value_(std::exchange(other.value_, 0)) {}
  Owned& operator=(Owned&& other) noexcept {
    if (this != &other) {
      reset();
      value_ = std::exchange(other.value_, 0);
    }
    return *this;
  }
  ~Owned() { reset(); }

  explicit operator bool() const { return value_ != 0; }
  std::uintptr_t get() const { return value_; }

  void reset() {
    if (value_ != 0) CloseHandleOf(Kind, std::exchange(value_, 0));
  }

 private:
  std::uintptr_t value_ = 0;
};

using KernelHandle = Owned<HandleKind::Kernel>;
using KeyHandle = Owned<HandleKind::RegKey>;
using DevInfoHandle = Owned<HandleKind::DevInfo>;
using PrinterHandle = Owned<HandleKind::Printer>;
using ServiceHandle = Owned<HandleKind::Service>;

}  // namespace korv::os

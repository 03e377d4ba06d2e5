// Move-only owner of one operating-system handle.
//
// Every handle the core opens is held by one of these, so that each is closed
// on every path, in the reverse order of opening.
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

class Handle {
 public:
  Handle() = default;
  Handle(HandleKind kind, std::uintptr_t value) : kind_(kind), value_(value) {}
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  Handle(Handle&& other) noexcept
      : kind_(other.kind_), value_(std::exchange(other.value_, 0)) {}
  Handle& operator=(Handle&& other) noexcept {
    if (this != &other) {
      reset();
      kind_ = other.kind_;
      value_ = std::exchange(other.value_, 0);
    }
    return *this;
  }
  ~Handle() { reset(); }

  explicit operator bool() const { return value_ != 0; }
  std::uintptr_t get() const { return value_; }
  HandleKind kind() const { return kind_; }

  void reset() {
    if (value_ != 0) CloseHandleOf(kind_, std::exchange(value_, 0));
  }

 private:
  HandleKind kind_ = HandleKind::Kernel;
  std::uintptr_t value_ = 0;
};

}  // namespace korv::os

// Fixed-capacity UTF-16 text: the program's path, name, message and command
// line buffers (260, 256, 1024, ... code units).
//
// The sizes of these buffers are visible behaviour: a value that is too long
// is cut to N-1 units and still terminated, never spilled. Keeping the size in
// the type makes every such bound explicit and lets tests check it.
//
// The buffer can be handed to a boundary function through data() with
// capacity(); such writers must leave a terminator within the N units (every
// OS function of platform/ does). size() never reads beyond N units either way.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <string_view>

#include "common/strsafe.h"
#include "common/text_util.h"

namespace korv {

template <std::size_t N>
class FixedText {
  static_assert(N >= 1, "room for the terminator at least");

 public:
  FixedText() = default;
  explicit FixedText(const char16_t* text) { assign(text); }
  explicit FixedText(std::u16string_view text) { assign(text); }

  // Code units including the terminator: what the buffer's users pass as
  // the buffer size.
  static constexpr std::size_t capacity() { return N; }

  char16_t* data() { return text_; }
  const char16_t* data() const { return text_; }
  const char16_t* c_str() const { return text_; }

  std::size_t size() const {
    std::size_t n = 0;
    while (n < N && text_[n] != 0) ++n;
    return n;
  }
  bool empty() const { return text_[0] == 0; }
  void clear() { text_[0] = 0; }
  std::u16string_view view() const { return {text_, size()}; }

  char16_t& operator[](std::size_t i) { return text_[i]; }
  const char16_t& operator[](std::size_t i) const { return text_[i]; }
  // A terminator in the last unit, for after a writer that may fill the
  // whole buffer without one.
  void terminate_last() { text_[N - 1] = 0; }

  // Bounded copy; true when the whole text fit. Null assigns an empty text.
  bool assign(const char16_t* text) { return CopyText(text_, N, text); }
  bool assign(std::u16string_view text) { return CopyText(text_, N, text); }

  // StringCchPrintfW into this buffer, with its result code.
  HResult format(const char16_t* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    const HResult hr = StringCchVPrintfW(text_, N, fmt, args);
    va_end(args);
    return hr;
  }
  HResult vformat(const char16_t* fmt, va_list args) {
    return StringCchVPrintfW(text_, N, fmt, args);
  }

  // Exact, case-sensitive comparison of the contents. Null equals nothing.
  bool operator==(const char16_t* other) const {
    return other != nullptr && view() == std::u16string_view(other);
  }
  bool operator==(std::u16string_view other) const { return view() == other; }

 private:
  char16_t text_[N] = {};
};

}  // namespace korv

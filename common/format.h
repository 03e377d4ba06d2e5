// The one text formatting engine of the program.
//
// StringCchPrintfW, wsprintfW and the diagnostic trace all format through
// FormatText, so every build (Windows, Windows under Wine, the simulated
// machine on Linux) produces the same text byte for byte. The C runtime's
// wide printf is not used: wchar_t is 32 bits on Linux, and the runtimes
// disagree on details such as "%s" in wide formats.
//
// Directives, written %[flags][width][.precision][prefix]conversion:
//
//   flags       '-' left-align in the width, '0' pad numbers with zeros
//               (ignored for a number with a precision, and with '-')
//   width       decimal minimum field width, padded with spaces
//   .precision  strings: at most that many code units are read and written;
//               integers: at least that many digits, zero padded.
//               A lone '.' means precision 0, as in C: "%.ws" consumes its
//               argument and writes nothing.
//   prefix      'w' or 'l', only before 's' or 'c': marks a wide argument,
//               which every string argument is anyway
//   s           a UTF-16 string (const char16_t*). As in the Microsoft wide
//               printf family, "%s" in a wide format is a wide string, the
//               same as "%ws". A null pointer prints "(null)", cut by the
//               precision like any other text.
//   c           one UTF-16 code unit, passed as int (char16_t promotes)
//   d, i        a signed 32-bit integer (int)
//   u           an unsigned 32-bit integer
//   x, X        an unsigned 32-bit integer in lower/upper-case hexadecimal
//   %%          a percent sign (nothing between the two)
//
// Anything else is not a directive this engine knows: '+', ' ', '#', '*',
// the 'h'/'I64'/'ll' size prefixes, "%S", "%p", "%f", a '%' at the end of the
// format, a width or precision above 2147483647. Formatting then stops at the
// '%' of that directive with FormatStatus::BadFormat: the text before it stays
// written, and neither that directive's argument nor any later one is read.
// Stopping is the only safe choice: the engine cannot know what argument the
// unknown directive stood for, so every later va_arg could take a number for
// a pointer. The callers map BadFormat like a cut text (StringCchPrintfW gives
// STRSAFE_E_INSUFFICIENT_BUFFER, the code the Windows functions give for any
// formatting failure; the trace writes nothing).
//
// The engine allocates nothing and writes no terminator; adding one is the
// caller's business, which is what lets StringCchPrintfW fill a buffer to the
// last unit.
#pragma once

#include <cstdarg>
#include <cstddef>

namespace korv {

enum class FormatStatus {
  Complete,   // the whole text was written
  Truncated,  // the room was filled and text remained; the rest is dropped
  BadFormat,  // stopped at an unknown directive (or a null format)
};

struct FormatResult {
  std::size_t length = 0;  // code units written to dest, never more than room
  FormatStatus status = FormatStatus::Complete;
};

// Formats `format` with `args` into dest, writing at most `room` code units
// and no terminator. dest may be null only when room is 0. A null format
// writes nothing and reports BadFormat. `args` is copied, not consumed.
FormatResult FormatText(char16_t* dest, std::size_t room, const char16_t* format,
                        va_list args);

}  // namespace korv

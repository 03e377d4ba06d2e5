// Bounded string functions with the contracts of the Windows SDK's safe
// string functions of the same names, and the window-message formatter.
//
// Every fixed-size text of the program is written through these, so a value
// that is too long is cut and still terminated instead of overrunning its
// buffer. All of them format with the engine of common/format.h.
#pragma once

#include <cstdarg>
#include <cstddef>

#include "platform/types.h"

// The names below are the SDK's; <windows.h> defines some of them as macros.
// Core code never includes it, and an adapter that does must not include
// this header too.
#ifdef S_OK
#error "common/strsafe.h cannot be used together with <windows.h>"
#endif

namespace korv {

inline constexpr HResult S_OK = 0;
inline constexpr HResult E_INVALIDARG = static_cast<HResult>(0x80070057u);
inline constexpr HResult STRSAFE_E_INSUFFICIENT_BUFFER = static_cast<HResult>(0x8007007Au);
// The largest buffer size, in code units, the functions accept.
inline constexpr std::size_t STRSAFE_MAX_CCH = 2147483647;

inline constexpr bool Succeeded(HResult hr) { return hr >= 0; }
inline constexpr bool Failed(HResult hr) { return hr < 0; }

// Formats into dest, a buffer of cchDest code units.
//  - cchDest 0: E_INVALIDARG, dest untouched.
//  - cchDest above STRSAFE_MAX_CCH, a null dest or a null format:
//    E_INVALIDARG, with dest[0] set to the terminator when dest is usable.
//  - Text of at most cchDest-1 units: written and terminated, S_OK. A text of
//    exactly cchDest-1 units fills the buffer, terminator in the last unit.
//  - Longer text, or a directive the engine does not know: the first
//    cchDest-1 units produced (for an unknown directive, the text before it)
//    and a terminator; STRSAFE_E_INSUFFICIENT_BUFFER.
HResult StringCchPrintfW(char16_t* dest, std::size_t cchDest, const char16_t* format, ...);
HResult StringCchVPrintfW(char16_t* dest, std::size_t cchDest, const char16_t* format,
                          va_list args);

// Counts the units before the terminator, looking at no more than cchMax of
// them. S_OK when a terminator is among them; E_INVALIDARG when none is, when
// text is null or when cchMax exceeds STRSAFE_MAX_CCH. *length (if length is
// not null) receives the count on success and 0 on every failure.
HResult StringCchLengthA(const char* text, std::size_t cchMax, std::size_t* length);
HResult StringCchLengthW(const char16_t* text, std::size_t cchMax, std::size_t* length);

// USER32's wsprintfW writes at most 1024 units including the terminator and
// trusts the caller's buffer to hold them. The window texts are formatted into
// buffers of 256 units from string-table texts with inserted names, so that
// trust would be misplaced: this version takes the destination's capacity and
// writes at most min(cchDest, 1024) units including the terminator. A longer
// text is cut there and terminated (an unknown directive ends the text where
// it stands), which is the only way it shortens a message.
// Returns the number of units written without the terminator; 0 with dest
// untouched when cchDest is 0; 0 with an empty dest for a null format.
inline constexpr std::size_t WSPRINTF_MAX_CCH = 1024;
int wsprintfW(char16_t* dest, std::size_t cchDest, const char16_t* format, ...);
int wvsprintfW(char16_t* dest, std::size_t cchDest, const char16_t* format, va_list args);

}  // namespace korv

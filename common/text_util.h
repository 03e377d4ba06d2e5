// Small text helpers over terminated UTF-16 strings, with the C-locale
// semantics of the C runtime functions the program would otherwise use
// (wcslen, wcsstr, _wcsicmp, _wcslwr): only the ASCII letters A-Z have a
// case, so results never depend on the user's locale.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace korv {

// Units before the terminator; 0 for null.
std::size_t TextLength(const char16_t* text);

// Copies text into dest, a buffer of cchDest units, cutting it to cchDest-1
// units and always terminating. Returns true when the whole text fit.
// cchDest 0 leaves dest untouched and returns false; null text copies as an
// empty text. The pointer form reads no further than cchDest units of text.
bool CopyText(char16_t* dest, std::size_t cchDest, const char16_t* text);
bool CopyText(char16_t* dest, std::size_t cchDest, std::u16string_view text);

// _wcsicmp: compares with A-Z folded to a-z, other units by value.
// Negative, zero or positive. Null compares like an empty text.
int CompareNoCase(const char16_t* a, const char16_t* b);
// Whether text begins with prefix, compared the way CompareNoCase does.
bool StartsWithNoCase(std::u16string_view text, std::u16string_view prefix);

// wcsstr: the first occurrence of part in text, case-sensitively; text itself
// for an empty part; null when absent or when either argument is null.
const char16_t* FindText(const char16_t* text, const char16_t* part);

// _wcslwr: turns A-Z into a-z in place and returns text.
char16_t* LowerAscii(char16_t* text);

// UTF-8 <-> UTF-16 for the simulator's files and output and for tests.
// Malformed input (bad or overlong UTF-8 sequences, encoded surrogates, lone
// UTF-16 surrogates) becomes U+FFFD rather than failing, so a report can
// always be printed.
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

}  // namespace korv

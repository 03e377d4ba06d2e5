// The ANSI code pages of the simulated machine: 1252 (Western) and 932
// (Japanese, Shift-JIS as Windows extends it), converted as
// WideCharToMultiByte and MultiByteToWideChar do with CP_ACP and no flags.
//
// Code page 932 goes through the C library's "CP932" table (glibc's, which
// follows Microsoft's: the NEC and IBM extensions included). What Windows
// does beyond the tables is modelled: a character the code page lacks
// becomes the default character '?' (a surrogate pair, one character, one
// '?'), and a byte sequence that is not a character becomes U+30FB in 932
// (the code page's default Unicode character) or the byte's own value in
// 1252. Not modelled: the "best fit" replacements Windows makes for some
// characters without WC_NO_BEST_FIT_CHARS (é to 'e' in 932, for one).
#pragma once

#include <string>
#include <string_view>

#include "platform/types.h"

namespace korv::sim {

std::string WideToAnsi(unsigned codePage, std::u16string_view text);
Text AnsiToWide(unsigned codePage, std::string_view bytes);

}  // namespace korv::sim

// Diagnostic trace: one printf-style line per event on the debugger output
// channel, for a debugger or a debug-output viewer; the user never sees it.
#pragma once

namespace korv {

// Formats one line and sends it to the debugger output channel, followed by
// a separate "\n". `format` is a narrow string in the ANSI code page, at most
// 255 characters; wide arguments go with "%ws", 32-bit integers with "%d"
// (the directives of common/format.h).
//
// Nothing is written, and nothing is reported, when the format is null or
// longer than 255 characters, when the line would exceed 767 characters
// (it is dropped whole rather than cut), or when the format holds a
// directive the formatting engine does not know.
//
// Not reentrant: the format and line buffers are shared by all calls. Every
// caller is on the installation path, which runs on one thread at a time, so
// guarding them would buy nothing.
void trace(const char* format, ...);

}  // namespace korv

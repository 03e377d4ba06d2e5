#include "common/trace.h"

#include <cstdarg>

#include "common/strsafe.h"
#include "platform/kernel.h"

namespace korv {
namespace {

constexpr int kFormatCch = 256;
constexpr int kLineCch = 768;

// Shared by all calls, see trace.h.
char16_t g_format[kFormatCch];
char16_t g_line[kLineCch];

}  // namespace

void trace(const char* format, ...) {
  if (Failed(StringCchLengthA(format, kFormatCch, nullptr))) return;
  // At most 255 bytes plus terminator always fit 256 units, whatever the
  // code page. Should the conversion still fail, the buffer would hold the
  // previous call's format, which must not meet these arguments.
  if (os::MultiByteToWideChar(format, -1, g_format, kFormatCch) == 0) return;

  va_list args;
  va_start(args, format);
  const HResult hr = StringCchVPrintfW(g_line, kLineCch, g_format, args);
  va_end(args);
  if (Failed(hr)) return;  // a line that does not fit is not written at all

  os::OutputDebugStringW(g_line);
  os::OutputDebugStringW(u"\n");
}

}  // namespace korv

#include "common/strsafe.h"

#include <algorithm>

#include "common/format.h"

namespace korv {
namespace {

template <typename Unit>
HResult MeasureBounded(const Unit* text, std::size_t cchMax, std::size_t* length) {
  if (length != nullptr) *length = 0;
  if (text == nullptr || cchMax > STRSAFE_MAX_CCH) return E_INVALIDARG;
  std::size_t count = 0;
  while (count < cchMax && text[count] != 0) ++count;
  if (count == cchMax) return E_INVALIDARG;  // no terminator within cchMax
  if (length != nullptr) *length = count;
  return S_OK;
}

}  // namespace

HResult StringCchVPrintfW(char16_t* dest, std::size_t cchDest, const char16_t* format,
                          va_list args) {
  if (cchDest == 0) return E_INVALIDARG;
  if (dest == nullptr) return E_INVALIDARG;
  if (cchDest > STRSAFE_MAX_CCH || format == nullptr) {
    dest[0] = 0;
    return E_INVALIDARG;
  }
  const FormatResult result = FormatText(dest, cchDest - 1, format, args);
  dest[result.length] = 0;
  return result.status == FormatStatus::Complete ? S_OK : STRSAFE_E_INSUFFICIENT_BUFFER;
}

HResult StringCchPrintfW(char16_t* dest, std::size_t cchDest, const char16_t* format, ...) {
  va_list args;
  va_start(args, format);
  const HResult hr = StringCchVPrintfW(dest, cchDest, format, args);
  va_end(args);
  return hr;
}

HResult StringCchLengthA(const char* text, std::size_t cchMax, std::size_t* length) {
  return MeasureBounded(text, cchMax, length);
}

HResult StringCchLengthW(const char16_t* text, std::size_t cchMax, std::size_t* length) {
  return MeasureBounded(text, cchMax, length);
}

int wvsprintfW(char16_t* dest, std::size_t cchDest, const char16_t* format, va_list args) {
  if (dest == nullptr || cchDest == 0) return 0;
  if (format == nullptr) {
    dest[0] = 0;
    return 0;
  }
  const std::size_t capacity = std::min(cchDest, WSPRINTF_MAX_CCH);
  const FormatResult result = FormatText(dest, capacity - 1, format, args);
  dest[result.length] = 0;
  return static_cast<int>(result.length);
}

int wsprintfW(char16_t* dest, std::size_t cchDest, const char16_t* format, ...) {
  va_list args;
  va_start(args, format);
  const int written = wvsprintfW(dest, cchDest, format, args);
  va_end(args);
  return written;
}

}  // namespace korv

#include "common/format.h"

#include <algorithm>
#include <cstdint>

namespace korv {
namespace {

// Width and precision above this are rejected, as the C runtime rejects a
// field that does not fit an int. Anything below is harmless: padding is
// written only as far as the room reaches.
constexpr std::size_t kMaxField = 2147483647;

// Bounded writer over the caller's buffer. Once the room is full it writes
// nothing more and remembers that text was dropped.
class Sink {
 public:
  Sink(char16_t* dest, std::size_t room) : dest_(dest), room_(room) {}

  bool Append(const char16_t* text, std::size_t count) {
    const std::size_t take = std::min(count, room_ - length_);
    std::copy_n(text, take, dest_ + length_);
    length_ += take;
    return Accept(take, count);
  }

  bool Fill(char16_t unit, std::size_t count) {
    const std::size_t take = std::min(count, room_ - length_);
    std::fill_n(dest_ + length_, take, unit);
    length_ += take;
    return Accept(take, count);
  }

  std::size_t length() const { return length_; }
  bool full() const { return full_; }

 private:
  bool Accept(std::size_t taken, std::size_t wanted) {
    if (taken < wanted) full_ = true;
    return !full_;
  }

  char16_t* dest_;
  std::size_t room_;
  std::size_t length_ = 0;
  bool full_ = false;
};

struct Directive {
  bool leftAlign = false;
  bool zeroPad = false;
  std::size_t width = 0;
  bool hasPrecision = false;
  std::size_t precision = 0;
  char16_t conversion = 0;
};

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// Reads a decimal field; false when it exceeds kMaxField.
bool ParseField(const char16_t*& p, std::size_t& value) {
  value = 0;
  while (IsDigit(*p)) {
    value = value * 10 + static_cast<std::size_t>(*p - u'0');
    if (value > kMaxField) return false;
    ++p;
  }
  return true;
}

// Parses the directive that starts after a '%'. On success `p` is left after
// the conversion character. Never reads past the format's terminator.
bool ParseDirective(const char16_t*& p, Directive& d) {
  for (;; ++p) {
    if (*p == u'-') {
      d.leftAlign = true;
    } else if (*p == u'0') {
      d.zeroPad = true;
    } else {
      break;
    }
  }
  if (!ParseField(p, d.width)) return false;
  if (*p == u'.') {
    ++p;
    d.hasPrecision = true;
    if (!ParseField(p, d.precision)) return false;
  }
  bool widePrefix = false;
  if (*p == u'w' || *p == u'l') {
    widePrefix = true;
    ++p;
  }
  switch (*p) {
    case u's':
    case u'c':
      break;
    case u'd':
    case u'i':
    case u'u':
    case u'x':
    case u'X':
      if (widePrefix) return false;
      break;
    default:
      return false;
  }
  d.conversion = *p++;
  return true;
}

// Writes `body` (already cut to its final length) padded to the width.
bool EmitPadded(Sink& sink, const Directive& d, const char16_t* body, std::size_t length) {
  const std::size_t pad = std::max(d.width, length) - length;
  if (!d.leftAlign && !sink.Fill(u' ', pad)) return false;
  if (!sink.Append(body, length)) return false;
  return !d.leftAlign || sink.Fill(u' ', pad);
}

bool EmitString(Sink& sink, const Directive& d, const char16_t* text) {
  if (text == nullptr) text = u"(null)";
  // With a precision the text need not be terminated within it, so nothing
  // beyond the precision is read.
  const std::size_t limit = d.hasPrecision ? d.precision : SIZE_MAX;
  std::size_t length = 0;
  while (length < limit && text[length] != 0) ++length;
  return EmitPadded(sink, d, text, length);
}

bool EmitInteger(Sink& sink, const Directive& d, bool negative, std::uint32_t magnitude,
                 unsigned base, bool upper) {
  const char16_t* digitSet = upper ? u"0123456789ABCDEF" : u"0123456789abcdef";
  char16_t digits[10];  // 4294967295 is the longest
  std::size_t count = 0;
  // C prints nothing at all for a zero with precision 0.
  if (magnitude != 0 || !d.hasPrecision || d.precision != 0) {
    do {
      digits[count++] = digitSet[magnitude % base];
      magnitude /= base;
    } while (magnitude != 0);
  }
  std::reverse(digits, digits + count);

  const std::size_t sign = negative ? 1 : 0;
  std::size_t zeros = d.hasPrecision ? std::max(d.precision, count) - count : 0;
  const std::size_t body = sign + zeros + count;
  std::size_t pad = std::max(d.width, body) - body;
  if (d.zeroPad && !d.leftAlign && !d.hasPrecision) {
    zeros += pad;
    pad = 0;
  }
  if (!d.leftAlign && !sink.Fill(u' ', pad)) return false;
  if (negative && !sink.Fill(u'-', 1)) return false;
  if (!sink.Fill(u'0', zeros)) return false;
  if (!sink.Append(digits, count)) return false;
  return !d.leftAlign || sink.Fill(u' ', pad);
}

}  // namespace

FormatResult FormatText(char16_t* dest, std::size_t room, const char16_t* format,
                        va_list args) {
  if (format == nullptr) return {0, FormatStatus::BadFormat};

  Sink sink(dest, room);
  FormatStatus status = FormatStatus::Complete;
  va_list ap;
  va_copy(ap, args);

  const char16_t* p = format;
  bool writing = true;
  while (writing && *p != 0) {
    if (*p != u'%') {
      const char16_t* run = p;
      while (*p != 0 && *p != u'%') ++p;
      writing = sink.Append(run, static_cast<std::size_t>(p - run));
      continue;
    }
    if (p[1] == u'%') {
      p += 2;
      writing = sink.Fill(u'%', 1);
      continue;
    }
    const char16_t* cursor = p + 1;
    Directive d;
    if (!ParseDirective(cursor, d)) {
      status = FormatStatus::BadFormat;
      break;
    }
    p = cursor;
    switch (d.conversion) {
      case u's':
        writing = EmitString(sink, d, va_arg(ap, const char16_t*));
        break;
      case u'c': {
        const char16_t unit = static_cast<char16_t>(va_arg(ap, int));
        writing = EmitPadded(sink, d, &unit, 1);
        break;
      }
      case u'd':
      case u'i': {
        const int value = va_arg(ap, int);
        // Negate in unsigned arithmetic so that INT_MIN has a magnitude.
        const std::uint32_t magnitude =
            value < 0 ? 0u - static_cast<std::uint32_t>(value) : static_cast<std::uint32_t>(value);
        writing = EmitInteger(sink, d, value < 0, magnitude, 10, false);
        break;
      }
      default: {  // u, x, X
        const std::uint32_t value = va_arg(ap, unsigned);
        writing = EmitInteger(sink, d, false, value, d.conversion == u'u' ? 10 : 16,
                              d.conversion == u'X');
        break;
      }
    }
  }
  va_end(ap);

  if (sink.full()) status = FormatStatus::Truncated;
  return {sink.length(), status};
}

}  // namespace korv

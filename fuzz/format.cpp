// Fuzz target: the formatting engine, through StringCchPrintfW, wsprintfW
// and trace.
//
// Variadic calls cannot take arguments made up at run time, and an argument
// of the wrong type for its directive is undefined behaviour that would hide
// real findings. So the input never supplies a format and arguments
// independently. Two kinds of run, chosen by the first byte:
//
//  - structured: the format is built from pieces the input picks (literal
//    text, "%%", directives of every supported kind with flags, width,
//    precision and prefix, and at most one unknown directive, which must
//    stop the formatting), and each directive is passed an argument of
//    exactly the type it reads. A string argument with a precision may be an
//    array of exactly that many units without a terminator: the engine
//    promises to read no further, and AddressSanitizer holds it to that.
//    The output is compared with a reference formatter written here from the
//    directive grammar, and that reference with the C library's snprintf
//    where both apply.
//  - raw: the input's units are the format, called with no arguments at
//    all. Every '%' that would start a directive reading an argument is
//    replaced first, so what reaches the engine is literal text, "%%" and
//    unknown directives. Should the engine accept what the grammar calls
//    unknown, it would read an argument that was never passed, and its
//    output would differ from the expected text.
//
// Each call is made with a destination buffer of exactly the size passed,
// so a write past the bound is caught, and the results are checked against
// the contracts of common/strsafe.h and common/trace.h.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "common/strsafe.h"
#include "common/trace.h"
#include "fuzz_support.h"
#include "platform/sim/machine.h"

namespace korv::fuzz {
namespace {

// Every expected text is kept up to this many units; all buffers are
// smaller, so a text this long is longer than any of them.
constexpr std::size_t kCap = 2048;
constexpr std::size_t kLargestBuffer = 1100;
constexpr std::uint64_t kMaxField = 2147483647;
constexpr std::size_t kTraceFormatLimit = 255;
constexpr std::size_t kTraceLineLimit = 767;
constexpr std::size_t kMaxArgs = 5;

enum class Kind { Text, Int, Unsigned };

struct Arg {
  Kind kind = Kind::Int;
  const char16_t* text = nullptr;
  int i = 0;
  unsigned u = 0;
};

struct Directive {
  bool left = false;
  bool zero = false;
  std::uint64_t width = 0;
  bool hasPrecision = false;
  std::uint64_t precision = 0;
  char16_t conversion = u'd';
};

// The format under construction with its arguments and the text it must
// produce.
struct Plan {
  std::u16string format;
  std::vector<Arg> args;
  std::u16string expected;  // kept to kCap units
  bool bad = false;         // an unknown directive ends the text
  std::vector<std::unique_ptr<char16_t[]>> strings;

  void Put(char16_t unit, std::uint64_t count) {
    if (bad) return;
    const std::uint64_t room = kCap - expected.size();
    expected.append(static_cast<std::size_t>(count < room ? count : room), unit);
  }
  void Put(std::u16string_view text) {
    for (char16_t c : text) Put(c, 1);
  }
};

// Reference for one directive, from the grammar in common/format.h.
void ExpectPadded(Plan& plan, const Directive& d, std::u16string_view body) {
  const std::uint64_t pad = d.width > body.size() ? d.width - body.size() : 0;
  if (!d.left) plan.Put(u' ', pad);
  plan.Put(body);
  if (d.left) plan.Put(u' ', pad);
}

void ExpectInteger(Plan& plan, const Directive& d, bool negative, std::uint32_t magnitude) {
  std::u16string digits;
  const char* set = d.conversion == u'X' ? "0123456789ABCDEF" : "0123456789abcdef";
  const unsigned base = (d.conversion == u'x' || d.conversion == u'X') ? 16 : 10;
  if (!(magnitude == 0 && d.hasPrecision && d.precision == 0)) {
    do {
      digits.insert(digits.begin(), static_cast<char16_t>(set[magnitude % base]));
      magnitude /= base;
    } while (magnitude != 0);
  }
  std::uint64_t zeros = d.hasPrecision && d.precision > digits.size() ? d.precision - digits.size() : 0;
  const std::uint64_t body = (negative ? 1 : 0) + zeros + digits.size();
  std::uint64_t pad = d.width > body ? d.width - body : 0;
  if (d.zero && !d.left && !d.hasPrecision) {
    zeros += pad;
    pad = 0;
  }
  if (!d.left) plan.Put(u' ', pad);
  if (negative) plan.Put(u'-', 1);
  plan.Put(u'0', zeros);
  plan.Put(digits);
  if (d.left) plan.Put(u' ', pad);
}

// The C library formats integers by the same rules; where the fields are
// small enough to print whole, the two references must agree.
void CrossCheckWithC(const Directive& d, const Arg& arg, std::u16string_view mine) {
  if (d.width > 600 || d.precision > 600) return;
  char cFormat[64];
  std::snprintf(cFormat, sizeof(cFormat), "%%%s%s%llu%s%llu%c", d.left ? "-" : "", d.zero ? "0" : "",
                static_cast<unsigned long long>(d.width), d.hasPrecision ? "." : "",
                static_cast<unsigned long long>(d.hasPrecision ? d.precision : 0),
                static_cast<char>(d.conversion));
  // Without a precision the ".0" part is left out again.
  if (!d.hasPrecision) {
    std::snprintf(cFormat, sizeof(cFormat), "%%%s%s%llu%c", d.left ? "-" : "", d.zero ? "0" : "",
                  static_cast<unsigned long long>(d.width), static_cast<char>(d.conversion));
  }
  char text[1400];
  if (arg.kind == Kind::Int) {
    std::snprintf(text, sizeof(text), cFormat, arg.i);
  } else {
    std::snprintf(text, sizeof(text), cFormat, arg.u);
  }
  const std::u16string c(text, text + std::strlen(text));
  KORV_FUZZ_CHECK(c == mine, "reference disagrees with C for %s: '%s' vs '%s'", cFormat, text,
                  Show(mine).c_str());
}

void AppendNumber(std::u16string& out, std::uint64_t value) {
  const std::string digits = std::to_string(value);
  out.append(digits.begin(), digits.end());
}

// A field value: mostly small, sometimes past any buffer, sometimes the
// largest accepted, rarely one too large (an unknown directive).
std::uint64_t PickField(FuzzedDataProvider& in) {
  switch (in.ConsumeIntegralInRange<int>(0, 9)) {
    case 0: return kMaxField;
    case 1: return kMaxField + 1 + in.ConsumeIntegralInRange<std::uint64_t>(0, 1u << 20);
    case 2: return in.ConsumeIntegralInRange<std::uint64_t>(200, kLargestBuffer + 50);
    default: return in.ConsumeIntegralInRange<std::uint64_t>(0, 40);
  }
}

// Literal text without '%' and without a terminator inside it.
void AddLiteral(Plan& plan, FuzzedDataProvider& in, bool asciiOnly) {
  const std::u16string raw = CompactUnitsFrom(in.ConsumeBytesAsString(in.ConsumeIntegralInRange<int>(1, 24)));
  std::u16string text;
  for (char16_t c : raw) {
    if (c == 0 || c == u'%') continue;
    if (asciiOnly && (c >= 0x80 || c < 0x20)) c = u'.';
    text += c;
  }
  plan.format += text;
  plan.Put(text);
}

void AddDirective(Plan& plan, FuzzedDataProvider& in) {
  Directive d;
  static constexpr char16_t kConversions[] = u"scdiuxX";
  d.conversion = kConversions[in.ConsumeIntegralInRange<int>(0, 6)];
  const bool isString = d.conversion == u's';
  const bool isChar = d.conversion == u'c';

  std::u16string form = u"%";
  for (int flags = in.ConsumeIntegralInRange<int>(0, 3); flags > 0; --flags) {
    const bool minus = in.ConsumeBool();
    form += minus ? u'-' : u'0';
    (minus ? d.left : d.zero) = true;
  }
  d.width = in.ConsumeBool() ? PickField(in) : 0;
  if (d.width != 0) AppendNumber(form, d.width);
  // No precision with %c: the grammar gives it no meaning there.
  if (!isChar && in.ConsumeBool()) {
    d.hasPrecision = true;
    d.precision = PickField(in);
    form += u'.';
    if (d.precision != 0 || in.ConsumeBool()) {
      // Leading zeros do not change a precision.
      form.append(in.ConsumeIntegralInRange<int>(0, 2), u'0');
      AppendNumber(form, d.precision);
    }
  }
  if (isString || isChar) {
    switch (in.ConsumeIntegralInRange<int>(0, 2)) {
      case 1: form += u'w'; break;
      case 2: form += u'l'; break;
      default: break;
    }
  }
  form += d.conversion;
  plan.format += form;

  if (d.width > kMaxField || d.precision > kMaxField) {
    // Too large a field is an unknown directive: it takes no argument.
    plan.bad = true;
    return;
  }

  Arg arg;
  if (isString) {
    arg.kind = Kind::Text;
    const int choice = in.ConsumeIntegralInRange<int>(0, 5);
    std::u16string body;
    if (choice == 0) {
      arg.text = nullptr;
      body = u"(null)";
    } else if (choice == 1 && d.hasPrecision && d.precision <= 300) {
      // Exactly `precision` units and no terminator.
      const std::u16string units = CompactUnitsFrom(in.ConsumeBytesAsString(static_cast<std::size_t>(d.precision)));
      auto block = std::make_unique<char16_t[]>(static_cast<std::size_t>(d.precision));
      for (std::size_t i = 0; i < d.precision; ++i) block[i] = i < units.size() ? units[i] : u'~';
      arg.text = block.get();
      body.assign(block.get(), static_cast<std::size_t>(d.precision));
      plan.strings.push_back(std::move(block));
    } else {
      const std::u16string units = CompactUnitsFrom(in.ConsumeBytesAsString(in.ConsumeIntegralInRange<int>(0, 40)));
      auto block = std::make_unique<char16_t[]>(units.size() + 1);
      std::copy(units.begin(), units.end(), block.get());
      arg.text = block.get();
      body = units;
      plan.strings.push_back(std::move(block));
    }
    body = body.substr(0, body.find(u'\0'));
    if (d.hasPrecision && d.precision < body.size()) body.resize(static_cast<std::size_t>(d.precision));
    ExpectPadded(plan, d, body);
  } else if (isChar) {
    arg.kind = Kind::Int;
    arg.i = in.ConsumeIntegral<int>();
    const char16_t unit = static_cast<char16_t>(arg.i);
    ExpectPadded(plan, d, std::u16string_view(&unit, 1));
  } else {
    const std::size_t before = plan.expected.size();
    if (d.conversion == u'd' || d.conversion == u'i') {
      arg.kind = Kind::Int;
      arg.i = in.ConsumeIntegral<int>();
      const std::uint32_t magnitude = arg.i < 0 ? 0u - static_cast<std::uint32_t>(arg.i)
                                                : static_cast<std::uint32_t>(arg.i);
      ExpectInteger(plan, d, arg.i < 0, magnitude);
    } else {
      arg.kind = Kind::Unsigned;
      arg.u = in.ConsumeIntegral<unsigned>();
      ExpectInteger(plan, d, false, arg.u);
    }
    if (!plan.bad && plan.expected.size() < kCap) {
      CrossCheckWithC(d, arg, std::u16string_view(plan.expected).substr(before));
    }
  }
  plan.args.push_back(arg);
}

// Directives the engine does not know; each one is rejected within its own
// characters, whatever follows it.
constexpr const char16_t* kUnknownDirectives[] = {
    u"%p",  u"%S",   u"%+d",  u"%#x",   u"% d",  u"%*d",  u"%I64d", u"%lld", u"%hd",
    u"%wd", u"%lx",  u"%f",   u"%-0q",  u"%.-3d", u"%\u00e9", u"%Lws", u"%n",
    u"%2147483648d", u"%.99999999999ws",
};

Plan BuildPlan(FuzzedDataProvider& in, bool asciiOnly) {
  Plan plan;
  bool unknownUsed = false;
  for (int pieces = in.ConsumeIntegralInRange<int>(0, 12); pieces > 0 && in.remaining_bytes() > 0; --pieces) {
    switch (in.ConsumeIntegralInRange<int>(0, 9)) {
      case 0:
      case 1:
      case 2:
        AddLiteral(plan, in, asciiOnly);
        break;
      case 3:
        plan.format += u"%%";
        plan.Put(u'%', 1);
        break;
      case 4:
        if (!unknownUsed) {
          unknownUsed = true;
          const std::size_t count = sizeof(kUnknownDirectives) / sizeof(kUnknownDirectives[0]);
          plan.format += kUnknownDirectives[in.ConsumeIntegralInRange<std::size_t>(0, count - 1)];
          plan.bad = true;
        }
        break;
      default:
        if (plan.args.size() < kMaxArgs) AddDirective(plan, in);
        break;
    }
  }
  // A lone '%' at the very end is unknown too; anywhere else it would join
  // the next piece.
  if (in.remaining_bytes() > 0 && in.ConsumeIntegralInRange<int>(0, 15) == 0) {
    plan.format += u'%';
    plan.bad = true;
  }
  return plan;
}

// Calls `call` with the plan's arguments, each with its own type. The
// argument lists are generated up to kMaxArgs entries.
template <typename Call, typename... Passed>
void WithArguments(const std::vector<Arg>& args, std::size_t index, Call& call, Passed... passed) {
  if constexpr (sizeof...(Passed) < kMaxArgs) {
    if (index < args.size()) {
      const Arg& a = args[index];
      switch (a.kind) {
        case Kind::Text: return WithArguments(args, index + 1, call, passed..., a.text);
        case Kind::Int: return WithArguments(args, index + 1, call, passed..., a.i);
        case Kind::Unsigned: return WithArguments(args, index + 1, call, passed..., a.u);
      }
    }
  }
  call(passed...);
}

// A buffer of exactly `units` units, filled with a marker, so that a write
// beyond it is an overflow and an unwritten unit can be told apart.
struct Buffer {
  explicit Buffer(std::size_t units) : size(units), data(std::make_unique<char16_t[]>(units == 0 ? 1 : units)) {
    for (std::size_t i = 0; i < (units == 0 ? 1 : units); ++i) data[i] = kMarker;
  }
  static constexpr char16_t kMarker = 0xFEFE;
  std::size_t size;
  std::unique_ptr<char16_t[]> data;
};

std::size_t PickBufferSize(FuzzedDataProvider& in) {
  switch (in.ConsumeIntegralInRange<int>(0, 7)) {
    case 0: return 0;
    case 1: return 1;
    case 2: return in.ConsumeIntegralInRange<std::size_t>(700, kLargestBuffer);
    default: return in.ConsumeIntegralInRange<std::size_t>(2, 300);
  }
}

// What a bounded formatter must have left in `buffer`: the first `length`
// units of the expected text and a terminator.
void CheckWritten(const Buffer& buffer, std::size_t length, const std::u16string& expected,
                  const char* who) {
  const std::u16string written(buffer.data.get(), length);
  KORV_FUZZ_CHECK(written == expected.substr(0, length), "%s wrote '%s', expected '%s'", who,
                  Show(written).c_str(), Show(expected.substr(0, length)).c_str());
  KORV_FUZZ_CHECK(buffer.data[length] == 0, "%s left no terminator after %zu units", who, length);
}

void Check(const std::u16string& format, const std::vector<Arg>& args, const std::u16string& expected,
           bool bad, std::size_t cch, const std::string* narrow) {
  Buffer strsafe(cch);
  Buffer wsprintf(cch);
  HResult hr = 0;
  int written = 0;
  sim::Machine& machine = sim::Machine::Get();
  machine.kernel.debugOutput.clear();

  auto call = [&](auto... a) {
    hr = StringCchPrintfW(cch == 0 ? nullptr : strsafe.data.get(), cch, format.c_str(), a...);
    written = wsprintfW(wsprintf.data.get(), cch, format.c_str(), a...);
    if (narrow != nullptr) trace(narrow->c_str(), a...);
  };
  WithArguments(args, 0, call);

  // StringCchPrintfW: whole text and S_OK, or the first cch-1 units.
  if (cch == 0) {
    KORV_FUZZ_CHECK(hr == E_INVALIDARG, "size 0 gave 0x%08x", static_cast<unsigned>(hr));
  } else {
    const bool fits = !bad && expected.size() <= cch - 1;
    const std::size_t length = std::min(expected.size(), cch - 1);
    KORV_FUZZ_CHECK(hr == (fits ? S_OK : STRSAFE_E_INSUFFICIENT_BUFFER),
                    "StringCchPrintfW(%zu, '%s') gave 0x%08x", cch, Show(format).c_str(),
                    static_cast<unsigned>(hr));
    CheckWritten(strsafe, length, expected, "StringCchPrintfW");
  }

  // wsprintfW: at most min(cch, 1024) units with the terminator.
  if (cch == 0) {
    KORV_FUZZ_CHECK(written == 0 && wsprintf.data[0] == Buffer::kMarker, "wsprintfW wrote into size 0");
  } else {
    const std::size_t room = std::min(cch, WSPRINTF_MAX_CCH) - 1;
    const std::size_t length = std::min(expected.size(), room);
    KORV_FUZZ_CHECK(written == static_cast<int>(length), "wsprintfW returned %d, expected %zu", written,
                    length);
    CheckWritten(wsprintf, length, expected, "wsprintfW");
  }

  // trace: one whole line and a separate line feed, or nothing at all.
  if (narrow != nullptr) {
    const auto& out = machine.kernel.debugOutput;
    const bool writes = narrow->size() <= kTraceFormatLimit && !bad && expected.size() <= kTraceLineLimit;
    if (!writes) {
      KORV_FUZZ_CHECK(out.empty(), "trace wrote %zu entries for a line it must drop", out.size());
    } else {
      KORV_FUZZ_CHECK(out.size() == 2, "trace wrote %zu entries", out.size());
      const std::u16string line = expected.substr(0, expected.find(u'\0'));
      KORV_FUZZ_CHECK(out[0] == line, "trace wrote '%s', expected '%s'", Show(out[0]).c_str(),
                      Show(line).c_str());
      KORV_FUZZ_CHECK(out[1] == u"\n", "trace line not followed by a line feed");
    }
  }
}

// Replaces the '%' of every directive that would read an argument by '#',
// by the grammar of common/format.h, and returns the text the engine must
// produce: everything up to the first remaining directive (unknown), with
// "%%" as '%'. *bad tells whether such a directive is there.
template <typename Unit>
std::u16string NeutraliseAndExpect(std::basic_string<Unit>& format, bool* bad) {
  auto digit = [](Unit c) { return c >= '0' && c <= '9'; };
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') continue;
    if (i + 1 < format.size() && format[i + 1] == '%') {
      ++i;
      continue;
    }
    std::size_t p = i + 1;
    while (p < format.size() && (format[p] == '-' || format[p] == '0')) ++p;
    bool fits = true;
    for (int field = 0; field < 2; ++field) {
      std::uint64_t value = 0;
      while (p < format.size() && digit(format[p])) {
        value = value * 10 + static_cast<std::uint64_t>(format[p] - '0');
        if (value > kMaxField) fits = false, value = kMaxField + 1;
        ++p;
      }
      if (field == 0 && p < format.size() && format[p] == '.') {
        ++p;
      } else {
        break;
      }
    }
    bool prefix = false;
    if (p < format.size() && (format[p] == 'w' || format[p] == 'l')) prefix = true, ++p;
    if (!fits || p >= format.size()) continue;
    const Unit c = format[p];
    const bool takesArgument = c == 's' || c == 'c' ||
                               (!prefix && (c == 'd' || c == 'i' || c == 'u' || c == 'x' || c == 'X'));
    if (takesArgument) format[i] = '#';
  }

  std::u16string expected;
  *bad = false;
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') {
      expected += static_cast<char16_t>(static_cast<std::make_unsigned_t<Unit>>(format[i]));
    } else if (i + 1 < format.size() && format[i + 1] == '%') {
      expected += u'%';
      ++i;
    } else {
      *bad = true;
      break;
    }
  }
  return expected;
}

// Units the ANSI code page (1252) holds as the byte of the same value, so a
// narrow format made of them converts to the same wide format.
bool SameInAnsi(char16_t c) { return c < 0x80 || (c >= 0xA0 && c <= 0xFF); }

void RunRaw(FuzzedDataProvider& in) {
  const std::size_t cch = PickBufferSize(in);
  const bool wide = in.ConsumeBool();
  const std::string bytes = in.ConsumeRemainingBytesAsString();
  std::u16string format = wide ? UnitsFrom(bytes) : CompactUnitsFrom(bytes);
  format = format.substr(0, format.find(u'\0'));
  bool bad = false;
  std::u16string expected = NeutraliseAndExpect(format, &bad);
  if (expected.size() > kCap) expected.resize(kCap);

  // The narrow format for trace: the same units where all are ASCII.
  std::string narrow;
  bool ascii = true;
  for (char16_t c : format) {
    if (!SameInAnsi(c)) ascii = false;
    narrow += static_cast<char>(c);
  }
  Check(format, {}, expected, bad, cch, ascii ? &narrow : nullptr);

  // Any narrow bytes at all go through the code-page conversion first;
  // only the shape of the result is checked for those.
  std::string anyBytes = bytes.substr(0, bytes.find('\0'));
  bool anyBad = false;
  NeutraliseAndExpect(anyBytes, &anyBad);
  sim::Machine::Get().kernel.debugOutput.clear();
  trace(anyBytes.c_str());
  const auto& out = sim::Machine::Get().kernel.debugOutput;
  const bool writes = !anyBad && anyBytes.size() <= kTraceFormatLimit;
  KORV_FUZZ_CHECK(out.size() == (writes ? 2u : 0u) && (!writes || out[1] == u"\n"),
                  "trace of %zu raw bytes wrote %zu entries", anyBytes.size(), out.size());
}

void RunStructured(FuzzedDataProvider& in) {
  const bool asciiOnly = in.ConsumeBool();
  const std::size_t cch = PickBufferSize(in);
  Plan plan = BuildPlan(in, asciiOnly);
  std::string narrow;
  bool ascii = true;
  for (char16_t c : plan.format) {
    if (!SameInAnsi(c)) ascii = false;
    narrow += static_cast<char>(c);
  }
  Check(plan.format, plan.args, plan.expected, plan.bad, cch, ascii ? &narrow : nullptr);
}

}  // namespace
}  // namespace korv::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace korv;
  if (size == 0) return 0;
  FuzzedDataProvider in(data + 1, size - 1);
  if (data[0] & 1) {
    fuzz::RunRaw(in);
  } else {
    fuzz::RunStructured(in);
  }
  fuzz::EndInput();
  return 0;
}

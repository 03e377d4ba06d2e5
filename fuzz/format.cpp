// Fuzz target: the formatting engine, through StringCchPrintfW, wsprintfW
// and trace.
//
// Variadic calls cannot take arguments made up at run time, and an argument
// of the wrong type for its directive is undefined behaviour that would hide
// real findings. So the format is built from pieces the input picks
// (literal text, "%%", directives of every supported kind with flags, width,
// precision and prefix, and now and then a directive the engine does not
// know), and each directive is passed an argument of exactly the type it
// reads. A string argument with a precision may be an array of exactly that
// many units without a terminator: the engine promises to read no further,
// and AddressSanitizer holds it to that.
//
// Each call is made with a destination buffer of exactly the size passed,
// so a write past the bound is caught. The results must keep the bounds and
// agree with each other: the text a small buffer gets is the start of the
// text a large one gets, terminated; the return codes say whether it was cut.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/strsafe.h"
#include "common/trace.h"
#include "fuzz_support.h"
#include "platform/sim/machine.h"

namespace korv::fuzz {
namespace {

constexpr std::size_t kWhole = 8192;  // larger than any text a plan can make but a field too wide
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

struct Plan {
  std::u16string format;
  std::vector<Arg> args;
  bool bad = false;  // an unknown directive ends the text
  std::vector<std::unique_ptr<char16_t[]>> strings;
};

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
    case 2: return in.ConsumeIntegralInRange<std::uint64_t>(200, 1150);
    default: return in.ConsumeIntegralInRange<std::uint64_t>(0, 40);
  }
}

void AddDirective(Plan& plan, FuzzedDataProvider& in) {
  static constexpr char16_t kConversions[] = u"scdiuxX";
  const char16_t conversion = kConversions[in.ConsumeIntegralInRange<int>(0, 6)];
  std::u16string form = u"%";
  for (int flags = in.ConsumeIntegralInRange<int>(0, 3); flags > 0; --flags) form += in.ConsumeBool() ? u'-' : u'0';
  const std::uint64_t width = in.ConsumeBool() ? PickField(in) : 0;
  if (width != 0) AppendNumber(form, width);
  std::uint64_t precision = 0;
  const bool hasPrecision = conversion != u'c' && in.ConsumeBool();
  if (hasPrecision) {
    precision = PickField(in);
    form += u'.';
    form.append(in.ConsumeIntegralInRange<int>(0, 2), u'0');  // leading zeros do not change it
    AppendNumber(form, precision);
  }
  if (conversion == u's' || conversion == u'c') form += in.PickValueInArray<std::u16string>({u"", u"w", u"l"});
  form += conversion;
  plan.format += form;
  if (width > kMaxField || precision > kMaxField) {
    plan.bad = true;  // too large a field is an unknown directive: it takes no argument
    return;
  }
  Arg arg;
  if (conversion == u's') {
    arg.kind = Kind::Text;
    const bool unterminated = hasPrecision && precision <= 300 && in.ConsumeBool();
    const std::u16string units = CompactUnitsFrom(
        in.ConsumeBytesAsString(unterminated ? static_cast<std::size_t>(precision) : in.ConsumeIntegralInRange<int>(0, 40)));
    const std::size_t size = unterminated ? static_cast<std::size_t>(precision) : units.size() + 1;
    auto block = std::make_unique<char16_t[]>(size == 0 ? 1 : size);
    for (std::size_t i = 0; i < size; ++i) block[i] = i < units.size() ? units[i] : (unterminated ? u'~' : 0);
    arg.text = in.ConsumeIntegralInRange<int>(0, 5) == 0 ? nullptr : block.get();
    plan.strings.push_back(std::move(block));
  } else if (conversion == u'u' || conversion == u'x' || conversion == u'X') {
    arg.kind = Kind::Unsigned;
    arg.u = in.ConsumeIntegral<unsigned>();
  } else {
    arg.i = in.ConsumeIntegral<int>();
    // A %c of 0 would end the text early for the comparisons below.
    if (conversion == u'c' && static_cast<char16_t>(arg.i) == 0) arg.i = '0';
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

Plan BuildPlan(FuzzedDataProvider& in) {
  Plan plan;
  bool unknownUsed = false;
  for (int pieces = in.ConsumeIntegralInRange<int>(0, 12); pieces > 0 && in.remaining_bytes() > 0; --pieces) {
    const int kind = in.ConsumeIntegralInRange<int>(0, 9);
    if (kind < 3) {
      // Literal text without '%' and without a terminator inside it.
      for (char16_t c : CompactUnitsFrom(in.ConsumeBytesAsString(in.ConsumeIntegralInRange<int>(1, 24)))) {
        if (c != 0 && c != u'%') plan.format += c;
      }
    } else if (kind == 3) {
      plan.format += u"%%";
    } else if (kind == 4 && !unknownUsed) {
      unknownUsed = plan.bad = true;
      plan.format += in.PickValueInArray(kUnknownDirectives);
    } else if (plan.args.size() < kMaxArgs) {
      AddDirective(plan, in);
    }
  }
  return plan;
}

// Calls `call` with the plan's arguments, each with its own type.
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

void Run(FuzzedDataProvider& in) {
  const std::size_t cch = in.PickValueInArray<std::size_t>({0, 1, 2, 7, 64, 255, 256, 1023, 1024, 1025});
  const Plan plan = BuildPlan(in);
  std::string narrow;
  bool ascii = true;  // the narrow format for trace: the same units where all are ASCII
  for (char16_t c : plan.format) {
    ascii = ascii && c < 0x80;
    narrow += static_cast<char>(c);
  }
  // Buffers of exactly their size, filled with a marker: a write beyond is
  // an overflow, an unwritten unit shows.
  constexpr char16_t kMarker = 0xFEFE;
  auto whole = std::make_unique<char16_t[]>(kWhole);
  auto small = std::make_unique<char16_t[]>(cch + 1);
  auto wsp = std::make_unique<char16_t[]>(cch + 1);
  std::fill(small.get(), small.get() + cch + 1, kMarker);
  std::fill(wsp.get(), wsp.get() + cch + 1, kMarker);
  HResult wholeHr = 0, hr = 0;
  int written = 0;
  sim::Machine& machine = sim::Machine::Get();
  machine.kernel.debugOutput.clear();
  auto call = [&](auto... a) {
    wholeHr = StringCchPrintfW(whole.get(), kWhole, plan.format.c_str(), a...);
    hr = StringCchPrintfW(cch == 0 ? nullptr : small.get(), cch, plan.format.c_str(), a...);
    written = wsprintfW(wsp.get(), cch, plan.format.c_str(), a...);
    if (ascii) trace(narrow.c_str(), a...);
  };
  WithArguments(plan.args, 0, call);

  const std::u16string text(whole.get());
  const bool complete = wholeHr == S_OK;
  KORV_FUZZ_CHECK(complete || wholeHr == STRSAFE_E_INSUFFICIENT_BUFFER, "result 0x%08x", static_cast<unsigned>(wholeHr));
  KORV_FUZZ_CHECK(!plan.bad || !complete, "'%s' has an unknown directive but was formatted whole", Show(plan.format).c_str());
  if (cch == 0) {
    KORV_FUZZ_CHECK(hr == E_INVALIDARG && small[0] == kMarker, "size 0 gave 0x%08x", static_cast<unsigned>(hr));
    KORV_FUZZ_CHECK(written == 0 && wsp[0] == kMarker, "wsprintfW wrote into size 0");
  } else {
    // StringCchPrintfW: the whole text and S_OK, or its first cch-1 units.
    const bool fits = complete && text.size() <= cch - 1;
    const std::size_t length = std::min(text.size(), cch - 1);
    KORV_FUZZ_CHECK(hr == (fits ? S_OK : STRSAFE_E_INSUFFICIENT_BUFFER), "size %zu gave 0x%08x", cch, static_cast<unsigned>(hr));
    KORV_FUZZ_CHECK(std::u16string(small.get()) == text.substr(0, length), "size %zu: '%s' is not the start of '%s'", cch,
                    Show(small.get()).c_str(), Show(text).c_str());
    KORV_FUZZ_CHECK(small[cch] == kMarker, "StringCchPrintfW wrote past %zu units", cch);
    // wsprintfW: at most min(cch, 1024) units with the terminator.
    const std::size_t room = std::min(cch, WSPRINTF_MAX_CCH) - 1;
    KORV_FUZZ_CHECK(written == static_cast<int>(std::min(text.size(), room)) && std::u16string(wsp.get()) == text.substr(0, written),
                    "wsprintfW returned %d for '%s' in %zu units", written, Show(text).c_str(), cch);
    KORV_FUZZ_CHECK(wsp[cch] == kMarker, "wsprintfW wrote past %zu units", cch);
  }
  // trace: one whole line and a separate line feed, or nothing at all.
  if (ascii) {
    const auto& out = machine.kernel.debugOutput;
    const bool writes = narrow.size() <= kTraceFormatLimit && complete && text.size() <= kTraceLineLimit;
    KORV_FUZZ_CHECK(out.size() == (writes ? 2u : 0u), "trace wrote %zu entries", out.size());
    KORV_FUZZ_CHECK(!writes || (out[0] == text.substr(0, text.find(u'\0')) && out[1] == u"\n"), "trace wrote '%s' for '%s'",
                    Show(out[0]).c_str(), Show(text).c_str());
  }
}

}  // namespace
}  // namespace korv::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace korv;
  FuzzedDataProvider in(data, size);
  fuzz::Run(in);
  fuzz::EndInput();
  return 0;
}

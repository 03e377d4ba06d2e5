// Fuzz target: StringCchPrintfW, wsprintfW and trace over built formats with typed arguments, into exact-size buffers.
#include <vector>

#include "common/strsafe.h"
#include "common/trace.h"
#include "fuzz_support.h"

namespace korv::fuzz {

constexpr std::size_t kWhole = 8192, kMaxArgs = 5;
constexpr std::uint64_t kMaxField = 2147483647;

struct Arg { char kind; const char16_t* text; int i; unsigned u; };  // kind: 's' text, 'i' int, 'u' unsigned
struct Plan { std::u16string format; std::vector<Arg> args; bool bad = false; std::vector<std::vector<char16_t>> strings; };

std::u16string Digits(std::uint64_t value) { const std::string d = std::to_string(value); return {d.begin(), d.end()}; }

// Mostly small, sometimes past any buffer, the largest accepted, or one too large.
std::uint64_t PickField(FuzzedDataProvider& in) {
  const int pick = in.ConsumeIntegralInRange<int>(0, 9);
  return pick == 0 ? kMaxField : pick == 1 ? kMaxField + 1 + in.ConsumeIntegralInRange<std::uint64_t>(0, 1u << 20)
         : in.ConsumeIntegralInRange<std::uint64_t>(pick == 2 ? 200 : 0, pick == 2 ? 1150 : 40);
}

void AddDirective(Plan& plan, FuzzedDataProvider& in) {
  const char16_t conversion = u"scdiuxX"[in.ConsumeIntegralInRange<int>(0, 6)];
  std::u16string form = u"%";
  for (int flags = in.ConsumeIntegralInRange<int>(0, 3); flags > 0; --flags) form += in.ConsumeBool() ? u'-' : u'0';
  const std::uint64_t width = in.ConsumeBool() ? PickField(in) : 0;
  if (width != 0) form += Digits(width);
  const bool hasPrecision = conversion != u'c' && in.ConsumeBool();
  const std::uint64_t precision = hasPrecision ? PickField(in) : 0;
  if (hasPrecision) form.append(u".").append(in.ConsumeIntegralInRange<int>(0, 2), u'0') += Digits(precision);
  if (conversion == u's' || conversion == u'c') form += in.PickValueInArray<std::u16string>({u"", u"w", u"l"});
  plan.format += form + conversion;
  if (width > kMaxField || precision > kMaxField) return void(plan.bad = true);  // unknown: takes no argument
  Arg arg{conversion == u's' ? 's' : conversion == u'u' || conversion == u'x' || conversion == u'X' ? 'u' : 'i', nullptr, 0, 0};
  if (arg.kind == 's') {
    const bool unterminated = hasPrecision && precision <= 300 && in.ConsumeBool();
    const std::u16string units = CompactUnitsFrom(
        in.ConsumeBytesAsString(unterminated ? static_cast<std::size_t>(precision) : in.ConsumeIntegralInRange<int>(0, 40)));
    const std::size_t size = unterminated ? static_cast<std::size_t>(precision) : units.size() + 1;
    // Unterminated: exactly `precision` units, which the engine must not read past.
    std::vector<char16_t>& block = plan.strings.emplace_back(std::max<std::size_t>(size, 1), unterminated ? u'~' : 0);
    std::copy(units.begin(), units.end(), block.begin());
    arg.text = in.ConsumeIntegralInRange<int>(0, 5) == 0 ? nullptr : block.data();
  } else {
    arg.u = in.ConsumeIntegral<unsigned>();
    arg.i = conversion == u'c' && static_cast<char16_t>(arg.u) == 0 ? '0' : static_cast<int>(arg.u);  // 0 would end the text
  }
  plan.args.push_back(arg);
}

// Each is rejected within its own characters, whatever follows.
constexpr const char16_t* kUnknownDirectives[] = {u"%p", u"%S", u"%+d", u"%#x", u"% d", u"%*d", u"%I64d", u"%lld", u"%hd", u"%wd",
    u"%lx", u"%f", u"%-0q", u"%.-3d", u"%\u00e9", u"%Lws", u"%n", u"%2147483648d", u"%.99999999999ws"};

Plan BuildPlan(FuzzedDataProvider& in) {
  Plan plan;
  bool unknownUsed = false;
  for (int pieces = in.ConsumeIntegralInRange<int>(0, 12); pieces > 0 && in.remaining_bytes() > 0; --pieces) {
    const int kind = in.ConsumeIntegralInRange<int>(0, 9);
    if (kind < 3) {  // text without '%' or a terminator
      for (char16_t c : TextFrom(in, 24)) plan.format += c == u'%' ? u'_' : c;
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
void WithArguments(const std::vector<Arg>& args, Call& call, Passed... passed) {
  if constexpr (sizeof...(Passed) < kMaxArgs) {
    if (sizeof...(Passed) < args.size()) {
      const Arg& a = args[sizeof...(Passed)];
      if (a.kind == 's') return WithArguments(args, call, passed..., a.text);
      if (a.kind == 'u') return WithArguments(args, call, passed..., a.u);
      return WithArguments(args, call, passed..., a.i);
    }
  }
  call(passed...);
}

void Run(FuzzedDataProvider& in) {
  const std::size_t cch = in.PickValueInArray<std::size_t>({0, 1, 2, 7, 64, 255, 256, 1023, 1024, 1025});
  const Plan plan = BuildPlan(in);
  const bool ascii = std::all_of(plan.format.begin(), plan.format.end(), [](char16_t c) { return c < 0x80; });
  const std::string narrow(plan.format.begin(), plan.format.end());  // trace's format, where all units are ASCII
  constexpr char16_t kMarker = 0xFEFE;  // shows an unwritten unit
  std::vector<char16_t> whole(kWhole), small(cch + 1, kMarker), wsp(cch + 1, kMarker);
  HResult wholeHr = 0, hr = 0;
  int written = 0;
  sim::Machine::Get().kernel.debugOutput.clear();
  auto call = [&](auto... a) {
    wholeHr = StringCchPrintfW(whole.data(), kWhole, plan.format.c_str(), a...);
    hr = StringCchPrintfW(cch == 0 ? nullptr : small.data(), cch, plan.format.c_str(), a...);
    written = wsprintfW(wsp.data(), cch, plan.format.c_str(), a...);
    if (ascii) trace(narrow.c_str(), a...);
  };
  WithArguments(plan.args, call);

  const std::u16string text(whole.data());
  const bool complete = wholeHr == S_OK;
  KORV_FUZZ_CHECK((complete || wholeHr == STRSAFE_E_INSUFFICIENT_BUFFER) && !(plan.bad && complete), "'%s' gave 0x%08x",
                  Show(plan.format).c_str(), static_cast<unsigned>(wholeHr));
  if (cch == 0) {
    KORV_FUZZ_CHECK(hr == E_INVALIDARG && small[0] == kMarker && written == 0 && wsp[0] == kMarker, "size 0 was written");
  } else {
    // StringCchPrintfW: the whole text and S_OK, or its first cch-1 units; wsprintfW: at most min(cch, 1024) with the terminator.
    KORV_FUZZ_CHECK(hr == (complete && text.size() < cch ? S_OK : STRSAFE_E_INSUFFICIENT_BUFFER), "size %zu gave 0x%08x", cch, static_cast<unsigned>(hr));
    KORV_FUZZ_CHECK(std::u16string(small.data()) == text.substr(0, cch - 1), "size %zu: '%s' is not the start of '%s'", cch,
                    Show(small.data()).c_str(), Show(text).c_str());
    const std::size_t room = std::min(cch, WSPRINTF_MAX_CCH) - 1;
    KORV_FUZZ_CHECK(written == static_cast<int>(std::min(text.size(), room)) && std::u16string(wsp.data()) == text.substr(0, written),
                    "wsprintfW returned %d for '%s' in %zu units", written, Show(text).c_str(), cch);
    KORV_FUZZ_CHECK(small[cch] == kMarker && wsp[cch] == kMarker, "a write past %zu units", cch);
  }
  // trace: one whole line (up to a terminator from %c) and a line feed, or nothing.
  if (ascii) CheckTraced(text, narrow.size() <= 255 && complete && text.size() <= kTraceLineLimit);
}

}  // namespace korv::fuzz

KORV_FUZZ_TARGET(korv::fuzz::Run)

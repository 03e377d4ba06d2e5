// What the callers of each message pass to wsprintfW, and a reader of the
// %-directives of a message, so tests can check that every language's text
// can be filled with those arguments.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/resource_ids.h"

namespace korv::test {

// The kind of argument a directive consumes.
enum class Arg { Int, Int64, Pointer, Char, WideString, NarrowString };

inline const char* ArgName(Arg a) {
  switch (a) {
    case Arg::Int: return "int";
    case Arg::Int64: return "int64";
    case Arg::Pointer: return "pointer";
    case Arg::Char: return "char";
    case Arg::WideString: return "wide string";
    case Arg::NarrowString: return "narrow string";
  }
  return "?";
}

struct Directive {
  Arg kind;
  char conversion;  // d, i, u, x, X, s, S, c, C, p
};

// The directives of a wsprintfW format, in order: %[-][#][0][width][.precision]
// [h|l|w|I64]type, and %% for a percent sign. Empty optional (and a reason)
// for anything wsprintfW would not take as a directive, such as a lone %.
inline std::optional<std::vector<Directive>> ParseDirectives(std::u16string_view f, std::string* why = nullptr) {
  std::vector<Directive> out;
  auto fail = [&](const std::string& reason) {
    if (why != nullptr) *why = reason;
    return std::nullopt;
  };
  for (std::size_t i = 0; i < f.size(); ++i) {
    if (f[i] != u'%') continue;
    const std::size_t start = i++;
    if (i < f.size() && f[i] == u'%') continue;
    while (i < f.size() && (f[i] == u'-' || f[i] == u'#' || f[i] == u'0')) ++i;
    while (i < f.size() && f[i] >= u'0' && f[i] <= u'9') ++i;
    if (i < f.size() && f[i] == u'.') {
      ++i;
      while (i < f.size() && f[i] >= u'0' && f[i] <= u'9') ++i;
    }
    char size = 0;
    if (i < f.size() && (f[i] == u'h' || f[i] == u'l' || f[i] == u'w')) {
      size = static_cast<char>(f[i++]);
    } else if (f.substr(i, 3) == u"I64") {
      size = '6';
      i += 3;
    }
    if (i >= f.size()) return fail("directive at " + std::to_string(start) + " has no type");
    const char16_t t = f[i];
    Arg kind;
    switch (t) {
      case u'd': case u'i': case u'u': case u'x': case u'X':
        kind = size == '6' ? Arg::Int64 : Arg::Int;
        break;
      case u's':
        kind = size == 'h' ? Arg::NarrowString : Arg::WideString;
        break;
      case u'S':
        kind = (size == 'l' || size == 'w') ? Arg::WideString : Arg::NarrowString;
        break;
      case u'c': case u'C':
        kind = Arg::Char;
        break;
      case u'p':
        kind = Arg::Pointer;
        break;
      default:
        return fail("unknown directive type at " + std::to_string(start));
    }
    if (size == '6' && kind != Arg::Int64) return fail("I64 on a non-integer directive");
    out.push_back({kind, static_cast<char>(t)});
  }
  return out;
}

inline std::vector<Arg> KindsOf(const std::vector<Directive>& directives) {
  std::vector<Arg> kinds;
  for (const Directive& d : directives) kinds.push_back(d.kind);
  return kinds;
}

// The arguments each message's callers pass, in order (the windows format
// them with wsprintfW; a message without arguments is shown as it is).
inline const std::map<int, std::vector<Arg>>& CallerArguments() {
  using A = Arg;
  static const std::map<int, std::vector<Arg>> table = {
      {IDS_DEVICE_NOT_FOUND, {}},
      {IDS_MESSAGE_CAPTION, {}},
      {IDS_PRINTER_INSTALLED, {A::WideString, A::WideString}},  // printer name, port
      {IDS_INSTALL_FAILED, {A::Int}},                        // last error
      {IDS_NOTHING_TO_REMOVE, {}},
      {IDS_TREE_PACKAGE, {A::WideString, A::WideString, A::WideString, A::WideString}},
      {IDS_TREE_DRIVER_LIST, {}},
      {IDS_TREE_DRIVER, {A::WideString, A::WideString, A::Int, A::Int, A::Int, A::Int, A::WideString}},
      {IDS_TREE_NO_DRIVER, {}},
      {IDS_TREE_PRINTER, {A::WideString, A::WideString, A::WideString}},
      {IDS_TREE_NO_PRINTER, {}},
      {IDS_STATUS_REMOVED, {}},
      {IDS_STATUS_FAILED, {A::Int}},  // error code or HRESULT
      {IDS_UNINSTALL_FAILED, {}},
      {IDS_UNINSTALLED, {}},
      {IDS_TREE_FOLDER, {A::WideString}},
      {IDS_PRINTER_FOUND, {A::WideString, A::WideString}},  // printer name, port
      {IDS_DONE, {}},
      {IDS_SEARCHING, {}},
  };
  return table;
}

// Empty when a translation of message `id` can be filled by its callers and
// shows at least what the English text shows; else the reason.
inline std::string CheckPlaceholders(int id, std::u16string_view english, std::u16string_view text) {
  const auto& callers = CallerArguments();
  const auto found = callers.find(id);
  if (found == callers.end()) return "no caller arguments known for id " + std::to_string(id);
  const std::vector<Arg>& passed = found->second;
  std::string why;
  const auto e = ParseDirectives(english, &why);
  if (!e) return "English text: " + why;
  const auto t = ParseDirectives(text, &why);
  if (!t) return why;
  if (passed.empty() && text.find(u'%') != std::u16string_view::npos) {
    return "a text without arguments must not contain %";
  }
  if (t->size() > passed.size()) {
    return std::to_string(t->size()) + " placeholders, callers pass " + std::to_string(passed.size());
  }
  for (std::size_t i = 0; i < t->size(); ++i) {
    if ((*t)[i].kind != passed[i]) {
      return "placeholder " + std::to_string(i + 1) + " takes a " + ArgName((*t)[i].kind) +
             ", callers pass a " + ArgName(passed[i]);
    }
  }
  if (t->size() < e->size()) {
    return "shows " + std::to_string(t->size()) + " arguments, English shows " + std::to_string(e->size());
  }
  return {};
}

// A minimal wsprintfW for the directives the messages use (%ws, %s, %d, %x,
// %%), to measure formatted lengths.
struct FormatArg {
  std::u16string text;
  std::int32_t number = 0;
};

inline std::u16string FormatMessage(std::u16string_view f, const std::vector<FormatArg>& args) {
  std::u16string out;
  std::size_t next = 0;
  for (std::size_t i = 0; i < f.size(); ++i) {
    if (f[i] != u'%') {
      out.push_back(f[i]);
      continue;
    }
    ++i;
    if (i < f.size() && f[i] == u'%') {
      out.push_back(u'%');
      continue;
    }
    if (i < f.size() && f[i] == u'w') ++i;
    const FormatArg a = next < args.size() ? args[next] : FormatArg{};
    ++next;
    std::string digits;
    if (i < f.size() && f[i] == u's') {
      out += a.text;
      continue;
    }
    if (i < f.size() && f[i] == u'x') {
      char buf[16];
      std::snprintf(buf, sizeof buf, "%x", static_cast<std::uint32_t>(a.number));
      digits = buf;
    } else {
      digits = std::to_string(a.number);
    }
    out.append(digits.begin(), digits.end());
  }
  return out;
}

}  // namespace korv::test

#include "tools/korvsim/json_reader.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "common/text_util.h"

namespace korv::korvsim {

namespace {

const char* KindOf(const Json& v) {
  switch (v.type()) {
    case Json::value_t::null: return "null";
    case Json::value_t::object: return "an object";
    case Json::value_t::array: return "an array";
    case Json::value_t::string: return "a string";
    case Json::value_t::boolean: return "true or false";
    case Json::value_t::number_integer:
    case Json::value_t::number_unsigned:
    case Json::value_t::number_float: return "a number";
    default: return "something else";
  }
}

}  // namespace

const Field& Field::Object(std::initializer_list<const char*> allowed) const {
  if (!value_->is_object()) Fail(std::string("expected an object, found ") + KindOf(*value_));
  for (auto it = value_->begin(); it != value_->end(); ++it) {
    const bool known = std::any_of(allowed.begin(), allowed.end(),
                                   [&](const char* k) { return it.key() == k; });
    if (!known) {
      std::string list;
      for (const char* k : allowed) list += std::string(list.empty() ? "" : ", ") + k;
      throw ScenarioError(path_.empty() ? it.key() : path_ + "." + it.key(),
                          "unknown field (known here: " + list + ")");
    }
  }
  return *this;
}

Field Field::operator[](const char* key) const {
  if (!value_->is_object()) Fail(std::string("expected an object, found ") + KindOf(*value_));
  const std::string where = path_.empty() ? key : path_ + "." + key;
  auto it = value_->find(key);
  if (it == value_->end()) throw ScenarioError(where, "missing");
  return Field(*it, where);
}

std::vector<Field> Field::Items() const {
  if (!value_->is_array()) Fail(std::string("expected an array, found ") + KindOf(*value_));
  std::vector<Field> items;
  for (std::size_t i = 0; i < value_->size(); ++i) {
    items.emplace_back((*value_)[i], path_ + "[" + std::to_string(i) + "]");
  }
  return items;
}

std::vector<std::pair<std::string, Field>> Field::Members() const {
  if (!value_->is_object()) Fail(std::string("expected an object, found ") + KindOf(*value_));
  std::vector<std::pair<std::string, Field>> members;
  for (auto it = value_->begin(); it != value_->end(); ++it) {
    members.emplace_back(it.key(), Field(*it, path_.empty() ? it.key() : path_ + "." + it.key()));
  }
  return members;
}

std::string Field::Utf8() const {
  if (!value_->is_string()) Fail(std::string("expected a string, found ") + KindOf(*value_));
  return value_->get<std::string>();
}

Text Field::Text16() const { return Utf8ToUtf16(Utf8()); }

std::vector<Text> Field::TextList() const {
  std::vector<Text> list;
  for (const Field& item : Items()) list.push_back(item.Text16());
  return list;
}

bool Field::Bool() const {
  if (!value_->is_boolean()) Fail(std::string("expected true or false, found ") + KindOf(*value_));
  return value_->get<bool>();
}

std::uint64_t Field::Unsigned(std::uint64_t max) const {
  std::uint64_t v = 0;
  if (value_->is_number_unsigned()) {
    v = value_->get<std::uint64_t>();
  } else if (value_->is_number_integer()) {
    Fail("expected a number of at least 0");
  } else if (value_->is_string()) {
    const std::string s = value_->get<std::string>();
    const bool hex = s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X');
    const std::string digits = hex ? s.substr(2) : s;
    if (digits.empty() || digits.size() > (hex ? 16u : 19u)) Fail("expected a number, found \"" + s + "\"");
    for (char c : digits) {
      const bool ok = hex ? std::isxdigit(static_cast<unsigned char>(c)) != 0
                          : std::isdigit(static_cast<unsigned char>(c)) != 0;
      if (!ok) Fail("expected a number (decimal, or hexadecimal after 0x), found \"" + s + "\"");
    }
    v = std::stoull(digits, nullptr, hex ? 16 : 10);
  } else {
    Fail(std::string("expected a number, found ") + KindOf(*value_));
  }
  if (v > max) Fail("expected a number of at most " + std::to_string(max) + ", found " + std::to_string(v));
  return v;
}

std::int32_t Field::Int32() const {
  if (value_->is_number_integer() && !value_->is_number_unsigned()) {
    const auto v = value_->get<std::int64_t>();
    if (v < INT32_MIN) Fail("expected a 32-bit value");
    return static_cast<std::int32_t>(v);
  }
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(Unsigned(UINT32_MAX)));
}

}  // namespace korv::korvsim

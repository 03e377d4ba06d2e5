// Reading a scenario file: JSON values that know where they are in the
// file, so that every mistake is reported once, naming the field.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/types.h"

namespace korv::korvsim {

// Objects keep the order of the file, so that lists built from them do too.
using Json = nlohmann::ordered_json;

// A mistake in the scenario: `where` is the field's path
// ("machine.usbPrinters[1].portNumber"), `what` what is wrong with it.
struct ScenarioError : std::runtime_error {
  ScenarioError(std::string where, std::string what)
      : std::runtime_error(where.empty() ? what : where + ": " + what) {}
};

class Field {
 public:
  Field(const Json& value, std::string path) : value_(&value), path_(std::move(path)) {}

  const std::string& path() const { return path_; }
  const Json& json() const { return *value_; }
  [[noreturn]] void Fail(const std::string& what) const { throw ScenarioError(path_, what); }

  bool IsObject() const { return value_->is_object(); }
  bool IsArray() const { return value_->is_array(); }
  bool IsString() const { return value_->is_string(); }
  bool IsNumber() const { return value_->is_number(); }

  // An object whose keys are all among `allowed`; a misspelt key is an
  // error rather than silently ignored.
  const Field& Object(std::initializer_list<const char*> allowed) const;
  bool Has(const char* key) const { return value_->is_object() && value_->contains(key); }
  Field operator[](const char* key) const;  // the member; Has() first for optional ones
  std::vector<Field> Items() const;         // the elements of an array
  // The members of an object, in file order.
  std::vector<std::pair<std::string, Field>> Members() const;

  std::string Utf8() const;  // a string
  Text Text16() const;       // a string, as UTF-16
  std::vector<Text> TextList() const;  // an array of strings
  bool Bool() const;
  // An unsigned integer within [0, max], written as a number or as a
  // string "0x..." (hexadecimal) or of decimal digits.
  std::uint64_t Unsigned(std::uint64_t max = UINT64_MAX) const;
  // A 32-bit value that may also be given negative (HRESULTs).
  std::int32_t Int32() const;

  // Optional members with a default.
  Text TextOr(const char* key, const Text& otherwise) const {
    return Has(key) ? (*this)[key].Text16() : otherwise;
  }
  std::uint64_t UnsignedOr(const char* key, std::uint64_t otherwise, std::uint64_t max = UINT64_MAX) const {
    return Has(key) ? (*this)[key].Unsigned(max) : otherwise;
  }
  bool BoolOr(const char* key, bool otherwise) const { return Has(key) ? (*this)[key].Bool() : otherwise; }

 private:
  const Json* value_;
  std::string path_;
};

}  // namespace korv::korvsim

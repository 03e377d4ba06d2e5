// A small JSON document builder for korvsnap's capture. It builds only what
// a capture needs (objects keep their order, numbers are unsigned or
// signed integers) and prints the document indented like korvsim's own
// --state output, so that both builds write the same bytes for the same
// machine. No exceptions and no library: the Windows build has neither.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/types.h"

namespace korv::snap {

class JsonNode {
 public:
  static JsonNode Object() { return JsonNode(Kind::Object); }
  static JsonNode Array() { return JsonNode(Kind::Array); }
  static JsonNode String(std::string utf8);
  static JsonNode String(const Text& text);
  static JsonNode Number(std::uint64_t value);
  static JsonNode Signed(std::int64_t value);
  static JsonNode Bool(bool value);
  static JsonNode TextList(const std::vector<Text>& texts);

  // Adds a member to an object (in order) or an element to an array.
  JsonNode& Add(std::string key, JsonNode value);
  JsonNode& Push(JsonNode value);
  bool Empty() const { return children_.empty(); }

  // The document, indented by two spaces per level, ending with a line feed
  // when `top` is true.
  std::string Print(bool top = true) const;

 private:
  enum class Kind { Object, Array, Scalar };
  explicit JsonNode(Kind kind) : kind_(kind) {}
  void PrintTo(std::string& out, int depth) const;

  Kind kind_;
  std::string scalar_;  // a scalar already in JSON form: "text", 12, true
  std::vector<std::pair<std::string, JsonNode>> children_;
};

}  // namespace korv::snap

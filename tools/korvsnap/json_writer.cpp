#include "tools/korvsnap/json_writer.h"

#include <cstdio>

#include "common/text_util.h"

namespace korv::snap {

namespace {

std::string Quoted(const std::string& utf8) {
  std::string out = "\"";
  for (unsigned char c : utf8) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char esc[8];
          std::snprintf(esc, sizeof esc, "\\u%04x", static_cast<unsigned>(c));
          out += esc;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

void Indent(std::string& out, int depth) { out.append(static_cast<std::size_t>(depth) * 2, ' '); }

}  // namespace

JsonNode JsonNode::String(std::string utf8) {
  JsonNode n(Kind::Scalar);
  n.scalar_ = Quoted(utf8);
  return n;
}

JsonNode JsonNode::String(const Text& text) { return String(Utf16ToUtf8(text)); }

JsonNode JsonNode::Number(std::uint64_t value) {
  JsonNode n(Kind::Scalar);
  n.scalar_ = std::to_string(value);
  return n;
}

JsonNode JsonNode::Signed(std::int64_t value) {
  JsonNode n(Kind::Scalar);
  n.scalar_ = std::to_string(value);
  return n;
}

JsonNode JsonNode::Bool(bool value) {
  JsonNode n(Kind::Scalar);
  n.scalar_ = value ? "true" : "false";
  return n;
}

JsonNode JsonNode::TextList(const std::vector<Text>& texts) {
  JsonNode list = Array();
  for (const Text& t : texts) list.Push(String(t));
  return list;
}

JsonNode& JsonNode::Add(std::string key, JsonNode value) {
  children_.emplace_back(std::move(key), std::move(value));
  return children_.back().second;
}

JsonNode& JsonNode::Push(JsonNode value) { return Add(std::string(), std::move(value)); }

void JsonNode::PrintTo(std::string& out, int depth) const {
  if (kind_ == Kind::Scalar) {
    out += scalar_;
    return;
  }
  const char open = kind_ == Kind::Object ? '{' : '[';
  const char close = kind_ == Kind::Object ? '}' : ']';
  out += open;
  if (children_.empty()) {
    out += close;
    return;
  }
  out += '\n';
  for (std::size_t i = 0; i < children_.size(); ++i) {
    Indent(out, depth + 1);
    if (kind_ == Kind::Object) out += Quoted(children_[i].first) + ": ";
    children_[i].second.PrintTo(out, depth + 1);
    if (i + 1 < children_.size()) out += ',';
    out += '\n';
  }
  Indent(out, depth);
  out += close;
}

std::string JsonNode::Print(bool top) const {
  std::string out;
  PrintTo(out, 0);
  if (top) out += '\n';
  return out;
}

}  // namespace korv::snap

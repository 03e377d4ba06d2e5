#include "install/split_path.h"

#include <string_view>

namespace korv {

SplitPath SplitPathOf(const char16_t* path) {
  SplitPath parts;
  std::u16string_view rest = path != nullptr ? std::u16string_view(path) : std::u16string_view();
  if (rest.size() >= 2 && rest[1] == u':') {
    parts.drive.assign(rest.substr(0, 2));
    rest.remove_prefix(2);
  }
  const auto lastSeparator = rest.find_last_of(u"\\/");
  if (lastSeparator != std::u16string_view::npos) {
    parts.folder.assign(rest.substr(0, lastSeparator + 1));
    rest.remove_prefix(lastSeparator + 1);
  }
  const auto dot = rest.find_last_of(u'.');
  if (dot != std::u16string_view::npos) {
    parts.extension.assign(rest.substr(dot));
    rest = rest.substr(0, dot);
  }
  parts.name.assign(rest);
  return parts;
}

}  // namespace korv

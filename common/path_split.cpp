#include "common/path_split.h"

namespace korv {

PathViews SplitPathViews(std::u16string_view path) {
  PathViews views;
  std::u16string_view rest = path;
  if (rest.size() >= 2 && rest[1] == u':') {
    views.drive = rest.substr(0, 2);
    rest.remove_prefix(2);
  }
  const auto lastSeparator = rest.find_last_of(u"\\/");
  if (lastSeparator != std::u16string_view::npos) {
    views.folder = rest.substr(0, lastSeparator + 1);
    rest.remove_prefix(lastSeparator + 1);
  }
  views.name = rest;
  const auto lastDot = rest.find_last_of(u'.');
  if (lastDot != std::u16string_view::npos) {
    views.name = rest.substr(0, lastDot);
    views.extension = rest.substr(lastDot);
  }
  return views;
}

bool SplitPathChecked(const char16_t* path, PathPieces* pieces) {
  pieces->drive.clear();
  pieces->folder.clear();
  pieces->name.clear();
  pieces->extension.clear();
  if (path == nullptr) return false;
  const PathViews views = SplitPathViews(path);
  if (views.drive.size() >= pieces->drive.capacity() || views.folder.size() >= pieces->folder.capacity() ||
      views.name.size() >= pieces->name.capacity() ||
      views.extension.size() >= pieces->extension.capacity()) {
    return false;
  }
  pieces->drive.assign(views.drive);
  pieces->folder.assign(views.folder);
  pieces->name.assign(views.name);
  pieces->extension.assign(views.extension);
  return true;
}

SplitPath SplitPathOf(const char16_t* path) {
  SplitPath parts;
  const PathViews views = SplitPathViews(path != nullptr ? std::u16string_view(path) : std::u16string_view());
  parts.drive.assign(views.drive);
  parts.folder.assign(views.folder);
  parts.name.assign(views.name);
  parts.extension.assign(views.extension);
  return parts;
}

}  // namespace korv

#include "app/path_split.h"

#include <string_view>

namespace korv {

namespace {

template <std::size_t N>
bool Fits(std::u16string_view piece) {
  return piece.size() < N;
}

}  // namespace

bool SplitPathChecked(const char16_t* path, PathPieces* pieces) {
  pieces->drive.clear();
  pieces->folder.clear();
  pieces->name.clear();
  pieces->extension.clear();
  if (path == nullptr) return false;

  std::u16string_view rest(path);
  std::u16string_view drive;
  if (rest.size() >= 2 && rest[1] == u':') {
    drive = rest.substr(0, 2);
    rest.remove_prefix(2);
  }
  std::u16string_view folder;
  const auto lastSeparator = rest.find_last_of(u"\\/");
  if (lastSeparator != std::u16string_view::npos) {
    folder = rest.substr(0, lastSeparator + 1);
    rest.remove_prefix(lastSeparator + 1);
  }
  std::u16string_view name = rest;
  std::u16string_view extension;
  const auto lastDot = rest.find_last_of(u'.');
  if (lastDot != std::u16string_view::npos) {
    name = rest.substr(0, lastDot);
    extension = rest.substr(lastDot);
  }

  if (!Fits<3>(drive) || !Fits<256>(folder) || !Fits<260>(name) || !Fits<256>(extension)) {
    return false;
  }
  pieces->drive.assign(drive);
  pieces->folder.assign(folder);
  pieces->name.assign(name);
  pieces->extension.assign(extension);
  return true;
}

}  // namespace korv

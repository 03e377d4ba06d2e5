// Lookups in the generated resource tables (resource_tables.h).
#include "app/res/resource_tables.h"

namespace korv::res {

namespace {

bool HasLanguage(std::uint16_t langId) {
  for (std::size_t i = 0; i < kLanguageCount; ++i) {
    if (kLanguages[i] == langId) return true;
  }
  return false;
}

}  // namespace

std::uint16_t ResolveLanguage(std::uint16_t uiLanguage) {
  if (HasLanguage(uiLanguage)) return uiLanguage;
  const auto primary = static_cast<std::uint16_t>(uiLanguage & 0x3FF);
  if (HasLanguage(primary)) return primary;
  return kFallbackLanguage;
}

const char16_t* FindString(std::uint16_t langId, std::uint16_t id) {
  for (std::size_t i = 0; i < kStringCount; ++i) {
    if (kStrings[i].langId == langId && kStrings[i].id == id) return kStrings[i].text;
  }
  return nullptr;
}

const DialogTemplate* FindDialog(std::uint16_t langId, std::uint16_t dialogId) {
  for (std::size_t i = 0; i < kDialogCount; ++i) {
    if (kDialogs[i].langId == langId && kDialogs[i].dialogId == dialogId) return &kDialogs[i];
  }
  return nullptr;
}

const char16_t* LoadText(std::uint16_t uiLanguage, std::uint16_t id) {
  const char16_t* text = FindString(ResolveLanguage(uiLanguage), id);
  return text != nullptr ? text : FindString(kFallbackLanguage, id);
}

const DialogTemplate* LoadDialog(std::uint16_t uiLanguage, std::uint16_t dialogId) {
  const DialogTemplate* dialog = FindDialog(ResolveLanguage(uiLanguage), dialogId);
  return dialog != nullptr ? dialog : FindDialog(kFallbackLanguage, dialogId);
}

const DialogControl* FindControl(const DialogTemplate& dialog, int controlId) {
  for (std::size_t i = 0; i < dialog.controlCount; ++i) {
    if (dialog.controls[i].id == controlId) return &dialog.controls[i];
  }
  return nullptr;
}

int ImageIdOf(const DialogControl& control) {
  const char16_t* t = control.text;
  if (t == nullptr || t[0] != u'#' || t[1] == 0) return 0;
  int id = 0;
  for (++t; *t != 0; ++t) {
    if (*t < u'0' || *t > u'9' || id > 6553) return 0;
    id = id * 10 + (*t - u'0');
  }
  return id <= 0xFFFF ? id : 0;
}

}  // namespace korv::res

#include "common/string_table.h"

#include "common/globals.h"
#include "platform/ui.h"

namespace korv {

FixedText<260> LoadText(Dword id) {
  FixedText<260> text;
  os::LoadStringW(AppInstance, id, text.data(), static_cast<int>(text.capacity()));
  return text;
}

}  // namespace korv

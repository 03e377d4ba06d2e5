#include "discovery/find_model.h"

#include <string_view>

#include "common/fixed_text.h"
#include "common/trace.h"

namespace korv {
namespace {

// Printers that report a description no row spells: each is looked up
// under the name of the row made for it.
struct Remapping {
  const char16_t* reported;
  const char16_t* searchedAs;
};
constexpr Remapping kRemappings[] = {
    {u"KorvaneKV-W61 Pro", u"Korvane KV-W61_"},
    {u"KorvaneKV-W69 Pro", u"Korvane KV-W69_"},
};

// The two names of a row are formed in buffers of this many units.
constexpr std::size_t kNameSize = 100;

}  // namespace

const ModelEntry* FindModelIn(const ModelEntry* table, const char16_t* description) {
  if (description == nullptr) return nullptr;
  const char16_t* key = description;
  for (const Remapping& remapping : kRemappings) {
    if (std::u16string_view(description) == remapping.reported) {
      key = remapping.searchedAs;
      break;
    }
  }
  const std::u16string_view wanted(key);
  for (const ModelEntry* row = table; row != nullptr && row->model != nullptr; ++row) {
    FixedText<kNameSize> joined;
    joined.format(u"%ws%ws", row->manufacturer, row->model);
    FixedText<kNameSize> spaced;
    spaced.format(u"%ws %ws", row->manufacturer, row->model);
    if (joined == wanted || spaced == wanted) {
      trace("Found model %ws, %ws %ws", description, row->manufacturer, row->model);
      return row;
    }
  }
  trace("Found not model %ws", description);
  return nullptr;
}

const ModelEntry* FindModel(const char16_t* description) {
  return FindModelIn(SupportedModels, description);
}

}  // namespace korv

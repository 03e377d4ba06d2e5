#include "discovery/model_table.h"

namespace korv {

namespace {
constexpr char16_t kKorvane[] = u"Korvane";
}  // namespace

const ModelEntry SupportedModels[kSupportedModelCount + 1] = {
#define KORV_MODEL(model, checksum, options) {kKorvane, model, checksum, options, 0},
#include "discovery/models.def"
#undef KORV_MODEL
    {nullptr, nullptr, 0, 0, 0},
};

namespace {
// Counts the lines of models.def, so that a row added or lost there stops
// the build instead of shifting or dropping the closing row.
constexpr std::size_t kRowsInDefinition = 0
#define KORV_MODEL(model, checksum, options) +1
#include "discovery/models.def"
#undef KORV_MODEL
    ;
static_assert(kRowsInDefinition == kSupportedModelCount,
              "models.def must hold exactly kSupportedModelCount rows");
}  // namespace

}  // namespace korv

// Identifies a printer by its description in the supported-model table.
#pragma once

#include "discovery/model_table.h"

namespace korv {

// The row of SupportedModels that `description` (what a printer reports as
// its "Port Description") names, or null. See FindModelIn.
const ModelEntry* FindModel(const char16_t* description);

// The first row of `table` (ended by a row whose model is null) whose
// manufacturer and model, joined ("KorvaneKV-T100B") or else with one blank
// between them ("Korvane KV-T100B"), equal the description exactly and
// case-sensitively; either name is cut to 99 units before comparing. Two
// descriptions are looked up under another name: "KorvaneKV-W61 Pro" as
// "Korvane KV-W61_" and "KorvaneKV-W69 Pro" as "Korvane KV-W69_".
//
// Traces "Found model <description>, <manufacturer> <model>" or "Found not
// model <description>", with the description as reported. A null
// description gives null and no trace line.
const ModelEntry* FindModelIn(const ModelEntry* table, const char16_t* description);

}  // namespace korv

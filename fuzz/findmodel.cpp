// Fuzz target: FindModel over any descriptions and near misses: the first row answering, and its trace line.
#include "discovery/find_model.h"
#include "discovery/model_table.h"
#include "fuzz_support.h"

namespace korv::fuzz {

bool AnswersTo(const ModelEntry& row, const Text& key) {
  return key == Text(row.manufacturer) + row.model || key == Text(row.manufacturer) + u" " + row.model;
}

Text EditedRowName(FuzzedDataProvider& in, const ModelEntry& row) {
  Text name = Text(row.manufacturer) + (in.ConsumeBool() ? u"" : u" ") + row.model;
  if (in.ConsumeIntegralInRange<int>(0, 9) == 0) name = in.ConsumeBool() ? u"KorvaneKV-W61 Pro" : u"KorvaneKV-W69 Pro";
  for (int edits = in.ConsumeIntegralInRange<int>(0, 3); edits > 0 && !name.empty(); --edits) {
    const std::size_t at = in.ConsumeIntegralInRange<std::size_t>(0, name.size() - 1);
    switch (in.ConsumeIntegralInRange<int>(0, 5)) {
      case 0: name[at] = static_cast<char16_t>(name[at] ^ 0x20); break;  // letter case
      case 1: name.resize(at); break;
      case 2: name.insert(at, 1, u' '); break;
      case 3: name.erase(at, 1); break;
      case 4: name += CompactUnitsFrom(in.ConsumeRandomLengthString(8)); break;
      default: name.insert(at, CompactUnitsFrom(in.ConsumeRandomLengthString(4))); break;
    }
  }
  return name;
}

void Run(FuzzedDataProvider& in) {
  const int mode = in.ConsumeIntegralInRange<int>(0, 3);
  Text description = mode == 0   ? CompactUnitsFrom(in.ConsumeRemainingBytesAsString())
                     : mode == 1 ? UnitsFrom(in.ConsumeRemainingBytesAsString())
                                 : EditedRowName(in, SupportedModels[in.ConsumeIntegralInRange<std::size_t>(0, kSupportedModelCount - 1)]);
  description = description.substr(0, description.find(u'\0'));
  sim::Machine::Get().kernel.debugOutput.clear();
  const ModelEntry* found = FindModel(description.c_str());
  // Two names of printers differ from their rows'.
  Text key = description;
  if (key == u"KorvaneKV-W61 Pro" || key == u"KorvaneKV-W69 Pro") key = u"Korvane " + key.substr(7, 6) + u"_";
  for (const ModelEntry* row = SupportedModels; row != found && row != SupportedModels + kSupportedModelCount; ++row) {
    KORV_FUZZ_CHECK(!AnswersTo(*row, key), "'%s' passed by row %td", Show(description).c_str(), row - SupportedModels);
  }
  KORV_FUZZ_CHECK(found == nullptr || AnswersTo(*found, key), "'%s' gave row %td", Show(description).c_str(), found - SupportedModels);
  const Text line = found != nullptr ? u"Found model " + description + u", " + found->manufacturer + u" " + found->model
                                     : u"Found not model " + description;
  CheckTraced(line, line.size() <= kTraceLineLimit);
}

}  // namespace korv::fuzz

KORV_FUZZ_TARGET(korv::fuzz::Run)

// Fuzz target: identifying a printer by its description.
//
// Descriptions come either straight from the input (any units, any length)
// or as a name of a row of the table with a few edits the input picks
// (case of one unit changed, cut, extended, blank doubled or dropped), so
// that near misses are tried as often as exact hits. The row FindModel
// returns must answer to the description, no earlier row may, and a row's
// own name must be found; exactly the trace line of that outcome must be
// written, unless it is too long for a trace line.
#include <cstdint>
#include <string>

#include "common/globals.h"
#include "discovery/find_model.h"
#include "discovery/model_table.h"
#include "fuzz_support.h"
#include "platform/sim/machine.h"

namespace korv::fuzz {
namespace {

constexpr std::size_t kTraceLineLimit = 767;

// The names a row answers to: manufacturer and model joined or with a
// blank between.
bool AnswersTo(const ModelEntry& row, const Text& key) {
  const Text manufacturer(row.manufacturer);
  return key == manufacturer + row.model || key == manufacturer + u" " + row.model;
}

Text EditedRowName(FuzzedDataProvider& in, const ModelEntry& row) {
  Text name = Text(row.manufacturer) + (in.ConsumeBool() ? u"" : u" ") + row.model;
  if (in.ConsumeIntegralInRange<int>(0, 9) == 0) {
    name = in.ConsumeBool() ? u"KorvaneKV-W61 Pro" : u"KorvaneKV-W69 Pro";
  }
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
  Text description;
  if (mode == 0) {
    description = CompactUnitsFrom(in.ConsumeRemainingBytesAsString());
  } else if (mode == 1) {
    description = UnitsFrom(in.ConsumeRemainingBytesAsString());
  } else {
    description = EditedRowName(in, SupportedModels[in.ConsumeIntegralInRange<std::size_t>(0, kSupportedModelCount - 1)]);
  }
  description = description.substr(0, description.find(u'\0'));

  sim::Machine& machine = sim::Machine::Get();
  machine.kernel.debugOutput.clear();
  const ModelEntry* found = FindModel(description.c_str());
  // A row found answers to the description (after the two renamings), and
  // no row before it does (nor any row, when none is found).
  Text key = description;
  if (key == u"KorvaneKV-W61 Pro") key = u"Korvane KV-W61_";
  if (key == u"KorvaneKV-W69 Pro") key = u"Korvane KV-W69_";
  const ModelEntry* expected = found;
  for (const ModelEntry* row = SupportedModels; row != found && row != SupportedModels + kSupportedModelCount; ++row) {
    KORV_FUZZ_CHECK(!AnswersTo(*row, key), "'%s' passed by row %td", Show(description).c_str(), row - SupportedModels);
  }
  KORV_FUZZ_CHECK(found == nullptr || AnswersTo(*found, key),
                  "'%s' gave row %td", Show(description).c_str(), found != nullptr ? found - SupportedModels : -1);

  const Text line = expected != nullptr ? u"Found model " + description + u", " + expected->manufacturer +
                                              u" " + expected->model
                                        : u"Found not model " + description;
  const auto& out = machine.kernel.debugOutput;
  if (line.size() > kTraceLineLimit) {
    KORV_FUZZ_CHECK(out.empty(), "a trace line of %zu units was written", line.size());
  } else {
    KORV_FUZZ_CHECK(out.size() == 2 && out[0] == line && out[1] == u"\n", "trace for '%s' wrote %zu entries",
                    Show(description).c_str(), out.size());
  }
}

}  // namespace
}  // namespace korv::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace korv;
  FuzzedDataProvider in(data, size);
  fuzz::Run(in);
  fuzz::EndInput();
  return 0;
}

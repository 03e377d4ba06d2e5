#include "sim_fixture.h"

#include "app/res/resource_tables.h"
#include "common/globals.h"
#include "common/text_util.h"
#include "platform/sim/program_resources.h"

namespace korv::test {

namespace {

// Every test binary runs the program with its own texts and dialogs.
const bool kResourcesHanded = (sim::UseProgramResources(res::AsProgramResources()), true);

}  // namespace

void ResetProgramState() { korv::ResetGlobals(); }

std::string U8(std::u16string_view text) { return Utf16ToUtf8(text); }

}  // namespace korv::test

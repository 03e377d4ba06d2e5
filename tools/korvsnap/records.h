// The machine's records in a capture's form: korvsim's scenario fields
// (tools/korvsim/FORMAT.md), and registry values as they are stored.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/handle.h"
#include "platform/spooler.h"
#include "platform/types.h"
#include "tools/korvsnap/json_writer.h"

namespace korv::snap {

// "x86", "x64" ... or the number korvsim also reads.
std::string ArchitectureName(std::uint16_t architecture);
// "running", "stopped" ... or the number.
std::string ServiceStateName(Dword state);

// A registry value as it is stored: its type and bytes.
struct RawValue {
  Dword status = 0;  // of the read: 0 when the value was read
  Dword type = 0;
  std::vector<std::uint8_t> data;
};

RawValue ReadValue(const os::Handle& key, const char16_t* name);
// The text of a REG_SZ value stored the usual way: whole units, one
// terminator at the end and none before it.
bool PlainString(const RawValue& value, Text* text);
// The entries of a REG_MULTI_SZ value stored the usual way.
bool PlainMultiString(const RawValue& value, std::vector<Text>* entries);
// A value of any form, as {"name", "type", "hex"} with its exact bytes.
JsonNode RawValueJson(const char16_t* name, const RawValue& value);

// A driver (every level-8 field) and a queue, leaving out empty texts and
// zero numbers, which are the scenario's defaults.
JsonNode DriverJson(const os::DriverInfo8& driver);
JsonNode QueueJson(const os::PrinterInfo2& queue);

}  // namespace korv::snap

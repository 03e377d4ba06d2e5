#include "tools/korvsnap/records.h"

#include <cstdio>

#include "platform/registry.h"
#include "platform/services.h"

namespace korv::snap {

namespace {

std::string Decimal(std::uint64_t v) { return std::to_string(v); }

std::string RegistryTypeName(Dword type) {
  switch (type) {
    case os::REG_NONE: return "REG_NONE";
    case os::REG_SZ: return "REG_SZ";
    case os::REG_EXPAND_SZ: return "REG_EXPAND_SZ";
    case os::REG_BINARY: return "REG_BINARY";
    case os::REG_DWORD: return "REG_DWORD";
    case os::REG_MULTI_SZ: return "REG_MULTI_SZ";
    case os::REG_QWORD: return "REG_QWORD";
    default: return Decimal(type);
  }
}

std::string Version(std::uint64_t v) {
  return Decimal((v >> 48) & 0xFFFF) + "." + Decimal((v >> 32) & 0xFFFF) + "." + Decimal((v >> 16) & 0xFFFF) +
         "." + Decimal(v & 0xFFFF);
}

std::string Hex(const std::vector<std::uint8_t>& bytes) {
  std::string out;
  char byte[4];
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(byte, sizeof byte, i == 0 ? "%02x" : " %02x", bytes[i]);
    out += byte;
  }
  return out;
}

std::vector<char16_t> Units(const std::vector<std::uint8_t>& data) {
  std::vector<char16_t> units;
  for (std::size_t i = 0; i + 1 < data.size(); i += 2) {
    units.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
  }
  return units;
}

void AddText(JsonNode& j, const char* key, const Text& value) {
  if (!value.empty()) j.Add(key, JsonNode::String(value));
}
void AddList(JsonNode& j, const char* key, const std::vector<Text>& value) {
  if (!value.empty()) j.Add(key, JsonNode::TextList(value));
}
void AddNumber(JsonNode& j, const char* key, std::uint64_t value) {
  if (value != 0) j.Add(key, JsonNode::Number(value));
}

}  // namespace

std::string ArchitectureName(std::uint16_t a) {
  switch (a) {
    case arch::Intel: return "x86";
    case arch::Arm: return "arm";
    case arch::Ia64: return "ia64";
    case arch::Amd64: return "x64";
    case arch::Arm64: return "arm64";
    default: return Decimal(a);
  }
}

std::string ServiceStateName(Dword s) {
  switch (s) {
    case os::SERVICE_STOPPED: return "stopped";
    case os::SERVICE_START_PENDING: return "start pending";
    case os::SERVICE_STOP_PENDING: return "stop pending";
    case os::SERVICE_RUNNING: return "running";
    case os::SERVICE_PAUSED: return "paused";
    default: return Decimal(s);
  }
}

RawValue ReadValue(const os::Handle& key, const char16_t* name) {
  RawValue v;
  Dword size = 0;
  v.status = os::RegQueryValueExW(key, name, &v.type, nullptr, &size);
  if (v.status != 0) return v;
  v.data.resize(size);
  Dword read = size;
  v.status = os::RegQueryValueExW(key, name, &v.type, size == 0 ? nullptr : v.data.data(), &read);
  if (v.status == 0 && read < v.data.size()) v.data.resize(read);
  return v;
}

bool PlainString(const RawValue& v, Text* text) {
  if (v.type != os::REG_SZ || v.data.size() % 2 != 0 || v.data.size() < 2) return false;
  const auto units = Units(v.data);
  if (units.back() != 0) return false;
  text->assign(units.begin(), units.end() - 1);
  return text->find(char16_t{0}) == Text::npos;
}

bool PlainMultiString(const RawValue& v, std::vector<Text>* entries) {
  if (v.type != os::REG_MULTI_SZ || v.data.size() % 2 != 0 || v.data.size() < 4) return false;
  const auto units = Units(v.data);
  if (units[units.size() - 1] != 0 || units[units.size() - 2] != 0) return false;
  Text entry;
  for (std::size_t i = 0; i + 1 < units.size(); ++i) {
    if (units[i] == 0) {
      entries->push_back(entry);
      entry.clear();
    } else {
      entry += units[i];
    }
  }
  return true;
}

JsonNode RawValueJson(const char16_t* name, const RawValue& v) {
  JsonNode j = JsonNode::Object();
  j.Add("name", JsonNode::String(Text(name)));
  j.Add("type", JsonNode::String(RegistryTypeName(v.type)));
  j.Add("hex", JsonNode::String(Hex(v.data)));
  return j;
}

JsonNode DriverJson(const os::DriverInfo8& d) {
  JsonNode j = JsonNode::Object();
  j.Add("cVersion", JsonNode::Number(d.cVersion));
  j.Add("pName", JsonNode::String(d.pName));
  AddText(j, "pEnvironment", d.pEnvironment);
  AddText(j, "pDriverPath", d.pDriverPath);
  AddText(j, "pDataFile", d.pDataFile);
  AddText(j, "pConfigFile", d.pConfigFile);
  AddText(j, "pHelpFile", d.pHelpFile);
  AddList(j, "pDependentFiles", d.pDependentFiles);
  AddText(j, "pMonitorName", d.pMonitorName);
  AddText(j, "pDefaultDataType", d.pDefaultDataType);
  AddList(j, "pszzPreviousNames", d.pszzPreviousNames);
  AddNumber(j, "ftDriverDate", d.ftDriverDate);
  if (d.dwlDriverVersion != 0) j.Add("dwlDriverVersion", JsonNode::String(Version(d.dwlDriverVersion)));
  AddText(j, "pszMfgName", d.pszMfgName);
  AddText(j, "pszOEMUrl", d.pszOEMUrl);
  AddText(j, "pszHardwareID", d.pszHardwareID);
  AddText(j, "pszProvider", d.pszProvider);
  AddText(j, "pszPrintProcessor", d.pszPrintProcessor);
  AddText(j, "pszVendorSetup", d.pszVendorSetup);
  AddList(j, "pszzColorProfiles", d.pszzColorProfiles);
  AddText(j, "pszInfPath", d.pszInfPath);
  AddNumber(j, "dwPrinterDriverAttributes", d.dwPrinterDriverAttributes);
  AddList(j, "pszzCoreDriverDependencies", d.pszzCoreDriverDependencies);
  AddNumber(j, "ftMinInboxDriverVerDate", d.ftMinInboxDriverVerDate);
  if (d.dwlMinInboxDriverVerVersion != 0) {
    j.Add("dwlMinInboxDriverVerVersion", JsonNode::String(Version(d.dwlMinInboxDriverVerVersion)));
  }
  return j;
}

JsonNode QueueJson(const os::PrinterInfo2& q) {
  JsonNode j = JsonNode::Object();
  j.Add("pPrinterName", JsonNode::String(q.pPrinterName));
  AddText(j, "pShareName", q.pShareName);
  AddText(j, "pPortName", q.pPortName);
  AddText(j, "pDriverName", q.pDriverName);
  AddText(j, "pComment", q.pComment);
  AddText(j, "pLocation", q.pLocation);
  AddText(j, "pSepFile", q.pSepFile);
  j.Add("pPrintProcessor", JsonNode::String(q.pPrintProcessor));
  j.Add("pDatatype", JsonNode::String(q.pDatatype));
  AddText(j, "pParameters", q.pParameters);
  j.Add("Attributes", JsonNode::Number(q.Attributes));
  j.Add("Priority", JsonNode::Number(q.Priority));
  AddNumber(j, "DefaultPriority", q.DefaultPriority);
  AddNumber(j, "StartTime", q.StartTime);
  AddNumber(j, "UntilTime", q.UntilTime);
  AddNumber(j, "Status", q.Status);
  AddNumber(j, "jobs", q.cJobs);
  AddNumber(j, "AveragePPM", q.AveragePPM);
  return j;
}

}  // namespace korv::snap

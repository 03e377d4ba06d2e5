#include "tools/korvsim/scenario.h"

#include <algorithm>
#include <optional>

#include "common/text_util.h"
#include "discovery/checksum.h"
#include "platform/sim/code_pages.h"
#include "platform/sim/sim_fixtures.h"
#include "platform/sim/spooler_model.h"
#include "platform/sim/usb_printers.h"
#include "platform/spooler.h"

namespace korv::korvsim {

namespace {

using sim::Machine;

Text Hex4(std::uint16_t v) {
  static const char16_t digits[] = u"0123456789abcdef";
  Text out;
  for (int shift = 12; shift >= 0; shift -= 4) out += digits[(v >> shift) & 0xF];
  return out;
}

Text LowerCase(Text text) {
  for (auto& c : text) {
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
  }
  return text;
}

Text WithoutTrailingSeparator(Text path) {
  while (!path.empty() && (path.back() == u'\\' || path.back() == u'/')) path.pop_back();
  return path;
}

std::uint16_t Architecture(const Field& f) {
  if (f.IsString()) {
    const std::string s = f.Utf8();
    if (s == "x86" || s == "i386" || s == "intel") return arch::Intel;
    if (s == "arm") return arch::Arm;
    if (s == "ia64") return arch::Ia64;
    if (s == "x64" || s == "amd64") return arch::Amd64;
    if (s == "arm64") return arch::Arm64;
    if (s.rfind("0x", 0) != 0 && (s.empty() || !std::isdigit(static_cast<unsigned char>(s[0])))) {
      f.Fail("expected x86, arm, ia64, x64, arm64 or a number, found \"" + s + "\"");
    }
  }
  return static_cast<std::uint16_t>(f.Unsigned(0xFFFF));
}

Dword ServiceState(const Field& f) {
  if (f.IsString()) {
    const std::string s = f.Utf8();
    if (s == "stopped") return 1;
    if (s == "start pending") return 2;
    if (s == "stop pending") return 3;
    if (s == "running") return 4;
    if (s == "paused") return 7;
    if (s.rfind("0x", 0) != 0 && (s.empty() || !std::isdigit(static_cast<unsigned char>(s[0])))) {
      f.Fail("expected stopped, start pending, stop pending, running, paused or a number, found \"" + s +
             "\"");
    }
  }
  return static_cast<Dword>(f.Unsigned(UINT32_MAX));
}

Dword RegistryType(const Field& f) {
  if (f.IsString()) {
    const std::string s = f.Utf8();
    static const std::pair<const char*, Dword> names[] = {
        {"REG_NONE", 0},  {"REG_SZ", 1},        {"REG_EXPAND_SZ", 2}, {"REG_BINARY", 3},
        {"REG_DWORD", 4}, {"REG_MULTI_SZ", 7}, {"REG_QWORD", 11}};
    for (const auto& [name, value] : names) {
      if (s == name) return value;
    }
    if (s.rfind("0x", 0) != 0) {
      f.Fail("expected REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, REG_QWORD, REG_BINARY, REG_NONE "
             "or a number, found \"" + s + "\"");
    }
  }
  return static_cast<Dword>(f.Unsigned(UINT32_MAX));
}

std::vector<std::uint8_t> HexBytes(const Field& f) {
  const std::string s = f.Utf8();
  std::string digits;
  for (char c : s) {
    if (c == ' ') continue;
    if (!std::isxdigit(static_cast<unsigned char>(c))) f.Fail("expected hexadecimal bytes such as \"01 00 ff\"");
    digits += c;
  }
  if (digits.size() % 2 != 0) f.Fail("expected an even number of hexadecimal digits");
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i < digits.size(); i += 2) {
    bytes.push_back(static_cast<std::uint8_t>(std::stoul(digits.substr(i, 2), nullptr, 16)));
  }
  return bytes;
}

// A registry value: {"name", "type", "data"} or {"name", "type", "hex"}.
std::pair<Text, sim::RegValue> RegistryValue(const Field& f) {
  f.Object({"name", "type", "data", "hex"});
  const Text name = f["name"].Text16();
  const Dword type = f.Has("type") ? RegistryType(f["type"]) : 1;
  sim::RegValue value;
  value.type = type;
  if (f.Has("hex")) {
    if (f.Has("data")) f.Fail("give either data or hex, not both");
    value.data = HexBytes(f["hex"]);
    return {name, value};
  }
  const Field data = f["data"];
  switch (type) {
    case 1:
    case 2:
      value = sim::RegistryState::String(data.Text16(), type);
      break;
    case 7:
      value = sim::RegistryState::MultiString(data.TextList());
      break;
    case 4:
      value = sim::RegistryState::Number(static_cast<Dword>(data.Unsigned(UINT32_MAX)));
      break;
    case 11: {
      const std::uint64_t v = data.Unsigned();
      for (int i = 0; i < 8; ++i) value.data.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
      break;
    }
    default:
      data.Fail("a value of this type takes its bytes as \"hex\"");
  }
  return {name, value};
}

std::uint64_t DriverVersion(const Field& f) {
  if (f.IsString() && f.Utf8().find('.') != std::string::npos) {
    const std::string s = f.Utf8();
    std::uint64_t v = 0;
    std::size_t start = 0;
    for (int part = 0; part < 4; ++part) {
      const std::size_t end = s.find('.', start);
      const std::string digits = s.substr(start, end == std::string::npos ? std::string::npos : end - start);
      if (digits.empty() || digits.size() > 5 ||
          !std::all_of(digits.begin(), digits.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }) ||
          std::stoul(digits) > 0xFFFF || (part < 3 && end == std::string::npos) || (part == 3 && end != std::string::npos)) {
        f.Fail("expected a version \"a.b.c.d\" (each part 0-65535) or a number");
      }
      v = (v << 16) | std::stoul(digits);
      start = end + 1;
    }
    return v;
  }
  return f.Unsigned();
}

os::DriverInfo8 Driver(const Field& f) {
  f.Object({"cVersion", "pName", "pEnvironment", "pDriverPath", "pDataFile", "pConfigFile", "pHelpFile",
            "pDependentFiles", "pMonitorName", "pDefaultDataType", "pszzPreviousNames", "ftDriverDate",
            "dwlDriverVersion", "pszMfgName", "pszOEMUrl", "pszHardwareID", "pszProvider",
            "pszPrintProcessor", "pszVendorSetup", "pszzColorProfiles", "pszInfPath",
            "dwPrinterDriverAttributes", "pszzCoreDriverDependencies", "ftMinInboxDriverVerDate",
            "dwlMinInboxDriverVerVersion", "inUseUntilCycle"});
  os::DriverInfo8 d;
  d.cVersion = static_cast<Dword>(f.UnsignedOr("cVersion", 3, UINT32_MAX));
  d.pName = f["pName"].Text16();
  d.pEnvironment = f.TextOr("pEnvironment", u"");
  d.pDriverPath = f.TextOr("pDriverPath", u"");
  d.pDataFile = f.TextOr("pDataFile", u"");
  d.pConfigFile = f.TextOr("pConfigFile", u"");
  d.pHelpFile = f.TextOr("pHelpFile", u"");
  if (f.Has("pDependentFiles")) d.pDependentFiles = f["pDependentFiles"].TextList();
  d.pMonitorName = f.TextOr("pMonitorName", u"");
  d.pDefaultDataType = f.TextOr("pDefaultDataType", u"");
  if (f.Has("pszzPreviousNames")) d.pszzPreviousNames = f["pszzPreviousNames"].TextList();
  d.ftDriverDate = f.UnsignedOr("ftDriverDate", 0);
  if (f.Has("dwlDriverVersion")) d.dwlDriverVersion = DriverVersion(f["dwlDriverVersion"]);
  d.pszMfgName = f.TextOr("pszMfgName", u"");
  d.pszOEMUrl = f.TextOr("pszOEMUrl", u"");
  d.pszHardwareID = f.TextOr("pszHardwareID", u"");
  d.pszProvider = f.TextOr("pszProvider", u"");
  d.pszPrintProcessor = f.TextOr("pszPrintProcessor", u"");
  d.pszVendorSetup = f.TextOr("pszVendorSetup", u"");
  if (f.Has("pszzColorProfiles")) d.pszzColorProfiles = f["pszzColorProfiles"].TextList();
  d.pszInfPath = f.TextOr("pszInfPath", u"");
  d.dwPrinterDriverAttributes = static_cast<Dword>(f.UnsignedOr("dwPrinterDriverAttributes", 0, UINT32_MAX));
  if (f.Has("pszzCoreDriverDependencies")) d.pszzCoreDriverDependencies = f["pszzCoreDriverDependencies"].TextList();
  d.ftMinInboxDriverVerDate = f.UnsignedOr("ftMinInboxDriverVerDate", 0);
  if (f.Has("dwlMinInboxDriverVerVersion")) d.dwlMinInboxDriverVerVersion = DriverVersion(f["dwlMinInboxDriverVerVersion"]);
  return d;
}

os::PrinterInfo2 Printer(const Field& f) {
  os::PrinterInfo2 p;
  p.pPrinterName = f["pPrinterName"].Text16();
  p.pShareName = f.TextOr("pShareName", u"");
  p.pPortName = f.TextOr("pPortName", u"");
  p.pDriverName = f.TextOr("pDriverName", u"");
  p.pComment = f.TextOr("pComment", u"");
  p.pLocation = f.TextOr("pLocation", u"");
  p.pSepFile = f.TextOr("pSepFile", u"");
  p.pPrintProcessor = f.TextOr("pPrintProcessor", u"winprint");
  p.pDatatype = f.TextOr("pDatatype", u"RAW");
  p.pParameters = f.TextOr("pParameters", u"");
  p.Attributes = static_cast<Dword>(f.UnsignedOr("Attributes", os::PRINTER_ATTRIBUTE_LOCAL, UINT32_MAX));
  p.Priority = static_cast<Dword>(f.UnsignedOr("Priority", 1, UINT32_MAX));
  p.DefaultPriority = static_cast<Dword>(f.UnsignedOr("DefaultPriority", 0, UINT32_MAX));
  p.StartTime = static_cast<Dword>(f.UnsignedOr("StartTime", 0, UINT32_MAX));
  p.UntilTime = static_cast<Dword>(f.UnsignedOr("UntilTime", 0, UINT32_MAX));
  p.AveragePPM = static_cast<Dword>(f.UnsignedOr("AveragePPM", 0, UINT32_MAX));
  return p;
}

void ApplyFiles(const Field& list, Machine& m) {
  for (const Field& f : list.Items()) {
    f.Object({"path", "content", "locked"});
    const Text path = f["path"].Text16();
    if (path.empty()) f["path"].Fail("expected a path, found an empty text");
    m.kernel.files[path] = sim::SimFile{f.Has("content") ? f["content"].Utf8() : std::string(),
                                        f.BoolOr("locked", false)};
  }
}

void ApplyRegistry(const Field& list, Machine& m) {
  for (const Field& k : list.Items()) {
    k.Object({"key", "values"});
    const Text key = k["key"].Text16();
    if (key.empty()) k["key"].Fail("expected a key path under HKEY_LOCAL_MACHINE");
    sim::RegKey& created = m.registry.Create(key);
    if (k.Has("values")) {
      for (const Field& v : k["values"].Items()) {
        auto [name, value] = RegistryValue(v);
        created.values[name] = value;
      }
    }
  }
}

void ApplyServices(const Field& services, Machine& m) {
  for (const auto& [name, f] : services.Members()) {
    f.Object({"state", "startDelayMs", "stopDelayMs", "neverStarts", "neverStops"});
    sim::SimService& s = m.services.services[Utf8ToUtf16(name)];
    if (f.Has("state")) s.state = ServiceState(f["state"]);
    s.startDelayMs = f.UnsignedOr("startDelayMs", s.startDelayMs);
    s.stopDelayMs = f.UnsignedOr("stopDelayMs", s.stopDelayMs);
    s.neverStarts = f.BoolOr("neverStarts", s.neverStarts);
    s.neverStops = f.BoolOr("neverStops", s.neverStops);
  }
}

sim::PnpReaction Reaction(const Field& f, const Text& hardwareId, const Text& defaultPort) {
  sim::PnpReaction r;
  r.hardwareId = hardwareId;
  r.queueName = f.TextOr("queueName", u"");
  r.portName = f.TextOr("portName", defaultPort);
  r.driverName = f.TextOr("driverName", u"");
  r.delayMs = f.UnsignedOr("delayMs", r.delayMs);
  r.plugged = f.BoolOr("plugged", true);
  return r;
}

void ApplyUsbPrinters(const Field& list, Machine& m) {
  for (const Field& f : list.Items()) {
    f.Object({"devicePath", "vid", "pid", "serial", "description", "portNumber", "present", "values", "pnp"});
    Text path;
    if (f.Has("devicePath")) {
      if (f.Has("vid") || f.Has("pid") || f.Has("serial")) f.Fail("give either devicePath or vid/pid/serial");
      path = f["devicePath"].Text16();
    } else {
      path = sim::UsbPrinterPath(f.TextOr("vid", u"2d37"), f.TextOr("pid", u"0001"), f.TextOr("serial", u"0001"));
    }
    std::optional<Text> description;
    if (f.Has("description")) description = f["description"].Text16();
    std::optional<Dword> port;
    if (f.Has("portNumber")) port = static_cast<Dword>(f["portNumber"].Unsigned(UINT32_MAX));
    sim::PlugUsbPrinter(m, path, description, port);
    if (f.Has("values")) {
      for (const Field& v : f["values"].Items()) {
        auto [name, value] = RegistryValue(v);
        sim::SetUsbPrinterValue(m, path, name, value.type, value.data);
      }
    }
    if (!f.BoolOr("present", true)) sim::UnplugUsbPrinter(m, path);
    if (f.Has("pnp")) {
      const Field pnp = f["pnp"];
      pnp.Object({"queueName", "portName", "driverName", "delayMs", "plugged"});
      if (!description) pnp.Fail("a printer without a description has no hardware ID to react to");
      Text defaultPort;
      if (port) {
        std::string digits = std::to_string(*port);
        while (digits.size() < 3) digits.insert(digits.begin(), '0');
        defaultPort = u"USB" + Utf8ToUtf16(digits);
      }
      m.spooler.pnp.push_back(Reaction(pnp, UsbPrinterHardwareId(*description, m.kernel.ansiCodePage), defaultPort));
    }
  }
}

void ApplySpooler(const Field& s, Machine& m) {
  s.Object({"drivers", "acceptedNeverListed", "monitors", "ports", "portsAfterCycle", "acceptsUnknownPorts", "queues",
            "driverDirectory", "uploadResult", "uploadDestination", "store", "packageDeleteResults", "pnp"});
  if (s.Has("ports")) m.spooler.ports = s["ports"].TextList();
  if (s.Has("portsAfterCycle")) m.spooler.portsAfterCycle = s["portsAfterCycle"].TextList();
  m.spooler.acceptsUnknownPorts = s.BoolOr("acceptsUnknownPorts", false);
  if (s.Has("acceptedNeverListed")) m.spooler.acceptedNeverListed = s["acceptedNeverListed"].TextList();
  if (s.Has("drivers")) {
    for (const Field& f : s["drivers"].Items()) {
      m.spooler.drivers.push_back(sim::SimDriver{Driver(f), f.BoolOr("inUseUntilCycle", false)});
    }
  }
  if (s.Has("monitors")) {
    for (const Field& f : s["monitors"].Items()) {
      f.Object({"pName", "pEnvironment", "pDLLName"});
      m.spooler.monitors.push_back(
          os::MonitorInfo2{f["pName"].Text16(), f.TextOr("pEnvironment", u""), f.TextOr("pDLLName", u"")});
    }
  }
  if (s.Has("queues")) {
    for (const Field& f : s["queues"].Items()) {
      f.Object({"pPrinterName", "pShareName", "pPortName", "pDriverName", "pComment", "pLocation", "pSepFile",
                "pPrintProcessor", "pDatatype", "pParameters", "Attributes", "Priority", "DefaultPriority",
                "StartTime", "UntilTime", "AveragePPM", "Status", "undeletable", "deleteError", "jobs"});
      sim::SimQueue& q = sim::CreateQueue(m, Printer(f));
      // A new queue starts ready; a described (or captured) one may carry a
      // status.
      q.info.Status = static_cast<Dword>(f.UnsignedOr("Status", 0, UINT32_MAX));
      q.info.cJobs = static_cast<Dword>(f.UnsignedOr("jobs", 0, UINT32_MAX));
      q.undeletable = f.BoolOr("undeletable", false);
      q.deleteError = static_cast<Dword>(f.UnsignedOr("deleteError", q.deleteError, UINT32_MAX));
    }
  }
  if (s.Has("uploadResult")) m.spooler.uploadResult = s["uploadResult"].Int32();
  if (s.Has("uploadDestination")) m.spooler.uploadDestination = s["uploadDestination"].Text16();
  if (s.Has("store")) {
    for (const Field& f : s["store"].Items()) {
      f.Object({"sourceInf", "storedInf"});
      // A capture knows only the stored INF: the record does not say where
      // it was uploaded from.
      sim::RecordPackage(m, f.TextOr("sourceInf", u""), f["storedInf"].Text16());
    }
  }
  if (s.Has("packageDeleteResults")) {
    for (const Field& f : s["packageDeleteResults"].Items()) m.spooler.packageDeleteResults.push_back(f.Int32());
  }
  if (s.Has("pnp")) {
    for (const Field& f : s["pnp"].Items()) {
      f.Object({"hardwareId", "queueName", "portName", "driverName", "delayMs", "plugged"});
      m.spooler.pnp.push_back(Reaction(f, f["hardwareId"].Text16(), u""));
    }
  }
}

void ApplyFaults(const Field& list, Scenario& scenario) {
  const auto& known = sim::OperationNames();
  for (const Field& f : list.Items()) {
    f.Object({"operation", "error", "hresult", "onCall", "fromCall"});
    InjectedFault fault;
    fault.operation = f["operation"].Utf8();
    if (std::find(known.begin(), known.end(), fault.operation) == known.end()) {
      f["operation"].Fail("no such operation: \"" + fault.operation + "\" (see platform/operations.def)");
    }
    fault.rule.error = static_cast<Dword>(f.UnsignedOr("error", 0, UINT32_MAX));
    if (f.Has("hresult")) fault.rule.hresult = f["hresult"].Int32();
    fault.rule.onCall = static_cast<int>(f.UnsignedOr("onCall", 0, INT32_MAX));
    fault.rule.fromCall = static_cast<int>(f.UnsignedOr("fromCall", 0, INT32_MAX));
    if (fault.rule.onCall != 0 && fault.rule.fromCall != 0) f.Fail("give onCall or fromCall, not both");
    scenario.faults.push_back(fault);
  }
}

void ApplyMachine(const Field& f, Machine& m, Scenario& scenario) {
  f.Object({"modulePath", "systemFolder", "tempFolder", "nativeArch", "programArch", "currentFolder", "searchPath",
            "ansiCodePage", "installerFolders",
            "files", "folders", "pendingRenames", "mutexes", "registry", "services", "usbPrinters",
            "deviceNodes", "infVersions", "spooler", "faults", "nextProcessId", "nextTempNumber"});
  auto& k = m.kernel;
  if (f.Has("modulePath")) k.modulePath = f["modulePath"].Text16();
  if (f.Has("systemFolder")) k.systemFolder = f["systemFolder"].Text16();
  if (f.Has("tempFolder")) k.tempFolder = f["tempFolder"].Text16();
  if (f.Has("nativeArch")) k.nativeArch = Architecture(f["nativeArch"]);
  if (f.Has("programArch")) {
    const std::string program = f["programArch"].Utf8();
    if (program == "x86") {
      k.programArch = arch::Intel;
    } else if (program == "x64") {
      k.programArch = arch::Amd64;
    } else {
      f["programArch"].Fail("expected x86 or x64, found \"" + program + "\"");
    }
  }
  if (f.Has("currentFolder")) k.currentFolder = f["currentFolder"].Text16();
  if (f.Has("searchPath")) k.searchPath = f["searchPath"].TextList();
  if (f.Has("ansiCodePage")) {
    k.ansiCodePage = static_cast<unsigned>(f["ansiCodePage"].Unsigned(UINT32_MAX));
    if (k.ansiCodePage != 1252 && k.ansiCodePage != 932) f["ansiCodePage"].Fail("expected 1252 or 932");
  }
  k.nextProcessId = static_cast<Dword>(f.UnsignedOr("nextProcessId", k.nextProcessId, UINT32_MAX));
  k.nextTempNumber = static_cast<unsigned>(f.UnsignedOr("nextTempNumber", k.nextTempNumber, 0xFFFF));
  if (f.Has("spooler") && f["spooler"].Has("driverDirectory")) {
    m.spooler.driverDirectory = f["spooler"]["driverDirectory"].Text16();
  }

  // The Windows folders are always there; the temporary folder too.
  sim::SetUpWindowsFolders(m);
  if (!WithoutTrailingSeparator(k.tempFolder).empty()) k.folders.insert(WithoutTrailingSeparator(k.tempFolder));
  // rundll32.exe, which the wizard runs in.
  sim::PlaceSystemProgram(m, u"rundll32.exe", "rundll32.exe");

  if (f.Has("installerFolders")) {
    for (const Field& folder : f["installerFolders"].Items()) {
      const Text dir = folder.Text16();
      if (WithoutTrailingSeparator(dir).empty()) folder.Fail("expected a folder path");
      sim::SetUpInstallerFolder(m, dir);
      k.files[WithoutTrailingSeparator(dir) + u"\\unins000.exe"] = sim::SimFile{kProgramContent, false};
    }
  }
  // The program itself.
  if (!k.modulePath.empty() && k.files.count(k.modulePath) == 0) {
    k.files[k.modulePath] = sim::SimFile{kProgramContent, false};
  }
  if (f.Has("folders")) {
    for (const Field& folder : f["folders"].Items()) k.folders.insert(WithoutTrailingSeparator(folder.Text16()));
  }
  if (f.Has("files")) ApplyFiles(f["files"], m);
  if (f.Has("pendingRenames")) {
    for (const Field& r : f["pendingRenames"].Items()) {
      r.Object({"source", "target"});
      k.pendingRenames.push_back(sim::PendingRename{r["source"].Text16(), r["target"].Text16()});
    }
  }
  if (f.Has("mutexes")) {
    for (const Field& name : f["mutexes"].Items()) k.mutexes[name.Text16()] = 1;
  }
  if (f.Has("registry")) ApplyRegistry(f["registry"], m);
  if (f.Has("services")) ApplyServices(f["services"], m);
  if (f.Has("deviceNodes")) {
    for (const Field& n : f["deviceNodes"].Items()) {
      n.Object({"setupClass", "friendlyName", "hardwareId", "removed"});
      m.devices.nodes.push_back(sim::DeviceNode{n["setupClass"].Text16(), n.TextOr("friendlyName", u""),
                                                n.TextOr("hardwareId", u""), n.BoolOr("removed", false)});
    }
  }
  if (f.Has("infVersions")) {
    for (const Field& v : f["infVersions"].Items()) {
      v.Object({"path", "driverVer"});
      m.devices.infVersions.emplace_back(v["path"].Text16(), v["driverVer"].Text16());
    }
  }
  if (f.Has("spooler")) ApplySpooler(f["spooler"], m);
  if (f.Has("usbPrinters")) ApplyUsbPrinters(f["usbPrinters"], m);
  if (f.Has("faults")) ApplyFaults(f["faults"], scenario);
}

void ApplyUi(const Field& f, Machine& m) {
  f.Object({"language", "presses", "messageBoxAnswers", "childWindowDelayMs", "ownProcessId"});
  auto& ui = m.ui;
  ui.uiLanguage = static_cast<std::uint16_t>(f.UnsignedOr("language", ui.uiLanguage, 0xFFFF));
  ui.childWindowDelayMs = f.UnsignedOr("childWindowDelayMs", ui.childWindowDelayMs);
  ui.ownProcessId = static_cast<Dword>(f.UnsignedOr("ownProcessId", ui.ownProcessId, UINT32_MAX));
  if (f.Has("presses")) {
    for (const Field& p : f["presses"].Items()) {
      p.Object({"at", "dialog", "control"});
      sim::ScriptedPress press;
      press.at = p["at"].Unsigned();
      press.dialogId = static_cast<Dword>(p["dialog"].Unsigned(0xFFFF));
      const Field control = p["control"];
      if (control.IsString() && control.Utf8() == "close") {
        press.closeBox = true;
      } else if (control.IsNumber() && control.json().is_number_integer()) {
        press.controlId = static_cast<int>(control.json().get<std::int64_t>());
        if (press.controlId < -1 || press.controlId > 0xFFFF) control.Fail("expected a control id or \"close\"");
      } else {
        control.Fail("expected a control id or \"close\"");
      }
      ui.presses.push_back(press);
    }
  }
  if (f.Has("messageBoxAnswers")) {
    for (const Field& a : f["messageBoxAnswers"].Items()) {
      ui.messageBoxAnswers.push_back(static_cast<int>(a.Unsigned(INT32_MAX)));
    }
  }
}

// A capture lists the parts of the machine it could not read: a prediction
// without them would be a guess, so the first is reported like a mistake
// in the file, naming its field.
void RefuseIncomplete(const Field& list) {
  for (const Field& f : list.Items()) {
    f.Object({"field", "reason"});
    const std::string field = f["field"].Utf8();
    const std::string reason = f["reason"].Utf8();
    throw ScenarioError(field.empty() ? f.path() : field,
                        "not captured (" + reason + "); capture again, or remove the entry from \"incomplete\" "
                        "to run without it");
  }
}

}  // namespace

Text UsbPrinterHardwareId(const Text& description, unsigned ansiCodePage) {
  const Text cut = description.substr(0, 32);
  const std::string ansi = sim::WideToAnsi(ansiCodePage, cut);
  std::vector<std::uint8_t> bytes(ansi.begin(), ansi.end());
  std::uint16_t sum = 0;
  UsbPrintChecksum(bytes.data(), static_cast<std::uint16_t>(bytes.size()), &sum);
  return LowerCase(u"usbprint\\" + cut + Hex4(sum));
}

Scenario ApplyScenario(const std::string& jsonText, Machine& machine) {
  Json root;
  try {
    root = Json::parse(jsonText);
  } catch (const nlohmann::json::exception& e) {
    // Malformed JSON ("[json.exception.parse_error.101] parse error at line
    // 3, column 5: ..."), or a number too large for any C++ number type
    // ("[json.exception.out_of_range.406] number overflow parsing '1e999'"):
    // the library's message without its tag.
    std::string what = e.what();
    const auto tag = what.find("] ");
    throw ScenarioError("", tag == std::string::npos ? what : what.substr(tag + 2));
  }
  const Field top(root, "");
  top.Object({"description", "incomplete", "commandLine", "timeLimitMs", "followChildren", "killAt", "restart",
              "machine", "ui"});
  if (top.Has("incomplete")) RefuseIncomplete(top["incomplete"]);
  Scenario scenario;
  if (top.Has("description")) scenario.description = top["description"].Utf8();
  if (top.Has("commandLine")) scenario.commandLine = top["commandLine"].Text16();
  scenario.timeLimitMs = top.UnsignedOr("timeLimitMs", scenario.timeLimitMs);
  scenario.followChildren = top.BoolOr("followChildren", false);
  scenario.killAt = static_cast<int>(top.UnsignedOr("killAt", 0, 1000000000));
  if (top.Has("restart")) {
    scenario.restart = true;
    scenario.restartCommandLine = top["restart"].Text16();
  }
  if (top.Has("machine")) {
    ApplyMachine(top["machine"], machine, scenario);
  } else {
    ApplyMachine(Field(Json::object(), "machine"), machine, scenario);
  }
  if (top.Has("ui")) ApplyUi(top["ui"], machine);
  return scenario;
}

void ArmFaults(const Scenario& scenario, Machine& machine) {
  for (const auto& f : scenario.faults) machine.faults.Set(f.operation, f.rule);
}

}  // namespace korv::korvsim

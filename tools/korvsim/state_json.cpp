#include "tools/korvsim/state_json.h"

#include <cstdio>

#include "common/text_util.h"

namespace korv::korvsim {

namespace {

std::string U8(const Text& text) { return Utf16ToUtf8(text); }

Json TextList(const std::vector<Text>& texts) {
  Json list = Json::array();
  for (const Text& t : texts) list.push_back(U8(t));
  return list;
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

std::string HexNumber(std::uint32_t v) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08x", v);
  return text;
}

std::string ServiceState(Dword state) {
  switch (state) {
    case 1: return "stopped";
    case 2: return "start pending";
    case 3: return "stop pending";
    case 4: return "running";
    case 7: return "paused";
    default: return std::to_string(state);
  }
}

std::string Version(std::uint64_t v) {
  return std::to_string((v >> 48) & 0xFFFF) + "." + std::to_string((v >> 32) & 0xFFFF) + "." +
         std::to_string((v >> 16) & 0xFFFF) + "." + std::to_string(v & 0xFFFF);
}

Json RegistryValue(const Text& name, const sim::RegValue& v) {
  Json value = Json::object();
  value["name"] = U8(name);
  static const std::pair<Dword, const char*> names[] = {{0, "REG_NONE"},  {1, "REG_SZ"},        {2, "REG_EXPAND_SZ"},
                                                        {3, "REG_BINARY"}, {4, "REG_DWORD"},     {7, "REG_MULTI_SZ"},
                                                        {11, "REG_QWORD"}};
  value["type"] = v.type;
  for (const auto& [type, typeName] : names) {
    if (type == v.type) value["type"] = typeName;
  }
  auto units = [&v]() {
    Text text;
    for (std::size_t i = 0; i + 1 < v.data.size(); i += 2) {
      text += static_cast<char16_t>(v.data[i] | (v.data[i + 1] << 8));
    }
    return text;
  };
  if ((v.type == 1 || v.type == 2) && v.data.size() % 2 == 0) {
    Text text = units();
    if (!text.empty() && text.back() == 0) {
      text.pop_back();
      if (text.find(char16_t{0}) == Text::npos) {
        value["data"] = U8(text);
        return value;
      }
    }
  } else if (v.type == 7 && v.data.size() % 2 == 0) {
    const Text text = units();
    if (text.size() >= 2 && text[text.size() - 1] == 0 && text[text.size() - 2] == 0) {
      std::vector<Text> items;
      Text item;
      for (std::size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] == 0) {
          items.push_back(item);
          item.clear();
        } else {
          item += text[i];
        }
      }
      value["data"] = TextList(items);
      return value;
    }
  } else if (v.type == 4 && v.data.size() == 4) {
    value["data"] = static_cast<Dword>(v.data[0] | (v.data[1] << 8) | (v.data[2] << 16) |
                                       (static_cast<Dword>(v.data[3]) << 24));
    return value;
  }
  value["hex"] = Hex(v.data);
  return value;
}

void RegistryKeys(const sim::RegKey& key, const Text& path, Json& out) {
  if (!key.values.empty() || key.subkeys.empty()) {
    Json entry = Json::object();
    entry["key"] = U8(path);
    Json values = Json::array();
    for (const auto& [name, v] : key.values) values.push_back(RegistryValue(name, v));
    entry["values"] = values;
    out.push_back(entry);
  }
  for (const auto& [name, sub] : key.subkeys) RegistryKeys(sub, path.empty() ? name : path + u"\\" + name, out);
}

Json Driver(const sim::SimDriver& sd) {
  const os::DriverInfo8& d = sd.info;
  Json j = Json::object();
  j["cVersion"] = d.cVersion;
  j["pName"] = U8(d.pName);
  j["pEnvironment"] = U8(d.pEnvironment);
  j["pDriverPath"] = U8(d.pDriverPath);
  j["pDataFile"] = U8(d.pDataFile);
  j["pConfigFile"] = U8(d.pConfigFile);
  j["pHelpFile"] = U8(d.pHelpFile);
  j["pDependentFiles"] = TextList(d.pDependentFiles);
  j["pMonitorName"] = U8(d.pMonitorName);
  j["pDefaultDataType"] = U8(d.pDefaultDataType);
  j["pszzPreviousNames"] = TextList(d.pszzPreviousNames);
  j["ftDriverDate"] = d.ftDriverDate;
  j["dwlDriverVersion"] = Version(d.dwlDriverVersion);
  j["pszMfgName"] = U8(d.pszMfgName);
  j["pszOEMUrl"] = U8(d.pszOEMUrl);
  j["pszHardwareID"] = U8(d.pszHardwareID);
  j["pszProvider"] = U8(d.pszProvider);
  j["pszPrintProcessor"] = U8(d.pszPrintProcessor);
  j["pszVendorSetup"] = U8(d.pszVendorSetup);
  j["pszzColorProfiles"] = TextList(d.pszzColorProfiles);
  j["pszInfPath"] = U8(d.pszInfPath);
  j["dwPrinterDriverAttributes"] = d.dwPrinterDriverAttributes;
  j["pszzCoreDriverDependencies"] = TextList(d.pszzCoreDriverDependencies);
  j["ftMinInboxDriverVerDate"] = d.ftMinInboxDriverVerDate;
  j["dwlMinInboxDriverVerVersion"] = Version(d.dwlMinInboxDriverVerVersion);
  j["inUseUntilCycle"] = sd.inUseUntilCycle;
  return j;
}

Json Queue(const sim::SimQueue& q) {
  const os::PrinterInfo2& p = q.info;
  Json j = Json::object();
  j["pPrinterName"] = U8(p.pPrinterName);
  j["pShareName"] = U8(p.pShareName);
  j["pPortName"] = U8(p.pPortName);
  j["pDriverName"] = U8(p.pDriverName);
  j["pComment"] = U8(p.pComment);
  j["pLocation"] = U8(p.pLocation);
  j["pSepFile"] = U8(p.pSepFile);
  j["pPrintProcessor"] = U8(p.pPrintProcessor);
  j["pDatatype"] = U8(p.pDatatype);
  j["pParameters"] = U8(p.pParameters);
  j["Attributes"] = p.Attributes;
  j["Priority"] = p.Priority;
  j["DefaultPriority"] = p.DefaultPriority;
  j["StartTime"] = p.StartTime;
  j["UntilTime"] = p.UntilTime;
  j["Status"] = p.Status;
  j["cJobs"] = p.cJobs;
  j["AveragePPM"] = p.AveragePPM;
  j["undeletable"] = q.undeletable;
  j["deleteError"] = q.deleteError;
  return j;
}

Json TreeItems(const std::vector<sim::SimTreeItem>& items) {
  Json list = Json::array();
  for (const auto& item : items) {
    Json j = Json::object();
    j["text"] = U8(item.text);
    j["expanded"] = item.expanded;
    if (!item.children.empty()) j["children"] = TreeItems(item.children);
    list.push_back(j);
  }
  return list;
}

Json Dialog(const sim::SimDialog& d) {
  Json j = Json::object();
  j["dialog"] = d.templateId;
  j["caption"] = U8(d.caption);
  j["openedAt"] = d.openedAt;
  if (d.ended) {
    j["closedAt"] = d.closedAt;
    j["result"] = d.result;
  } else {
    j["closedAt"] = nullptr;
  }
  Json controls = Json::array();
  for (const auto& [id, c] : d.controls) {
    Json cj = Json::object();
    cj["id"] = id;
    cj["class"] = U8(c.className);
    cj["text"] = U8(c.text);
    cj["visible"] = c.visible;
    cj["enabled"] = c.enabled;
    if (c.className == u"msctls_progress32") cj["progress"] = c.progress;
    if (!c.tree.empty()) cj["tree"] = TreeItems(c.tree);
    controls.push_back(cj);
  }
  j["controls"] = controls;
  return j;
}

}  // namespace

Json MachineStateJson(const sim::Machine& m) {
  Json state = Json::object();
  state["time"] = m.clock.Now();

  const auto& k = m.kernel;
  Json kernel = Json::object();
  kernel["modulePath"] = U8(k.modulePath);
  kernel["systemFolder"] = U8(k.systemFolder);
  kernel["tempFolder"] = U8(k.tempFolder);
  kernel["nativeArch"] = k.nativeArch;
  kernel["programArch"] = k.programArch == arch::Intel ? "x86" : "x64";
  kernel["ansiCodePage"] = k.ansiCodePage;
  Json folders = Json::array();
  for (const Text& f : k.folders) folders.push_back(U8(f));
  kernel["folders"] = folders;
  Json files = Json::array();
  for (const auto& [path, file] : k.files) {
    Json f = Json::object();
    f["path"] = U8(path);
    f["content"] = Utf16ToUtf8(Utf8ToUtf16(file.content));  // printable even if not UTF-8
    if (file.locked) f["locked"] = true;
    files.push_back(f);
  }
  kernel["files"] = files;
  Json renames = Json::array();
  for (const auto& r : k.pendingRenames) renames.push_back(Json{{"source", U8(r.source)}, {"target", U8(r.target)}});
  kernel["pendingRenames"] = renames;
  Json mutexes = Json::object();
  for (const auto& [name, count] : k.mutexes) mutexes[U8(name)] = count;
  kernel["mutexes"] = mutexes;
  Json processes = Json::array();
  for (const auto& p : k.processes) {
    processes.push_back(Json{{"processId", p.processId},
                             {"executable", U8(p.executable)},
                             {"commandLine", U8(p.commandLine)},
                             {"startedAt", p.startedAt}});
  }
  kernel["processes"] = processes;
  kernel["liveAllocations"] = k.liveAllocations;
  state["kernel"] = kernel;

  Json registry = Json::array();
  RegistryKeys(m.registry.hklm, Text(), registry);
  state["registry"] = registry;

  Json services = Json::object();
  for (const auto& [name, s] : m.services.services) {
    services[U8(name)] = Json{{"state", ServiceState(s.state)},
                              {"startRequests", s.startRequests},
                              {"stopRequests", s.stopRequests}};
  }
  state["services"] = services;

  const auto& sp = m.spooler;
  Json spooler = Json::object();
  Json drivers = Json::array();
  for (const auto& d : sp.drivers) drivers.push_back(Driver(d));
  spooler["drivers"] = drivers;
  Json monitors = Json::array();
  for (const auto& mon : sp.monitors) {
    monitors.push_back(Json{{"pName", U8(mon.pName)}, {"pEnvironment", U8(mon.pEnvironment)}, {"pDLLName", U8(mon.pDLLName)}});
  }
  spooler["monitors"] = monitors;
  spooler["ports"] = TextList(sp.ports);
  spooler["portsAfterCycle"] = TextList(sp.portsAfterCycle);
  Json queues = Json::array();
  for (const auto& q : sp.queues) queues.push_back(Queue(q));
  spooler["queues"] = queues;
  spooler["driverDirectory"] = U8(sp.driverDirectory);
  spooler["uploadResult"] = HexNumber(static_cast<std::uint32_t>(sp.uploadResult));
  spooler["uploadDestination"] = U8(sp.uploadDestination);
  Json store = Json::array();
  for (const auto& p : sp.store) store.push_back(Json{{"sourceInf", U8(p.sourceInf)}, {"storedInf", U8(p.storedInf)}});
  spooler["store"] = store;
  Json pnp = Json::array();
  for (const auto& r : sp.pnp) {
    pnp.push_back(Json{{"hardwareId", U8(r.hardwareId)},
                       {"queueName", U8(r.queueName)},
                       {"portName", U8(r.portName)},
                       {"driverName", U8(r.driverName)},
                       {"delayMs", r.delayMs},
                       {"plugged", r.plugged}});
  }
  spooler["pnp"] = pnp;
  state["spooler"] = spooler;

  const auto& dv = m.devices;
  Json devices = Json::object();
  Json usb = Json::array();
  for (const auto& u : dv.usbPrinters) usb.push_back(Json{{"devicePath", U8(u.devicePath)}, {"present", u.present}});
  devices["usbPrinters"] = usb;
  Json nodes = Json::array();
  for (const auto& n : dv.nodes) {
    nodes.push_back(Json{{"setupClass", U8(n.setupClass)},
                         {"friendlyName", U8(n.friendlyName)},
                         {"hardwareId", U8(n.hardwareId)},
                         {"removed", n.removed}});
  }
  devices["deviceNodes"] = nodes;
  devices["reenumerations"] = dv.reenumerations;
  Json infs = Json::array();
  for (const auto& [path, ver] : dv.infVersions) infs.push_back(Json{{"path", U8(path)}, {"driverVer", U8(ver)}});
  devices["infVersions"] = infs;
  state["devices"] = devices;

  const auto& ui = m.ui;
  Json windows = Json::object();
  windows["language"] = ui.uiLanguage;
  Json dialogs = Json::array();
  for (const auto& d : ui.dialogs) dialogs.push_back(Dialog(d));
  windows["dialogs"] = dialogs;
  Json boxes = Json::array();
  for (const auto& b : ui.messageBoxes) {
    boxes.push_back(Json{{"at", b.at}, {"caption", U8(b.caption)}, {"text", U8(b.text)}, {"answer", b.answer}});
  }
  windows["messageBoxes"] = boxes;
  Json fronts = Json::array();
  for (const auto& [pid, at] : ui.foregroundRequests) fronts.push_back(Json{{"processId", pid}, {"at", at}});
  windows["foregroundRequests"] = fronts;
  Json presses = Json::array();
  for (const auto& p : ui.presses) {
    Json pj = Json{{"at", p.at}, {"dialog", p.dialogId}};
    if (p.closeBox) {
      pj["control"] = "close";
    } else {
      pj["control"] = p.controlId;
    }
    pj["made"] = p.delivered;
    presses.push_back(pj);
  }
  windows["presses"] = presses;
  state["ui"] = windows;

  Json shell = Json::object();
  shell["recycled"] = TextList(m.shell.recycled);
  shell["notifications"] = TextList(m.shell.notifications);
  state["shell"] = shell;
  return state;
}

}  // namespace korv::korvsim

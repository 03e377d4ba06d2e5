// The capture on the simulated machine: what korvsnap reads of a machine,
// read back by korvsim's scenario reader, must be the same machine (as far
// as a capture can see it), for every example machine of the project.
#include <filesystem>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "common/text_util.h"
#include "platform/sim/machine.h"
#include "platform/sim/usb_printers.h"
#include "tools/korvsim/scenario.h"
#include "tools/korvsim/state_json.h"
#include "tools/korvsnap/capture.h"

namespace korv {
namespace {

using korvsim::Json;
namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

std::vector<fs::path> ExampleMachines() {
  std::vector<fs::path> files;
  for (const char* dir : {"examples", "tests/scenarios", "tests/wine"}) {
    for (const auto& e : fs::directory_iterator(fs::path(KORV_SOURCE_DIR) / dir)) {
      const std::string name = e.path().filename().string();
      if (e.path().extension() == ".json" && name.rfind("bad-", 0) != 0) files.push_back(e.path());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

bool FamilyFile(const std::string& path) {
  const std::string name = path.substr(path.find_last_of('\\') + 1);
  for (const char* family : {"korvdrv6.dll", "korvdrv6ui.dll", "korvdrv6.dat", "korvmon.dll", "vcomp140.dll",
                             "korvv6.inf", "unins000.exe"}) {
    if (name == family) return true;
  }
  return false;
}

// What a capture can see, from korvsim's --state form: spooler lists, present USB
// printers and their Device Parameters, package records, the Spooler's state,
// system facts and the family's file paths. Behaviour that is not state (Plug and
// Play's reactions, upload answers, held drivers, refusals) is out of sight.
Json Visible(const sim::Machine& m) {
  Json state = korvsim::MachineStateJson(m);
  Json v = Json::object();
  for (const char* key : {"systemFolder", "nativeArch", "ansiCodePage"}) v[key] = state["kernel"][key];
  v["tempFolder"] = Utf16ToUtf8(snap::WithoutUserName(m.kernel.tempFolder));
  v["programArch"] = m.kernel.programArch;
  Json files = Json::array();
  for (const auto& f : state["kernel"]["files"]) {
    const std::string path = f["path"];
    if (FamilyFile(path) && path.find("\\Temp\\") == std::string::npos) files.push_back(path);
  }
  v["files"] = files;
  v["spoolerState"] = state["services"]["Spooler"]["state"];

  Json spooler = state["spooler"];
  for (auto& d : spooler["drivers"]) d.erase("inUseUntilCycle");
  for (auto& q : spooler["queues"]) {
    for (const char* behaviour : {"undeletable", "deleteError"}) q.erase(behaviour);
  }
  for (auto& p : spooler["store"]) p.erase("sourceInf");
  for (const char* hidden : {"portsAfterCycle", "uploadResult", "uploadDestination", "pnp"}) spooler.erase(hidden);
  v["spooler"] = spooler;

  Json usb = Json::array();
  std::vector<std::string> keys;
  for (const auto& u : m.devices.usbPrinters) {
    if (!u.present) continue;
    usb.push_back(Utf16ToUtf8(u.devicePath));
    keys.push_back(Utf16ToUtf8(sim::UsbPrinterParametersKey(u.devicePath)));
  }
  v["usbPrinters"] = usb;
  Json registry = Json::array();
  for (const auto& k : state["registry"]) {
    const std::string key = k["key"];
    Json values = Json::array();
    for (const auto& value : k["values"]) {
      const std::string name = value["name"];
      if (name == "Port Description" || name == "Port Number" || name == "DriverStorePath") values.push_back(value);
    }
    const bool printer = std::find(keys.begin(), keys.end(), key) != keys.end();
    // Package records in the 32-bit view (WOW6432Node) are out of sight:
    // the installer reads the 64-bit spooler's own.
    const bool package = key.find("\\DriverPackages\\") != std::string::npos && key.find("WOW6432Node") == std::string::npos;
    if (printer || package) registry.push_back(Json{{"key", key}, {"values", values}});
  }
  v["registry"] = registry;
  Json infs = Json::array();
  for (const auto& i : state["devices"]["infVersions"]) {
    for (const auto& p : state["spooler"]["store"]) {
      if (p["storedInf"] == i["path"]) infs.push_back(i);
    }
  }
  v["infVersions"] = infs;
  return v;
}

// The installer folder of a scenario: its first shipped folder, else the
// folder the program runs from.
Text InstallerFolderOf(const std::string& scenario, const sim::Machine& m) {
  const Json j = Json::parse(scenario);
  if (j.contains("machine") && j["machine"].contains("installerFolders")) {
    return Utf8ToUtf16(j["machine"]["installerFolders"][0].get<std::string>());
  }
  const Text& module = m.kernel.modulePath;
  return module.substr(0, module.find_last_of(u'\\') + 1);
}

// Values a capture must keep as stored: a description without terminator, port
// numbers of odd type or size, a package key not naming its folder, queued jobs,
// a 32-bit program on ARM64 with the Japanese code page.
constexpr char kOddMachine[] = R"({"machine": {
  "nativeArch": "arm64", "programArch": "x86", "ansiCodePage": 932, "installerFolders": ["D:\\Kassa\\"],
  "usbPrinters": [
    {"serial": "a1", "values": [{"name": "Port Description", "type": "REG_SZ", "hex": "4b 00 56 00"},
                                {"name": "Port Number", "type": "REG_BINARY", "hex": "01 00 00 00"}]},
    {"serial": "a2", "description": "KorvaneKV-T80", "values": [{"name": "Port Number", "type": "REG_DWORD", "hex": "02 00"}]},
    {"serial": "a3", "description": "Other", "portNumber": 3, "present": false}],
  "registry": [{"key": "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\PackageInstallation\\Windows ARM64\\DriverPackages\\odd",
                "values": [{"name": "DriverStorePath", "type": "REG_SZ", "data": "C:\\x\\korvv6.inf"}]}],
  "spooler": {"ports": ["USB001"], "drivers": [{"pName": "D", "pDriverPath": "d.dll", "pszzPreviousNames": ["A", "B"]}],
              "queues": [{"pPrinterName": "Q", "pPortName": "USB001", "pDriverName": "D", "jobs": 2, "Status": 1}]}}})";

TEST(Capture, EveryExampleMachineComesBackTheSame) {
  auto files = ExampleMachines();
  ASSERT_GE(files.size(), 10u);
  files.emplace_back("odd values");
  for (const auto& file : files) {
    SCOPED_TRACE(file.filename().string());
    sim::Machine& original = sim::Machine::Reset();
    const std::string text = file == "odd values" ? std::string(kOddMachine) : ReadFile(file);
    korvsim::ApplyScenario(text, original);
    // A stopped spooler answers nothing, which makes a capture incomplete
    // (tested below); here the spooler of every machine answers.
    original.services.services[u"Spooler"].state = 4;
    const Text folder = InstallerFolderOf(text, original);
    const Text modulePath = original.kernel.modulePath;
    const Json before = Visible(original);
    const std::string whole = korvsim::MachineStateJson(original).dump(1);
    const snap::Capture first = snap::CaptureMachine(folder);
    ASSERT_TRUE(first.missing.empty()) << first.missing[0].field << ": " << first.missing[0].reason;
    // It only reads: the machine is as it was, and nothing is left open.
    EXPECT_EQ(whole, korvsim::MachineStateJson(original).dump(1));
    EXPECT_TRUE(original.openHandles.empty()) << "the capture left handles open";

    sim::Machine& copy = sim::Machine::Reset();
    korvsim::ApplyScenario(first.scenario, copy);
    EXPECT_EQ(before.dump(1), Visible(copy).dump(1));
    if (folder + u"korvsetup.exe" == modulePath) {
      EXPECT_EQ(Utf16ToUtf8(snap::WithoutUserName(modulePath)), Utf16ToUtf8(copy.kernel.modulePath));
    }
    // Captured again, the copy gives the same file.
    EXPECT_EQ(first.scenario, snap::CaptureMachine(InstallerFolderOf(first.scenario, copy)).scenario);
  }
}

// What the capture cannot read it says, and korvsim refuses the file,
// naming the first field that is missing.
TEST(Capture, WhatCannotBeReadMakesKorvsimRefuseNamingTheField) {
  // The operation refused with its error; none: the spooler stopped.
  struct Case {
    const char* operation;
    Dword error;
    const char* refusal;
  };
  const Case cases[] = {
      {"", 0, "machine.spooler.driverDirectory: not captured (GetPrinterDriverDirectoryW failed with error 1722)"},
      {"EnumPrintersW", 5, "machine.spooler.queues: not captured (EnumPrintersW failed with error 5)"},
      {"SetupDiEnumDeviceInterfaces", 13,
       "machine.usbPrinters: not captured (SetupDiEnumDeviceInterfaces failed with error 13)"},
      {"RegEnumKeyW", 5, "machine.spooler.store: not captured (RegEnumKeyW failed with error 5)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.refusal);
    sim::Machine& m = sim::Machine::Reset();
    korvsim::ApplyScenario(ReadFile(fs::path(KORV_SOURCE_DIR) / "examples/uninstall-window.json"), m);
    if (c.error == 0) m.services.services[u"Spooler"].state = 1;
    if (c.error != 0) m.faults.Set(c.operation, sim::FaultRule{c.error});
    const snap::Capture capture = snap::CaptureMachine(u"C:\\Korvane\\");
    ASSERT_FALSE(capture.missing.empty());
    sim::Machine& again = sim::Machine::Reset();
    try {
      korvsim::ApplyScenario(capture.scenario, again);
      ADD_FAILURE() << "korvsim ran an incomplete capture";
    } catch (const korvsim::ScenarioError& e) {
      EXPECT_EQ(std::string(e.what()).rfind(c.refusal, 0), 0u) << e.what();
    }
  }
}

TEST(Capture, UserNamesInProfilePathsBecomePlaceholdersOfTheSameLength) {
  const std::pair<Text, Text> cases[] = {
      {u"C:\\Users\\Annelies\\AppData\\Local\\Temp\\", u"C:\\Users\\xxxxxxxx\\AppData\\Local\\Temp\\"},
      {u"D:\\users\\root\\Temp\\", u"D:\\users\\xxxx\\Temp\\"},
      {u"C:\\Documents and Settings\\Kassa 2\\Local Settings\\Temp\\",
       u"C:\\Documents and Settings\\xxxxxxx\\Local Settings\\Temp\\"},
      {u"C:\\Users\\Bo", u"C:\\Users\\xx"},
      {u"C:\\Korvane\\", u"C:\\Korvane\\"},
      {u"C:\\Usersfolder\\Bo\\", u"C:\\Usersfolder\\Bo\\"},
      {u"\\\\server\\Users\\Bo\\", u"\\\\server\\Users\\Bo\\"},
  };
  for (const auto& [path, expected] : cases) EXPECT_EQ(Utf16ToUtf8(expected), Utf16ToUtf8(snap::WithoutUserName(path)));
}

}  // namespace
}  // namespace korv

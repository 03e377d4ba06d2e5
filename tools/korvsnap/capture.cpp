#include "tools/korvsnap/capture.h"

#include "common/text_util.h"
#include "platform/devices.h"
#include "platform/inspect.h"
#include "platform/kernel.h"
#include "platform/registry.h"
#include "platform/services.h"
#include "platform/spooler.h"
#include "system/processor_build.h"
#include "tools/korvsnap/json_writer.h"
#include "tools/korvsnap/records.h"

namespace korv::snap {

namespace {

// Read-only access rights: a capture never asks for more than it needs.
constexpr Dword kScManagerConnect = 0x0001;
constexpr Dword kServiceQueryStatus = 0x0004;
// The 64-bit registry view, where the 64-bit spooler keeps its records,
// also from a 32-bit program.
constexpr Dword kPackageAccess = os::KEY_QUERY_VALUE | os::KEY_ENUMERATE_SUB_KEYS | os::KEY_WOW64_64KEY;

// What a file found on the machine holds in the scenario: the capture
// records that it is there, not its bytes.
constexpr char kPresent[] = "present when captured";
// korvsim's content of a copy of the program, which --follow runs.
constexpr char kProgramContent[] = "korvsetup.exe (the program)";

constexpr char16_t kInterfaceClass[] = u"{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";
constexpr char16_t kPackagesKey[] =
    u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\PackageInstallation\\";

// The driver family's files where the installer stages them; whether each
// is already there decides what its staging traces.
constexpr const char16_t* kDriverDirectoryFiles[] = {u"korvdrv6.dll", u"korvdrv6ui.dll", u"korvdrv6.dat",
                                                     u"korvmon.dll"};
// Files of the system folder the installer looks for or replaces.
constexpr const char16_t* kSystemFiles[] = {u"vcomp140.dll", u"korvmon.dll"};
// A shipped installer folder, as korvsim's "installerFolders" makes one.
constexpr const char16_t* kProcessorFolders[] = {u"i386", u"arm", u"amd64", u"arm64"};
constexpr const char16_t* kProcessorFiles[] = {u"korvdrv6.dll", u"korvdrv6ui.dll", u"korvmon.dll",
                                               u"vcomp140.dll"};

std::string Decimal(std::uint64_t v) { return std::to_string(v); }

std::string Failed(const char* call, Dword error) {
  return std::string(call) + " failed with error " + Decimal(error);
}

Text WithSeparator(Text folder) {
  if (!folder.empty() && folder.back() != u'\\' && folder.back() != u'/') folder += u'\\';
  return folder;
}

Text ParentOf(const Text& path) {
  const auto slash = path.find_last_of(u"\\/");
  return slash == Text::npos ? Text() : path.substr(0, slash);
}

Text LastComponent(const Text& path) {
  const auto slash = path.find_last_of(u"\\/");
  return slash == Text::npos ? path : path.substr(slash + 1);
}

class Capturer {
 public:
  explicit Capturer(const Text& installerFolder) : installerFolder_(installerFolder) {}

  Capture Run() {
    JsonNode machine = JsonNode::Object();
    ReadKernel(machine);
    ReadServices(machine);
    ReadUsbPrinters(machine);
    JsonNode spooler = JsonNode::Object();
    ReadSpooler(spooler);
    ReadPackages(spooler);
    if (!files_.Empty()) machine.Add("files", std::move(files_));
    if (!registry_.Empty()) machine.Add("registry", std::move(registry_));
    if (!infVersions_.Empty()) machine.Add("infVersions", std::move(infVersions_));
    machine.Add("spooler", std::move(spooler));

    JsonNode top = JsonNode::Object();
    std::string description = "Captured by korvsnap: the machine as the installer would find it, with the "
                              "installer folder " + Utf16ToUtf8(WithoutUserName(installerFolder_)) + ".";
    if (!missing_.empty()) description += " Incomplete: see \"incomplete\".";
    top.Add("description", JsonNode::String(description));
    if (!missing_.empty()) {
      JsonNode list = JsonNode::Array();
      for (const Missing& m : missing_) {
        JsonNode entry = JsonNode::Object();
        entry.Add("field", JsonNode::String(m.field));
        entry.Add("reason", JsonNode::String(m.reason));
        list.Push(std::move(entry));
      }
      top.Add("incomplete", std::move(list));
    }
    top.Add("commandLine", JsonNode::String(std::string()));
    top.Add("machine", std::move(machine));
    top.Add("ui", JsonNode::Object());
    return Capture{top.Print(), missing_};
  }

 private:
  void Miss(std::string field, std::string reason) { missing_.push_back(Missing{std::move(field), std::move(reason)}); }

  void AddFile(const Text& path, const char* content) {
    JsonNode f = JsonNode::Object();
    f.Add("path", JsonNode::String(path));
    f.Add("content", JsonNode::String(std::string(content)));
    files_.Push(std::move(f));
  }

  void ReadKernel(JsonNode& machine) {
    char16_t buffer[261] = {};
    if (installerFolder_.empty()) {
      const Dword n = os::GetModuleFileNameW(buffer, 261);
      if (n == 0 || n >= 260) {
        Miss("machine.installerFolders", Failed("GetModuleFileNameW", os::GetLastError()));
      } else {
        installerFolder_ = ParentOf(Text(buffer, n));
      }
    }
    installerFolder_ = WithSeparator(installerFolder_);
    const Text shownFolder = WithoutUserName(installerFolder_);
    machine.Add("modulePath", JsonNode::String(shownFolder + u"korvsetup.exe"));
    ReadInstallerFolder(machine, shownFolder);

    const Dword n = os::GetSystemDirectoryW(buffer, 261);
    if (n == 0 || n >= 261) {
      Miss("machine.systemFolder", Failed("GetSystemDirectoryW", os::GetLastError()));
    } else {
      systemFolder_ = Text(buffer, n);
      machine.Add("systemFolder", JsonNode::String(systemFolder_));
    }
    char16_t temp[262] = {};
    const Dword t = os::GetTempPathW(262, temp);
    if (t == 0 || t >= 262) {
      Miss("machine.tempFolder", Failed("GetTempPathW", os::GetLastError()));
    } else {
      machine.Add("tempFolder", JsonNode::String(WithoutUserName(Text(temp, t))));
    }
    nativeArch_ = os::GetNativeProcessorArchitecture();
    const std::uint16_t programArch = os::GetProgramArchitecture();
    wow64_ = programArch == arch::Intel && (nativeArch_ == arch::Amd64 || nativeArch_ == arch::Arm64);
    machine.Add("nativeArch", JsonNode::String(ArchitectureName(nativeArch_)));
    machine.Add("programArch", JsonNode::String(ArchitectureName(programArch)));
    machine.Add("ansiCodePage", JsonNode::Number(os::GetACP()));
    if (!systemFolder_.empty()) ReadSystemFiles();
  }

  // The installer folder: korvsim's shipped layout when every file of it is
  // there, otherwise each file that is.
  void ReadInstallerFolder(JsonNode& machine, const Text& shownFolder) {
    std::vector<Text> names{u"korvv6.inf", u"unins000.exe", u"dat\\korvdrv6.dat"};
    for (const char16_t* folder : kProcessorFolders) {
      for (const char16_t* file : kProcessorFiles) names.push_back(Text(folder) + u"\\" + file);
    }
    std::vector<Text> present;
    for (const Text& name : names) {
      if (os::FileExists((installerFolder_ + name).c_str())) present.push_back(name);
    }
    if (present.size() == names.size()) {
      JsonNode folders = JsonNode::Array();
      folders.Push(JsonNode::String(shownFolder));
      machine.Add("installerFolders", std::move(folders));
      return;
    }
    for (const Text& name : present) {
      AddFile(shownFolder + name, name == u"unins000.exe" ? kProgramContent : kPresent);
    }
  }

  // The system folder's files, recorded where they really are. A 32-bit
  // program on 64-bit Windows is sent from system32 to SysWOW64; the
  // installer reaches the native folder too, so both are read: SysWOW64
  // through the redirection, the native folder with it turned off for the
  // moment of the reads.
  void ReadSystemFiles() {
    const Text windows = ParentOf(systemFolder_);
    for (const char16_t* name : kSystemFiles) {
      const Text path = systemFolder_ + u"\\" + name;
      if (os::FileExists(path.c_str())) AddFile(wow64_ ? windows + u"\\SysWOW64\\" + name : path, kPresent);
    }
    if (!wow64_) return;
    void* redirection = nullptr;
    if (!os::Wow64DisableWow64FsRedirection(&redirection)) {
      Miss("machine.files", Failed("Wow64DisableWow64FsRedirection", os::GetLastError()));
      return;
    }
    for (const char16_t* name : kSystemFiles) {
      const Text path = systemFolder_ + u"\\" + name;
      if (os::FileExists(path.c_str())) AddFile(path, kPresent);
    }
    os::Wow64RevertWow64FsRedirection(redirection);
  }

  void ReadServices(JsonNode& machine) {
    const os::ServiceHandle manager = os::OpenSCManagerW(kScManagerConnect);
    if (!manager) {
      Miss("machine.services", Failed("OpenSCManagerW", os::GetLastError()));
      return;
    }
    const os::ServiceHandle service = os::OpenServiceW(manager, u"Spooler", kServiceQueryStatus);
    Dword state = 0;
    if (!service || !os::QueryServiceStatusEx(service, &state)) {
      Miss("machine.services.Spooler", Failed(service ? "QueryServiceStatusEx" : "OpenServiceW", os::GetLastError()));
      return;
    }
    JsonNode spooler = JsonNode::Object();
    spooler.Add("state", JsonNode::String(ServiceStateName(state)));
    JsonNode services = JsonNode::Object();
    services.Add("Spooler", std::move(spooler));
    machine.Add("services", std::move(services));
  }

  // The USB printer interfaces the installer's search finds, each with the
  // two "Device Parameters" values it reads, in the form they are stored.
  void ReadUsbPrinters(JsonNode& machine) {
    const os::DevInfoHandle set =
        os::SetupDiGetClassDevsW(os::GUID_DEVINTERFACE_USBPRINT, os::DIGCF_PRESENT | os::DIGCF_DEVICEINTERFACE);
    if (!set) {
      Miss("machine.usbPrinters", Failed("SetupDiGetClassDevsW", os::GetLastError()));
      return;
    }
    JsonNode printers = JsonNode::Array();
    for (Dword index = 0;; ++index) {
      os::DeviceInterfaceData data;
      if (!os::SetupDiEnumDeviceInterfaces(set, os::GUID_DEVINTERFACE_USBPRINT, index, &data)) {
        if (os::GetLastError() != err::NoMoreItems) {
          Miss("machine.usbPrinters", Failed("SetupDiEnumDeviceInterfaces", os::GetLastError()));
        }
        break;
      }
      Text path;
      if (!os::SetupDiGetDeviceInterfaceDetailW(set, data, &path)) {
        Miss("machine.usbPrinters[" + Decimal(index) + "]",
             Failed("SetupDiGetDeviceInterfaceDetailW", os::GetLastError()));
        continue;
      }
      printers.Push(UsbPrinter(path));
    }
    if (!printers.Empty()) machine.Add("usbPrinters", std::move(printers));
  }

  JsonNode UsbPrinter(const Text& path) {
    JsonNode p = JsonNode::Object();
    p.Add("devicePath", JsonNode::String(path));
    const Text keyName = Text(u"SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\") + kInterfaceClass + u"\\##?#" +
                         path.substr(path.size() < 4 ? path.size() : 4) + u"\\#\\Device Parameters";
    os::KeyHandle key;
    if (os::RegOpenKeyExW(keyName.c_str(), os::KEY_QUERY_VALUE, &key) != 0) return p;
    JsonNode odd = JsonNode::Array();
    const RawValue description = ReadValue(key, u"Port Description");
    Text text;
    if (PlainString(description, &text)) {
      p.Add("description", JsonNode::String(text));
    } else if (description.status == 0) {
      odd.Push(RawValueJson(u"Port Description", description));
    }
    const RawValue number = ReadValue(key, u"Port Number");
    if (number.status == 0 && number.type == os::REG_DWORD && number.data.size() == 4) {
      p.Add("portNumber", JsonNode::Number(number.data[0] | (number.data[1] << 8) | (number.data[2] << 16) |
                                           (std::uint32_t{number.data[3]} << 24)));
    } else if (number.status == 0) {
      odd.Push(RawValueJson(u"Port Number", number));
    }
    if (!odd.Empty()) p.Add("values", std::move(odd));
    return p;
  }

  void ReadSpooler(JsonNode& spooler) {
    char16_t directory[261] = {};
    if (os::GetPrinterDriverDirectoryW(directory, 261)) {
      driverDirectory_ = directory;
      spooler.Add("driverDirectory", JsonNode::String(driverDirectory_));
      for (const char16_t* name : kDriverDirectoryFiles) {
        for (const Text& folder : {driverDirectory_, driverDirectory_ + u"\\3"}) {
          const Text file = folder + u"\\" + name;
          if (os::FileExists(file.c_str())) AddFile(file, kPresent);
        }
      }
    } else {
      Miss("machine.spooler.driverDirectory", Failed("GetPrinterDriverDirectoryW", os::GetLastError()));
    }

    std::vector<os::DriverInfo8> drivers;
    if (os::EnumPrinterDriversW(&drivers)) {
      JsonNode list = JsonNode::Array();
      for (const auto& d : drivers) list.Push(DriverJson(d));
      spooler.Add("drivers", std::move(list));
    } else {
      Miss("machine.spooler.drivers", Failed("EnumPrinterDriversW", os::GetLastError()));
    }

    std::vector<os::MonitorInfo2> monitors;
    if (os::EnumMonitorsW(&monitors)) {
      JsonNode list = JsonNode::Array();
      for (const auto& m : monitors) {
        JsonNode j = JsonNode::Object();
        j.Add("pName", JsonNode::String(m.pName));
        if (!m.pEnvironment.empty()) j.Add("pEnvironment", JsonNode::String(m.pEnvironment));
        if (!m.pDLLName.empty()) j.Add("pDLLName", JsonNode::String(m.pDLLName));
        list.Push(std::move(j));
      }
      spooler.Add("monitors", std::move(list));
    } else {
      Miss("machine.spooler.monitors", Failed("EnumMonitorsW", os::GetLastError()));
    }

    std::vector<Text> ports;
    if (os::EnumPortsW(&ports)) {
      spooler.Add("ports", JsonNode::TextList(ports));
    } else {
      Miss("machine.spooler.ports", Failed("EnumPortsW", os::GetLastError()));
    }

    std::vector<os::PrinterInfo2> queues;
    if (os::EnumPrintersW(os::PRINTER_ENUM_LOCAL, &queues)) {
      JsonNode list = JsonNode::Array();
      for (const auto& q : queues) list.Push(QueueJson(q));
      spooler.Add("queues", std::move(list));
    } else {
      Miss("machine.spooler.queues", Failed("EnumPrintersW", os::GetLastError()));
    }
  }

  // The spooler's driver-package records of the native environment (the
  // ones the installer's inventory reads), in the 64-bit registry view.
  // A record in the usual form becomes a "store" entry; any other is kept
  // as the registry key it is.
  void ReadPackages(JsonNode& spooler) {
    const ProcessorBuild* build = BuildFor(nativeArch_);
    if (build == nullptr) return;
    const Text path = Text(kPackagesKey) + build->environment + u"\\DriverPackages";
    os::KeyHandle packages;
    const Dword opened = os::RegOpenKeyExW(path.c_str(), kPackageAccess, &packages);
    if (opened == err::FileNotFound) return;
    if (opened != 0) {
      Miss("machine.spooler.store", Failed("RegOpenKeyExW", opened));
      return;
    }
    JsonNode store = JsonNode::Array();
    for (Dword index = 0;; ++index) {
      char16_t name[261] = {};
      const Dword status = os::RegEnumKeyW(packages, index, name, 261);
      if (status == err::NoMoreItems) break;
      if (status != 0) {
        Miss("machine.spooler.store", Failed("RegEnumKeyW", status));
        break;
      }
      os::KeyHandle key;
      const Dword sub = os::RegOpenKeyExW(packages, name, kPackageAccess, &key);
      if (sub != 0) {
        Miss("machine.spooler.store", Failed("RegOpenKeyExW", sub) + " on " + Utf16ToUtf8(name));
        continue;
      }
      const RawValue value = ReadValue(key, u"DriverStorePath");
      std::vector<Text> entries;
      if (PlainMultiString(value, &entries) && entries.size() == 1 &&
          LastComponent(ParentOf(entries[0])) == Text(name)) {
        JsonNode p = JsonNode::Object();
        p.Add("storedInf", JsonNode::String(entries[0]));
        store.Push(std::move(p));
      } else {
        JsonNode k = JsonNode::Object();
        k.Add("key", JsonNode::String(path + u"\\" + name));
        JsonNode values = JsonNode::Array();
        if (value.status == 0) values.Push(RawValueJson(u"DriverStorePath", value));
        k.Add("values", std::move(values));
        registry_.Push(std::move(k));
      }
      if (!entries.empty()) ReadInfVersion(entries[0]);
    }
    if (!store.Empty()) spooler.Add("store", std::move(store));
  }

  void ReadInfVersion(const Text& inf) {
    char16_t version[261] = {};
    if (!os::SetupQueryInfVersionW(inf.c_str(), u"DriverVer", version, 261)) return;
    JsonNode v = JsonNode::Object();
    v.Add("path", JsonNode::String(inf));
    v.Add("driverVer", JsonNode::String(Text(version)));
    infVersions_.Push(std::move(v));
  }

  Text installerFolder_;
  Text systemFolder_;
  Text driverDirectory_;
  std::uint16_t nativeArch_ = arch::Unknown;
  bool wow64_ = false;  // a 32-bit program on 64-bit Windows
  JsonNode files_ = JsonNode::Array();
  JsonNode registry_ = JsonNode::Array();
  JsonNode infVersions_ = JsonNode::Array();
  std::vector<Missing> missing_;
};

bool SameNoCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char16_t x = a[i], y = b[i];
    if (x >= u'A' && x <= u'Z') x = static_cast<char16_t>(x - u'A' + u'a');
    if (y >= u'A' && y <= u'Z') y = static_cast<char16_t>(y - u'A' + u'a');
    if (x != y) return false;
  }
  return true;
}

}  // namespace

Text WithoutUserName(const Text& path) {
  // "X:\" then the profiles folder, then the name up to the next separator.
  if (path.size() < 3 || path[1] != u':' || path[2] != u'\\') return path;
  const std::size_t start = 3;
  const std::size_t end = path.find(u'\\', start);
  if (end == Text::npos) return path;
  const std::u16string_view profiles = std::u16string_view(path).substr(start, end - start);
  if (!SameNoCase(profiles, u"Users") && !SameNoCase(profiles, u"Documents and Settings")) return path;
  const std::size_t nameEnd = path.find(u'\\', end + 1);
  const std::size_t length = (nameEnd == Text::npos ? path.size() : nameEnd) - (end + 1);
  Text out = path;
  out.replace(end + 1, length, Text(length, u'x'));
  return out;
}

Capture CaptureMachine(const Text& installerFolder) { return Capturer(installerFolder).Run(); }

}  // namespace korv::snap
